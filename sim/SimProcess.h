#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A line server in a child process, such as morvek-sim: started with its program and arguments,
// its port read from the "listening on 127.0.0.1:PORT" line it prints once it accepts
// connections, and ended with this object.
class SimProcess
{
public:
    ~SimProcess() { stop(); }

    // Starts the server; returns error().
    QString start(const QString& program, const QStringList& arguments);
    // Stops the server and starts it again on the port it had, passed as "--port PORT", so that
    // a client that keeps the address reconnects to it. Returns error().
    QString restart();
    // SIGTERM, then SIGKILL when the server does not end in time. Whether it ended normally.
    bool stop();
    // SIGKILL at once: a controller that dies in the middle of something.
    void kill();
    // SIGSTOP or SIGCONT: a controller that stays connected but says nothing.
    void pause(bool paused);

    // The port of the last start that came up, 0 before one did.
    quint16 port() const { return m_port; }
    // Why the last start failed, with what the server wrote on its error output; empty when it
    // came up.
    QString error() const { return m_error; }
    qint64 processId() const { return m_process.processId(); }

private:
    QString m_program;
    QStringList m_arguments;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
