#include "HealthRules.h"

#include <QHash>
#include <algorithm>

namespace {
QString number(double value)
{
    return QString::number(value, 'f', 3);
}

bool isBaseline(const CalibrationBlock& block)
{
    return block.adopted && block.complete();
}

QString slotNumber(int slot)
{
    return QStringLiteral("%1").arg(slot, 2, 10, QLatin1Char('0'));
}

// A flag says why twice: in English for what programs and logs read, and in the operator's
// language for the window. The values go in at once, so a serial holding "%1" stays as it is.
HealthFlag makeFlag(HealthFlag::Kind kind, const QString& serial, int slot, const char* text,
                    const QStringList& values)
{
    const auto fill = [&values](const QString& pattern) {
        switch (values.size()) {
        case 2:
            return pattern.arg(values.at(0), values.at(1));
        case 3:
            return pattern.arg(values.at(0), values.at(1), values.at(2));
        default:
            return pattern.arg(values.value(0), values.value(1), values.value(2), values.value(3));
        }
    };
    return {kind, serial, slot, fill(QString::fromUtf8(text)),
            fill(QCoreApplication::translate("HealthRules", text))};
}
} // namespace

double HealthRules::median(QVector<double> values)
{
    if (values.isEmpty())
        return NoValue;
    const int middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    if (values.size() % 2)
        return values.at(middle);
    const double upper = values.at(middle);
    return (upper + *std::max_element(values.begin(), values.begin() + middle)) / 2;
}

bool HealthRules::exceeds(double value, const QVector<double>& reference, double factor)
{
    const double base = median(reference);
    return base == base && value > factor * base;
}

QVector<HealthFlag> HealthRules::outliers(const CalibrationBlock& block,
                                          const HealthSettings& settings)
{
    QVector<HealthFlag> flags;
    QVector<double> sorted;
    for (const CameraResult& camera : block.cameras)
        if (camera.hasValues())
            sorted << camera.residual;
    std::sort(sorted.begin(), sorted.end());
    // The median of the others is the median of the sorted residuals with one copy of the
    // camera's own taken out, without building that list for every camera.
    const auto medianOfOthers = [&sorted](double own) {
        const int skip = int(std::lower_bound(sorted.begin(), sorted.end(), own) - sorted.begin());
        const auto at = [&](int i) { return sorted.at(i < skip ? i : i + 1); };
        const int count = sorted.size() - 1;
        return count % 2 ? at(count / 2) : (at(count / 2 - 1) + at(count / 2)) / 2;
    };
    for (const CameraResult& camera : block.cameras) {
        if (!camera.hasValues())
            continue;
        if (sorted.size() >= qMax(2, settings.outlierMinCameras)) {
            const double others = medianOfOthers(camera.residual);
            if (camera.residual > settings.outlierFactor * others)
                flags.append(makeFlag(
                    HealthFlag::Outlier, camera.serial, camera.slot,
                    QT_TR_NOOP("residual %1 above %2 × the median %3 of the other cameras"),
                    {number(camera.residual), QString::number(settings.outlierFactor),
                     number(others)}));
        }
        if (camera.used < settings.minUsed)
            flags.append(makeFlag(HealthFlag::LowUsed, camera.serial, camera.slot,
                                  QT_TR_NOOP("used share %1 below %2"),
                                  {number(camera.used), QString::number(settings.minUsed)}));
    }
    return flags;
}

bool HealthRules::drifts(double residual, const QVector<double>& history,
                         const HealthSettings& settings)
{
    if (residual != residual || history.size() < settings.driftMinHistory)
        return false;
    return exceeds(residual, history.mid(qMax(0, history.size() - settings.driftWindow)),
                   settings.driftFactor);
}

