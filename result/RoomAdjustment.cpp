#include "RoomAdjustment.h"

#include "plugin/BackendVersions.h"
#include "plugin/ControllerText.h"

#include <QMessageBox>
#include <cmath>

namespace RoomAdjustment {

namespace {
constexpr double DegreesPerRadian = 57.29577951308232;

const QString RotationName = QStringLiteral("tracking extra_rotation");
const QString TranslationName = QStringLiteral("tracking extra_translation");
const QString ScalingName = QStringLiteral("tracking extra_scaling");

bool allZero(const QVector<double>& values)
{
    // Exact comparison on purpose: the controller writes the identity exactly, and a NaN must
    // count as an adjustment.
    for (double v : values)
        if (!(v == 0.0))
            return false;
    return true;
}

bool rotationIsFree(IOManager* io)
{
    QString answer;
    if (!ControllerText::getString(io, RotationName, &answer))
        return true;
    const Angles a = anglesOf(fields(answer, 9));
    return allZero({a.alpha, a.beta, a.gamma});
}

bool translationIsFree(IOManager* io)
{
    QString answer;
    if (!ControllerText::getString(io, TranslationName, &answer))
        return true;
    return allZero(fields(answer, 3));
}

bool scalingIsFree(IOManager* io)
{
    double scaling = 1.0;
    if (!ControllerText::getDouble(io, ScalingName, &scaling))
        return true;
    return scaling == 1.0;
}

bool write(IOManager* io, const QString& text, const char* failure, QWidget* parent)
{
    if (ControllerText::setParameter(io, text))
        return true;
    QMessageBox::warning(parent, QStringLiteral("Room adjustment"), QString::fromLatin1(failure),
                         QMessageBox::Ok);
    return false;
}
} // namespace

QVector<double> fields(const QString& answer, int count)
{
    const QStringList words = ControllerText::words(answer);
    QVector<double> values(qMax(count, 0), 0.0);
    for (int i = 0; i < values.size() && i < words.size(); ++i) {
        bool ok = false;
        const double v = words.at(i).toDouble(&ok);
        values[i] = ok ? v : 0.0;
    }
    return values;
}

Angles anglesOf(const QVector<double>& matrix)
{
    QVector<double> r = matrix;
    r.resize(9);
    Angles a;
    a.beta = std::asin(r[2]) * DegreesPerRadian;
    // With the first row or the last column reduced to zeros the matrix is at gimbal lock;
    // the whole rotation about the remaining axis is then carried by alpha.
    if ((r[5] == 0.0 && r[8] == 0.0) || (r[0] == 0.0 && r[1] == 0.0)) {
        a.gamma = 0.0;
        a.alpha = std::atan2(r[7], r[4]) * DegreesPerRadian;
    } else {
        a.gamma = -std::atan2(r[1], r[0]) * DegreesPerRadian;
        a.alpha = -std::atan2(r[5], r[8]) * DegreesPerRadian;
    }
    return a;
}

bool applies(const BackendVersions* versions)
{
    return versions && versions->atLeast(0, 16);
}

bool isFree(IOManager* io, const BackendVersions* versions)
{
    if (!io || !applies(versions))
        return true;
    return rotationIsFree(io) && translationIsFree(io) && scalingIsFree(io);
}

void reset(IOManager* io, const BackendVersions* versions, QWidget* parent)
{
    if (!io || !applies(versions))
        return;
    const QString rotation =
        QString::asprintf("tracking extra_rotation %.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f %.6f",
                          1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0);
    if (!write(io, rotation, "Error during changing rotation angles", parent))
        return;
    const QString translation =
        QString::asprintf("tracking extra_translation %.3f %.3f %.3f", 0.0, 0.0, 0.0);
    if (!write(io, translation, "Error during changing zero point", parent))
        return;
    write(io, QString::asprintf("tracking extra_scaling %.4f", 1.0),
          "Error during changing scaling factor", parent);
}

} // namespace RoomAdjustment
