#pragma once

#include "host/TcpTransport.h"
#include "sim/SimProcess.h"

#include <QFile>
#include <QTemporaryDir>

// The simulated controller as a server process on a socket. Scenario JSON goes to a temporary
// folder, since the server keeps its state file beside it, never in the source tree.
class SimServer : public SimProcess
{
public:
    // Starts the server from scenario JSON, typically {"extends": "default", ...}, or from a
    // scenario file or a bundled scenario's name, with further options.
    explicit SimServer(QString scenario, const QStringList& options = {})
    {
        if (scenario.startsWith('{')) {
            QFile file(m_dir.filePath("scenario.json"));
            file.open(QIODevice::WriteOnly);
            file.write(scenario.toUtf8());
            scenario = file.fileName();
        }
        start(qEnvironmentVariable("MORVEK_SIM"), QStringList{"--scenario", scenario} + options);
    }
    // Ends the server before its folder goes.
    ~SimServer() { stop(); }

    // One request over a connection of the test's own, answered with one line, or with the
    // value alone for a parameter read; empty when there was no answer.
    QByteArray ask(const QByteArray& request) const
    {
        TcpTransport client(QStringLiteral("127.0.0.1"), port());
        QByteArray answer;
        if (!client.transact(request, &answer))
            return QByteArray();
        const QByteArray read = "morvek2 set " + request.mid(12) + ' ';
        return request.startsWith("morvek2 get ") && answer.startsWith(read)
                   ? answer.mid(read.size())
                   : answer;
    }
    // The rooms of the six cameras of the active configuration.
    QByteArrayList rooms() const
    {
        QByteArrayList rooms;
        for (int camera = 1; camera <= 6; ++camera)
            rooms << ask("morvek2 get tracking room c0" + QByteArray::number(camera));
        return rooms;
    }

private:
    QTemporaryDir m_dir;
};
