#pragma once

#include "HealthRules.h"

#include <QByteArray>
#include <QCoreApplication>

// The history as text for people and programs: a summary table, CSV (one row per camera of each
// calibration) and JSON (the blocks with their cameras, flags and the skipped lines).
class HistoryExport
{
    Q_DECLARE_TR_FUNCTIONS(HistoryExport)

public:
    using Flags = QVector<QVector<HealthFlag>>;

    static QString summary(const CalibrationHistory& history, const Flags& flags);
    static QByteArray csv(const CalibrationHistory& history, const Flags& flags);
    static QByteArray json(const CalibrationHistory& history, const Flags& flags);

    // The camera with the highest residual, "c03 7311 (0.412)"; empty without values.
    static QString worstCamera(const CalibrationBlock& block);
    // The flags of one block, or of one camera of it (serial not null), as short words: English
    // for exports, in the operator's language for the window.
    enum class Words { English, Translated };
    static QString flagWords(const CalibrationBlock& block, const QVector<HealthFlag>& flags,
                             const QString& serial = QString(), Words words = Words::English);
    static QString number(double value); // three decimals, empty for no value
};
