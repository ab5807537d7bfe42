#include "RoomCalMessageReceiver.h"

namespace {
QString payloadOf(const QString& text)
{
    const int blank = text.indexOf(QLatin1Char(' '));
    return blank < 0 ? QString() : text.mid(blank + 1);
}
} // namespace

RoomCalMessageReceiver::RoomCalMessageReceiver(QObject* parent) : QObject(parent) {}

int RoomCalMessageReceiver::receiveMessage(const char* sender, int kind, const char* message)
{
    Q_UNUSED(sender);
    Q_UNUSED(kind);
    const QString text = message ? QString::fromLatin1(message) : QString();
    if (text.startsWith(QLatin1String("Monitor2dTabChanged")))
        emit CameraTabChanges(payloadOf(text));
    else if (text.startsWith(QLatin1String("Monitor2dMostActive")))
        emit MostActiveChanges(payloadOf(text));
    return 0;
}
