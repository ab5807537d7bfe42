#pragma once

#include "plugin/MessageReceiver.h"

#include <QObject>
#include <QString>

Q_DECLARE_INTERFACE(MessageReceiver, "MessageReceiver")

// Subscribes the module to the host's message bus and turns the 2D monitor's announcements into
// signals; every other message is ignored. The host may call from any thread: the signals reach
// the GUI through automatic connections.
class RoomCalMessageReceiver : public QObject, public MessageReceiver
{
    Q_OBJECT
    Q_INTERFACES(MessageReceiver)

public:
    explicit RoomCalMessageReceiver(QObject* parent = nullptr);

    int receiveMessage(const char* sender, int kind, const char* message) override;

signals:
    // "N list": cameras per monitor tab, then the 0-based camera indices in the monitor's order.
    void CameraTabChanges(QString payload);
    // Comma-separated 0-based indices of the cameras that are most active.
    void MostActiveChanges(QString payload);
};
