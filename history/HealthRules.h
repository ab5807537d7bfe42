#pragma once

#include "CalibrationHistory.h"

#include <QCoreApplication>
#include <QVector>

// The thresholds of the health rules; the defaults are the ones the README documents.
struct HealthSettings
{
    double outlierFactor = 2.0; // × the median residual of the other cameras
    int outlierMinCameras = 3;  // the outlier rule needs this many cameras with values
    double minUsed = 0.5;       // used share of frames below this is an outlier too
    double driftFactor = 1.5;   // × the camera's own median over its previous calibrations
    int driftWindow = 5;        // that many previous calibrations at most
    int driftMinHistory = 3;    // and at least this many
};

struct HealthFlag
{
    enum Kind { Outlier, LowUsed, Drift, WandDrift, Added, Removed, Moved };
    Kind kind = Outlier;
    QString serial; // empty for the wand
    int slot = 0;
    QString reason; // English, for exports, --check and logs
    QString shown;  // the same in the operator's language, for the window
};

// The health rules as functions of the recorded values alone. A block the controller did not
// adopt, or one cut short, is no baseline for the blocks after it.
class HealthRules
{
    Q_DECLARE_TR_FUNCTIONS(HealthRules)

public:
    static double median(QVector<double> values); // NaN for none
    // value > factor × median(reference), when there is a reference.
    static bool exceeds(double value, const QVector<double>& reference, double factor);

    static QVector<HealthFlag> outliers(const CalibrationBlock& block,
                                        const HealthSettings& settings);
    // history: the camera's (or the wand's) residuals in earlier calibrations, oldest first.
    static bool drifts(double residual, const QVector<double>& history,
                       const HealthSettings& settings);
    static QVector<HealthFlag> changes(const CalibrationBlock& previous,
                                       const CalibrationBlock& current);

    // Every rule on every block: one list of flags per block, drift and changes measured against
    // the adopted blocks before it.
    static QVector<QVector<HealthFlag>> evaluate(const CalibrationHistory& history,
                                                 const HealthSettings& settings);
    // Index of the adopted block before `index`, -1 when there is none.
    static int previousAdopted(const CalibrationHistory& history, int index);
    // Outliers and drift say something about a camera's quality; the rest are changes.
    static bool isQuality(HealthFlag::Kind kind) { return kind < HealthFlag::Added; }
    // The kinds as short words: English for exports, translated for the window.
    static QString kindName(HealthFlag::Kind kind);
    static QString kindLabel(HealthFlag::Kind kind);
};
