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
                flags.append({HealthFlag::Outlier, camera.serial, camera.slot,
                              tr("residual %1 above %2 × the median %3 of the other cameras")
                                  .arg(number(camera.residual))
                                  .arg(settings.outlierFactor)
                                  .arg(number(others))});
        }
        if (camera.used < settings.minUsed)
            flags.append(
                {HealthFlag::LowUsed, camera.serial, camera.slot,
                 tr("used share %1 below %2").arg(number(camera.used)).arg(settings.minUsed)});
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
            flags.append({HealthFlag::Added, camera.serial, camera.slot,
                          tr("camera %1 is new in slot c%2")
                              .arg(camera.serial)
                              .arg(camera.slot, 2, 10, QLatin1Char('0'))});
        else if (found.value() != camera.slot)
            flags.append({HealthFlag::Moved, camera.serial, camera.slot,
                          tr("camera %1 moved from c%2 to c%3")
                              .arg(camera.serial)
                              .arg(found.value(), 2, 10, QLatin1Char('0'))
                              .arg(camera.slot, 2, 10, QLatin1Char('0'))});
    }
    for (const CameraResult& camera : previous.cameras)
        if (!now.contains(camera.serial))
            flags.append({HealthFlag::Removed, camera.serial, camera.slot,
                          tr("camera %1 of slot c%2 is gone")
                              .arg(camera.serial)
                              .arg(camera.slot, 2, 10, QLatin1Char('0'))});
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
                flags.append({HealthFlag::Drift, camera.serial, camera.slot,
                              tr("residual %1 above %2 × its median %3 of the last %4 "
                                 "calibrations")
                                  .arg(number(camera.residual))
                                  .arg(settings.driftFactor)
                                  .arg(number(median(past)))
                                  .arg(past.size())});
        }
        if (drifts(block.wandResidual, wandHistory, settings))
            flags.append({HealthFlag::WandDrift, QString(), 0,
                          tr("wand residual %1 above %2 × its median %3 of the last %4 "
                             "calibrations")
                              .arg(number(block.wandResidual))
                              .arg(settings.driftFactor)
                              .arg(number(median(wandHistory)))
                              .arg(wandHistory.size())});
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
    switch (kind) {
    case HealthFlag::Outlier:
        return tr("outlier");
    case HealthFlag::LowUsed:
        return tr("low used share");
    case HealthFlag::Drift:
        return tr("drift");
    case HealthFlag::WandDrift:
        return tr("wand drift");
    case HealthFlag::Added:
        return tr("added");
    case HealthFlag::Removed:
        return tr("removed");
    case HealthFlag::Moved:
        return tr("moved");
    }
    return QString();
}
