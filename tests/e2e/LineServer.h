#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <functional>

// A line server on the loopback address, serving from a thread of its own, since the host's
// channel blocks the test's thread while it waits for an answer. Every request line goes to the
// answering function in that thread; the latest connection is kept, so that a test can send a
// line nobody asked for.
class LineServer
{
public:
    using Answering = std::function<void(QTcpSocket* socket, const QByteArray& request)>;

    explicit LineServer(const Answering& answering) : m_server(new QTcpServer)
    {
        QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this, answering] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                m_latest = socket;
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, answering] {
                    while (socket->canReadLine())
                        answering(socket, socket->readLine().trimmed());
                });
            }
        });
        m_server->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_server, &QObject::deleteLater);
        m_thread.start();
    }
    ~LineServer() { stop(); }

    // Ends the serving thread; a subclass calls it before its own members go.
    void stop()
    {
        m_thread.quit();
        m_thread.wait();
    }
    // Port 0 picks a free port; returns the port, or 0 when listening failed. Port -1 stops
    // listening: afterwards connecting to the port is refused.
    quint16 listen(int port = 0)
    {
        inServer([this, port] {
            m_server->close();
            if (port >= 0)
                m_server->listen(QHostAddress::LocalHost, quint16(port));
        });
        return m_server->serverPort();
    }
    // A line nobody asked for, on the latest connection.
    void sendUnasked(const QByteArray& line)
    {
        inServer([this, line] {
            m_latest->write(line);
            m_latest->flush();
        });
    }

private:
    void inServer(const std::function<void()>& f)
    {
        QMetaObject::invokeMethod(m_server, f, Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    QTcpServer* m_server;          // lives in m_thread
    QPointer<QTcpSocket> m_latest; // used in m_thread only
};
