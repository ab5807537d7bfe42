#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

class MessageReceiver;

// The host's bus of text messages between its components. Receivers subscribe under a name;
// every delivered message reaches each of them. Used on the GUI thread only.
class MessageBus
{
public:
    // 0 on success; a null receiver or a pair that is already registered is refused.
    int registerReceiver(const QByteArray& name, MessageReceiver* receiver);
    // 0 on success; -1 when the pair was not registered.
    int unregisterReceiver(const QByteArray& name, MessageReceiver* receiver);

    // A receiver may register or unregister receivers (itself included) while it handles a
    // message: one that is unregistered before its turn is skipped, one registered during the
    // delivery first hears the next message.
    void deliver(const QByteArray& message, const QByteArray& sender = "host", int kind = 0);

    int receiverCount() const { return m_receivers.size(); }
    bool isRegistered(const QByteArray& name, MessageReceiver* receiver) const;

private:
    QList<QPair<QByteArray, MessageReceiver*>> m_receivers;
};
