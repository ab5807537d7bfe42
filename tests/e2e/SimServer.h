#pragma once

#include "plugin/BackendVersions.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class TcpTransport;

// The simulated controller as a separate server process, the way a real controller sits on the
// other end of a socket. The scenario is copied into a temporary folder first: the server keeps
// its state file beside the scenario it loaded, and that must never land in the source tree.
class SimServer
{
public:
    SimServer();
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // A scenario from sim/scenarios by its base name ("default", "stall", ...).
    bool useScenarioFile(const QString& name, QString* error);
    // A scenario written from JSON text, typically {"extends": "default", ...}.
    bool useScenarioJson(const QByteArray& json, QString* error);

    // The first start picks a free port; later starts reuse it, so that a client that keeps
    // the address reconnects to the restarted server.
    bool start(QString* error);
    // SIGTERM, then SIGKILL when the server does not end in time.
    void stop();
    // SIGKILL at once: a controller that dies in the middle of something.
    void kill();
    bool restart(QString* error);
    bool isRunning() const;

    quint16 port() const { return m_port; }
    QString scenarioPath() const { return m_scenario; }
    QString statePath() const;
    // Controller version and model as the scenario states them.
    BackendVersions versions() const { return m_versions; }

    // One request line to the running server, answered with one line; an empty result when
    // there was no answer. Independent of the module's own connection.
    QByteArray ask(const QByteArray& request);
    // The value part of "morvek2 set NAME value" for "morvek2 get NAME".
    QByteArray value(const QByteArray& name);
    // The answers to "morvek2 get tracking room cNN" for cameras 1..count of the active
    // configuration, or of the given one (which then stays active).
    QList<QByteArray> rooms(int count, const QByteArray& configuration = QByteArray());

    static QString serverProgram();

private:
    bool readVersions(QString* error);

    QTemporaryDir m_dir;
    QString m_scenario;
    QProcess m_process;
    quint16 m_port = 0;
    BackendVersions m_versions;
    std::unique_ptr<TcpTransport> m_client;
};
