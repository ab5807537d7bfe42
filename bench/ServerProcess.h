#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A line server in a child process for the duration of a benchmark: it is started, its port is
// read from the "listening on 127.0.0.1:PORT" line it prints, and it is ended with SIGTERM when
// this object goes.
class ServerProcess
{
public:
    ServerProcess(const QString& program, const QStringList& arguments);
    ~ServerProcess();

    // 0 when the server did not come up; error() then says why.
    quint16 port() const { return m_port; }
    QString error() const { return m_error; }
    qint64 processId() const { return m_process.processId(); }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
