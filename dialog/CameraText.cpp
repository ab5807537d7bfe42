#include "CameraText.h"

#include "plugin/ControllerText.h"

QString CameraText::cameraValue(const QString& answer)
{
    return ControllerText::words(answer).mid(5, 2).join(QLatin1Char(' '));
}

QString CameraText::typeWord(const QString& cameraValue)
{
    return ControllerText::word(cameraValue, 0);
}

void CameraText::split(const QString& cameraValue, QString* typeCode, QString* serial)
{
    const QStringList parts = ControllerText::words(cameraValue);
    if (parts.size() < 2) {
        typeCode->clear();
        serial->clear();
        return;
    }
    *typeCode = parts.at(0);
    *serial = parts.at(1);
}

bool CameraText::hasSerialDescription(const QString& typeCode)
{
    return typeCode.startsWith(QLatin1String("0x0b"), Qt::CaseInsensitive) ||
           typeCode.startsWith(QLatin1String("0x0d"), Qt::CaseInsensitive);
}

bool CameraText::isPairedFirstCamera(const QString& typeCode)
{
    return typeCode.startsWith(QLatin1String("0x07"), Qt::CaseInsensitive);
}

int CameraText::numberFromName(QString name)
{
    name.remove(QLatin1Char('c')).remove(QLatin1Char('C'));
    return name.toInt(nullptr, 10);
}
