#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// The angle-tool kits offered in the calibration-set combo box. Every kit stores its numbers in
// the order of the controller's "roomcal angle" parameter (A, C, B) followed by the height.
class CalibrationKits
{
public:
    struct Kit
    {
        const char* text; // source text, translated in the dialog's context
        double a;
        double c;
        double b;
        double height;
    };

    // What choosing a row does to the wand length.
    enum class WandChoice { Leave, Set, FocusWand };

    // The rows for a tracking system model; the last row is always "expert".
    static QList<Kit> kits(const QString& modelName);
    static QVariantList values(const Kit& kit) { return {kit.a, kit.c, kit.b, kit.height}; }
    static QString translatedText(const Kit& kit);

    // The wand length a row implies; *length is written only for WandChoice::Set.
    static WandChoice wandChoice(const QString& modelName, int row, double* length);
};
