#pragma once

#include "host/TcpTransport.h"
#include "sim/SimProcess.h"

#include <QFile>
#include <QTemporaryDir>

// The simulator's server, its scenario JSON in a temporary folder where the state file goes too.
class SimServer : public SimProcess
{
public:
    // Starts the server from scenario JSON, a scenario file or a bundled scenario's name.
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

    // One request over a connection of its own; the answer as shortAnswer() writes it, or empty.
    QByteArray ask(const QByteArray& request) const
    {
        TcpTransport client(QStringLiteral("127.0.0.1"), port());
        QByteArray answer;
        return client.transact(request, &answer) ? shortAnswer(request, answer) : QByteArray();
    }
    // An answer as the tests write it: the value of a read, "ok", "err N ..." or the whole line.
    static QByteArray shortAnswer(const QByteArray& request, const QByteArray& answer)
    {
        const QByteArray read = "morvek2 set " + request.mid(12) + ' ';
        if (request.startsWith("morvek2 get ") && answer.startsWith(read))
            return answer.mid(read.size());
        return answer == "morvek2 ok" || answer.startsWith("morvek2 err ") ? answer.mid(8) : answer;
    }
    // The rooms of the six cameras of the active configuration, as the commands that write them.
    QStringList rooms() const
    {
        QStringList rooms;
        for (int camera = 1; camera <= 6; ++camera) {
            const QByteArray room = "tracking room c0" + QByteArray::number(camera);
            rooms << "morvek2 set " + room + ' ' + ask("morvek2 get " + room);
        }
        return rooms;
    }

private:
    QTemporaryDir m_dir;
};
