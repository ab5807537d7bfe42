#pragma once

// Receives the text messages that the host's components send on its message bus.
class MessageReceiver
{
public:
    // sender and kind are the host's; only the message text matters to the module.
    virtual int receiveMessage(const char* sender, int kind, const char* message) = 0;

protected:
    ~MessageReceiver() = default;
};
