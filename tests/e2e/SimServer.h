#pragma once

#include "host/TcpTransport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <memory>

// The simulated controller as a server process on a socket. Its scenario goes to a temporary
// folder, since the server keeps its state file beside it, never in the source tree.
class SimServer
{
public:
    // Starts the server on scenario JSON, typically {"extends": "default", ...}, or on a scenario
    // file or a bundled scenario's name, with further options.
    explicit SimServer(const QString& scenario, const QStringList& options = {})
        : m_scenario(scenario.startsWith('{') ? m_dir.filePath("scenario.json") : scenario),
          m_options(options)
    {
        QFile file(m_scenario);
        if (scenario.startsWith('{') && file.open(QIODevice::WriteOnly))
            file.write(scenario.toUtf8());
        file.close();
        m_error = restart();
    }
    ~SimServer() { stop(); }

    QString error() const { return m_error; } // why the first start failed, if it did
    // The first start picks a free port; later starts reuse it, so that a client that keeps the
    // address reconnects to the restarted server. Returns why the server did not start, empty
    // when it did; a scenario that does not load ends it with the reason on its error output.
    QString restart()
    {
        stop();
        m_process.start(qEnvironmentVariable("MORVEK_SIM"),
                        QStringList{"--port", QString::number(m_port), "--scenario", m_scenario} +
                            m_options);
        // The server names its port in one line once it accepts connections.
        m_process.waitForReadyRead(10000);
        const QByteArray banner = m_process.readLine().trimmed();
        const uint port =
            banner.startsWith("listening on 127.0.0.1:") ? banner.mid(23).toUInt() : 0;
        if (port == 0 || port > 65535 || (m_port != 0 && port != m_port)) {
            stop();
            return QStringLiteral("no server from MORVEK_SIM: \"%1\" %2")
                .arg(QString::fromLatin1(banner),
                     QString::fromLocal8Bit(m_process.readAllStandardError()));
        }
        m_port = quint16(port);
        m_client = std::make_unique<TcpTransport>(QStringLiteral("127.0.0.1"), m_port);
        return QString();
    }
    // SIGTERM, then SIGKILL when the server does not end in time. Whether it ended normally.
    bool stop()
    {
        m_client.reset();
        m_process.terminate();
        if (m_process.waitForFinished(3000))
            return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
        kill();
        return false;
    }
    // SIGKILL at once: a controller that dies in the middle of something.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }

    // SIGSTOP or SIGCONT: a controller that stays connected but says nothing.
    void pause(bool paused) { ::kill(pid_t(m_process.processId()), paused ? SIGSTOP : SIGCONT); }

    quint16 port() const { return m_port; }
    qint64 processId() const { return m_process.processId(); }

    // One request over a connection of the test's own, answered with one line, or with the
    // value alone for a parameter read; empty when there was no answer.
    QByteArray ask(const QByteArray& request)
    {
        QByteArray answer;
        if (!m_client || !m_client->transact(request, &answer))
            return QByteArray();
        const QByteArray read = "morvek2 set " + request.mid(12) + ' ';
        return request.startsWith("morvek2 get ") && answer.startsWith(read)
                   ? answer.mid(read.size())
                   : answer;
    }
    // The rooms of the six cameras of the active configuration, or of the given one, which then
    // stays active.
    QByteArrayList rooms(const QByteArray& configuration = QByteArray())
    {
        QByteArrayList rooms;
        if (!configuration.isEmpty())
            ask("morvek2 set config active_config " + configuration);
        for (int camera = 1; camera <= 6; ++camera)
            rooms << ask("morvek2 get tracking room c0" + QByteArray::number(camera));
        return rooms;
    }

private:
    QTemporaryDir m_dir;
    const QString m_scenario;
    const QStringList m_options;
    QProcess m_process;
    quint16 m_port = 0;
    std::unique_ptr<TcpTransport> m_client;
    QString m_error;
};
