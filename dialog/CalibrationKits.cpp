#include "CalibrationKits.h"

#include <QCoreApplication>

namespace {
const char* const Context = "RoomCalibrationDialog";
const QString ShortTableModel = QStringLiteral("TESSERA");
} // namespace

QList<CalibrationKits::Kit> CalibrationKits::kits(const QString& modelName)
{
    if (modelName == ShortTableModel) {
        return {
            {QT_TRANSLATE_NOOP("RoomCalibrationDialog", "Reference Set M"), 384.0, 225.0, 114.0,
             40.0},
            {QT_TRANSLATE_NOOP("RoomCalibrationDialog", "expert"), 240.0, 150.0, 90.0, 40.0},
        };
    }
    return {
        {QT_TRANSLATE_NOOP("RoomCalibrationDialog", "Reference Set P"), 278.0, 163.0, 83.0, 55.0},
        {QT_TRANSLATE_NOOP("RoomCalibrationDialog", "Reference Set S"), 192.0, 112.5, 57.0, 15.6},
        {QT_TRANSLATE_NOOP("RoomCalibrationDialog", "Reference Set S (active)"), 192.0, 112.5, 57.0,
         15.5},
        {QT_TRANSLATE_NOOP("RoomCalibrationDialog", "Reference Set M (flat)"), 384.0, 225.0, 114.0,
         15.5},
        {QT_TRANSLATE_NOOP("RoomCalibrationDialog", "Reference Set M (high)"), 384.0, 225.0, 114.0,
         43.0},
        {QT_TRANSLATE_NOOP("RoomCalibrationDialog", "Reference Set L"), 710.0, 550.0, 200.0, 43.0},
        {QT_TRANSLATE_NOOP("RoomCalibrationDialog", "expert"), 240.0, 150.0, 90.0, 40.0},
    };
}

QString CalibrationKits::translatedText(const Kit& kit)
{
    return QCoreApplication::translate(Context, kit.text);
}

CalibrationKits::WandChoice CalibrationKits::wandChoice(const QString& modelName, int row,
                                                        double* length)
{
    // The wand follows the model family (any name starting with the short-table model), while
    // the rows follow the exact name; a longer name therefore gets the seven rows but only the
    // first two have a wand mapping.
    if (modelName.startsWith(ShortTableModel)) {
        if (row == 0) {
            *length = 410.0;
            return WandChoice::Set;
        }
        return row == 1 ? WandChoice::FocusWand : WandChoice::Leave;
    }
    switch (row) {
    case 0:
    case 3:
    case 4:
        *length = 410.0;
        return WandChoice::Set;
    case 1:
        *length = 184.0;
        return WandChoice::Set;
    case 2:
        *length = 204.63;
        return WandChoice::Set;
    case 5:
        *length = 710.0;
        return WandChoice::Set;
    case 6:
        return WandChoice::FocusWand;
    default:
        return WandChoice::Leave;
    }
}
