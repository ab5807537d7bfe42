#pragma once

#include "sim/SimController.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <atomic>

// A controller on a socket that can be switched between answering properly and ways of
// misbehaving. It serves from its own thread, since the host's channel blocks the test's thread
// while it waits for an answer.
class BadController
{
public:
    // Healthy answers at once from the default simulator, FormatText with printf directives in
    // well-formed answers.
    enum class Mode { Healthy, FormatText };

    BadController() : m_server(new QTcpServer)
    {
        QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    while (socket->canReadLine())
                        answer(socket, socket->readLine().trimmed());
                });
            }
        });
        m_server->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_server, &QObject::deleteLater);
        m_thread.start();
    }
    ~BadController()
    {
        m_thread.quit();
        m_thread.wait();
    }

    // Port 0 picks a free port; returns the port, or 0 when listening failed. Port -1 stops
    // listening: afterwards connecting to the port is refused.
    quint16 listen(int port = 0)
    {
        QMetaObject::invokeMethod(
            m_server,
            [this, port] {
                m_server->close();
                if (port >= 0)
                    m_server->listen(QHostAddress::LocalHost, quint16(port));
            },
            Qt::BlockingQueuedConnection);
        return m_server->serverPort();
    }
    void setMode(Mode mode) { m_mode = mode; }

private:
    void answer(QTcpSocket* socket, const QByteArray& request)
    {
        const auto proper = [&] {
            return m_sim.handle(QString::fromLatin1(request)).toLatin1() + '\n';
        };
        if (m_mode == Mode::Healthy)
            socket->write(proper());
        else
            socket->write(request.startsWith("morvek2 get ")
                              ? "morvek2 set " + request.mid(12) + " %s%n%s%n%p\n"
                              : QByteArray("%n%s%n%x\n"));
    }

    std::atomic<Mode> m_mode{Mode::Healthy};
    QThread m_thread;
    QTcpServer* m_server; // lives in m_thread
    SimController m_sim;  // used in m_thread only
};
