#include "MessageBus.h"

#include "plugin/MessageReceiver.h"

int MessageBus::registerReceiver(const QByteArray& name, MessageReceiver* receiver)
{
    if (!receiver || isRegistered(name, receiver))
        return -1;
    m_receivers.append(qMakePair(name, receiver));
    return 0;
}

int MessageBus::unregisterReceiver(const QByteArray& name, MessageReceiver* receiver)
{
    return m_receivers.removeAll(qMakePair(name, receiver)) > 0 ? 0 : -1;
}

bool MessageBus::isRegistered(const QByteArray& name, MessageReceiver* receiver) const
{
    return m_receivers.contains(qMakePair(name, receiver));
}

void MessageBus::deliver(const QByteArray& message, const QByteArray& sender, int kind)
{
    // The text must stay NUL-terminated and alive even if a receiver delivers another message.
    const QByteArray text = message;
    const QByteArray from = sender;
    const auto snapshot = m_receivers;
    for (const auto& entry : snapshot) {
        // A receiver that was unregistered meanwhile may already be gone.
        if (!m_receivers.contains(entry))
            continue;
        entry.second->receiveMessage(from.constData(), kind, text.constData());
    }
}