QVector<HealthFlag> HealthRules::changes(const CalibrationBlock& previous,
                                         const CalibrationBlock& current)
{
    QVector<HealthFlag> flags;
    QHash<QString, int> before;
    for (const CameraResult& camera : previous.cameras)
        before.insert(camera.serial, camera.slot);
    QHash<QString, int> now;
    for (const CameraResult& camera : current.cameras) {
        now.insert(camera.serial, camera.slot);
        const auto found = before.constFind(camera.serial);
        if (found == before.constEnd())
            flags.append(makeFlag(HealthFlag::Added, camera.serial, camera.slot,
                                  QT_TR_NOOP("camera %1 is new in slot c%2"),
                                  {camera.serial, slotNumber(camera.slot)}));
        else if (found.value() != camera.slot)
            flags.append(
                makeFlag(HealthFlag::Moved, camera.serial, camera.slot,
                         QT_TR_NOOP("camera %1 moved from c%2 to c%3"),
                         {camera.serial, slotNumber(found.value()), slotNumber(camera.slot)}));
    }
    for (const CameraResult& camera : previous.cameras)
        if (!now.contains(camera.serial))
            flags.append(makeFlag(HealthFlag::Removed, camera.serial, camera.slot,
                                  QT_TR_NOOP("camera %1 of slot c%2 is gone"),
                                  {camera.serial, slotNumber(camera.slot)}));
    return flags;
}

int HealthRules::previousAdopted(const CalibrationHistory& history, int index)
{
    for (int i = index - 1; i >= 0; --i)
        if (isBaseline(history.blocks.at(i)))
            return i;
    return -1;
}

QVector<QVector<HealthFlag>> HealthRules::evaluate(const CalibrationHistory& history,
                                                   const HealthSettings& settings)
{
    QVector<QVector<HealthFlag>> result(history.blocks.size());
    // The latest residuals of each camera and of the wand in adopted blocks, oldest first.
    QHash<QString, QVector<double>> cameraHistory;
    QVector<double> wandHistory;
    const auto remember = [&settings](QVector<double>& values, double value) {
        if (value != value)
            return;
        values.append(value);
        if (values.size() > settings.driftWindow)
            values.removeFirst();
    };
    int previous = -1;
    for (int i = 0; i < history.blocks.size(); ++i) {
        const CalibrationBlock& block = history.blocks.at(i);
        QVector<HealthFlag>& flags = result[i];
        flags = outliers(block, settings);
        for (const CameraResult& camera : block.cameras) {
            const QVector<double> past = cameraHistory.value(camera.serial);
            if (drifts(camera.residual, past, settings))
                flags.append(
                    makeFlag(HealthFlag::Drift, camera.serial, camera.slot,
                             QT_TR_NOOP("residual %1 above %2 × its median %3 of the "
                                        "last %4 calibrations"),
                             {number(camera.residual), QString::number(settings.driftFactor),
                              number(median(past)), QString::number(past.size())}));
        }
        if (drifts(block.wandResidual, wandHistory, settings))
            flags.append(
                makeFlag(HealthFlag::WandDrift, QString(), 0,
                         QT_TR_NOOP("wand residual %1 above %2 × its median %3 of the "
                                    "last %4 calibrations"),
                         {number(block.wandResidual), QString::number(settings.driftFactor),
                          number(median(wandHistory)), QString::number(wandHistory.size())}));
        // A block cut short lists no cameras: that is no change of the room.
        if (previous >= 0 && block.complete())
            flags += changes(history.blocks.at(previous), block);
        if (!isBaseline(block))
            continue;
        for (const CameraResult& camera : block.cameras)
            remember(cameraHistory[camera.serial], camera.residual);
        remember(wandHistory, block.wandResidual);
        previous = i;
    }
    return result;
}

QString HealthRules::kindName(HealthFlag::Kind kind)
{
    static const char* const names[] = {QT_TR_NOOP("outlier"), QT_TR_NOOP("low used share"),
                                        QT_TR_NOOP("drift"),   QT_TR_NOOP("wand drift"),
                                        QT_TR_NOOP("added"),   QT_TR_NOOP("removed"),
                                        QT_TR_NOOP("moved")};
    return QString::fromLatin1(names[kind]);
}

QString HealthRules::kindLabel(HealthFlag::Kind kind)
{
    return tr(kindName(kind).toLatin1().constData());
}
