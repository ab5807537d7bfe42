#pragma once

#include "plugin/IOManager.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdarg>
#include <functional>

class ControllerTransport;
class EventLog;
class MessageBus;

// The host's command channel over a line transport to the controller.
//
// Parameter reads go out as "morvek2 get X" and expect "morvek2 set X value"; parameter writes
// "X value" go out as "morvek2 set X value" and expect "morvek2 ok"; full commands go out as
// they are. "morvek2 err N "text"" is a refusal. Every failure returns non-zero and leaves the
// caller's out values untouched; text answers are cut to fit the caller's 200-byte buffer.
class ControllerIOManager : public IOManager
{
public:
    struct ChannelOption
    {
        int option;
        int value;
        int flags;
    };
    // Option 0 sets the transport timeout in milliseconds for the next exchange only (the
    // module raises it before an operation the controller needs long for); after that exchange
    // the transport's own timeout is back, so that a dead controller does not hold the GUI for
    // the raised time on every later read.
    static constexpr int TimeoutOption = 0;
    static constexpr int TransportFailure = -1;
    static constexpr int MalformedAnswer = -2;
    static constexpr int BadArguments = -3;
    static constexpr const char* HostSource = "HOST";

    // None of the three is owned; the log and the bus may be null.
    ControllerIOManager(ControllerTransport* transport, EventLog* log, MessageBus* bus);

    int setChannelOption(int option, int value, int flags) override;
    int sendCommand(char* answer, const char* format, ...) override;
    int getString(char* answer, const char* format, ...) override;
    int getInt(int* value, const char* format, ...) override;
    int getDouble(double* value, const char* format, ...) override;
    int getFlag(bool* value, const char* format, ...) override;
    int getDoubles(double* values, int count, const char* format, ...) override;
    int setParameter(const char* format, ...) override;
    int logMessage(const char* category, const char* source, int level, const char* text) override;
    int registerReceiver(const char* name, MessageReceiver* receiver) override;
    int unregisterReceiver(const char* name, MessageReceiver* receiver) override;

    // Told when the controller stops answering (false) and when it answers again (true).
    void setStateHandler(std::function<void(bool answering)> handler)
    {
        m_stateHandler = std::move(handler);
    }

    QList<ChannelOption> channelOptions() const { return m_options; }
    // Why the last failed exchange failed, for the operator.
    QString lastError() const { return m_lastError; }
    ControllerTransport* transport() const { return m_transport; }

    // The pieces of the above, usable without variadic formatting. exchange() takes any answer
    // line; command() and readParameter() also check that the answer fits the request.
    int exchange(const QByteArray& request, QByteArray* answer);
    int command(const QByteArray& request, QByteArray* answer);
    int readParameter(const QByteArray& name, QByteArray* value);

private:
    int fail(int code, const QString& reason);
    int misfit(const QByteArray& request, const QByteArray& answer);
    void noteTransport(bool ok);
    static bool echoes(const QByteArray& answer, const char* name, QByteArray* value);
    int formatted(const char* format, va_list args, QByteArray* text);
    int readFormatted(const char* format, va_list args, QByteArray* name, QByteArray* value);
    // Reads a parameter and lets take() parse it; "unfit" completes the complaint when it cannot.
    int readChecked(const char* format, va_list args, const QString& unfit,
                    const std::function<bool(const QByteArray&)>& take);

    ControllerTransport* m_transport;
    EventLog* m_log;
    MessageBus* m_bus;
    QList<ChannelOption> m_options;
    QString m_lastError;
    bool m_reachable = true;
    std::function<void(bool answering)> m_stateHandler;
    // The transport's timeout to restore after the next exchange, or 0 when none is raised.
    int m_timeoutToRestore = 0;
};
