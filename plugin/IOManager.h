#pragma once

// The host's synchronous text channel to the tracking controller. Host implementations compile
// against this header: the order of the virtual operations is part of the binary contract, so
// the reserved entries must stay where they are even though the module never calls them.

#include <QMetaType>

class MessageReceiver;

class IOManager
{
public:
    // Every text answer the host writes fits, NUL included, in a buffer of this size.
    static constexpr int AnswerBufferSize = 200;

    virtual ~IOManager() = default;
    virtual int reserved1() { return -1; }
    virtual int setChannelOption(int option, int value, int flags) = 0;
    virtual int sendCommand(char* answer, const char* format, ...) = 0;
    virtual int reserved4() { return -1; }
    virtual int getString(char* answer, const char* format, ...) = 0;
    virtual int getInt(int* value, const char* format, ...) = 0;
    virtual int getDouble(double* value, const char* format, ...) = 0;
    virtual int getFlag(bool* value, const char* format, ...) = 0;
    virtual int getDoubles(double* values, int count, const char* format, ...) = 0;
    virtual int reserved10() { return -1; }
    virtual int setParameter(const char* format, ...) = 0;
    virtual int reserved12() { return -1; }
    virtual int reserved13() { return -1; }
    virtual int reserved14() { return -1; }
    virtual int reserved15() { return -1; }
    virtual int logMessage(const char* category, const char* source, int level,
                           const char* text) = 0;
    virtual int registerReceiver(const char* name, MessageReceiver* receiver) = 0;
    virtual int unregisterReceiver(const char* name, MessageReceiver* receiver) = 0;
};

Q_DECLARE_METATYPE(IOManager*)
