#pragma once

#include <QTcpServer>
#include <memory>
#include <unordered_map>
#include <vector>

class SimController;
class QTimer;

// The simulated controller's line server. It owns the client sockets itself, so that it decides
// when to read, how much to answer per pass and when to close: a client that never reads its
// answers is paused instead of growing the server's memory, a client that closes its side straight
// after its requests still gets their answers, and idle or surplus connections cannot use up the
// process's file handles.
class SimLineServer : public QTcpServer
{
public:
    struct Limits
    {
        int maxConnections = 0;         // 0: a quarter of the file handle limit, at most 256
        int idleTimeoutSeconds = 300;   // nothing received for this long closes; 0: never
        int maxUnsentBytes = 64 * 1024; // above this a client's requests wait for it to read
        int linesPerPass = 64;          // then the other clients get their turn
        int maxRequestBytes = 4096;
    };

    SimLineServer(SimController* sim, const Limits& limits, QObject* parent = nullptr);
    ~SimLineServer() override;

    int maxConnections() const { return m_limits.maxConnections; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection;

    void serve(Connection* c);
    bool send(Connection* c);
    void drop(Connection* c);
    void closeIdle();

    SimController* m_sim;
    Limits m_limits;
    QTimer* m_idleTimer;
    std::unordered_map<int, std::unique_ptr<Connection>> m_connections; // by descriptor
    std::vector<std::unique_ptr<Connection>> m_dropped;
};
