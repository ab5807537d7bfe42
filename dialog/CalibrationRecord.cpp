#include "CalibrationRecord.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

namespace {
QString twoDigits(int number)
{
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}
} // namespace

QString CalibrationRecord::filePath()
{
    return QDir::homePath() + QStringLiteral("/.OLV/MORVEK3/") + QStringLiteral("roomcal_out.txt");
}

void CalibrationRecord::appendLine(const QString& line)
{
    QFile file(filePath());
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    QTextStream stream(&file);
    stream << line << "\n";
    stream.flush();
    file.close();
}

QString CalibrationRecord::header(const QDateTime& created)
{
    const QString date = QString::fromLatin1(created.toString(Qt::TextDate).toLatin1());
    return QStringLiteral("# Roomcalibration  created %1").arg(date);
}

QString CalibrationRecord::wandLine(double residual, double range)
{
    return QStringLiteral("# Wand residual: %1   wand range %2")
        .arg(residual, 0, 'f', 3)
        .arg(range, 0, 'f', 3);
}

QString CalibrationRecord::cameraLine(int camera, const QString& cameraText,
                                      const QString& residual)
{
    // One pass over the template: the controller's texts may contain '%' sequences of their own.
    return QStringLiteral("# Cam residual C%1 (%2): %3")
        .arg(twoDigits(camera), cameraText, residual);
}

QString CalibrationRecord::separator()
{
    return QLatin1Char('#') + QString(69, QLatin1Char('-')) + QLatin1Char('\n');
}

QString CalibrationRecord::commandLine(int camera, const QString& calibration)
{
    return QStringLiteral("morvek2 set tracking room c%1 %2").arg(twoDigits(camera), calibration);
}

QString CalibrationRecord::notAdoptedLine(const QString& answer)
{
    return QStringLiteral("# not adopted by the controller: %1").arg(answer);
}
