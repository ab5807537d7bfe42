#include "BadController.h"

#include "sim/SimController.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class BadControllerWorker : public QObject
{
public:
    explicit BadControllerWorker(BadController* owner) : m_owner(owner) {}

    quint16 listen(quint16 port)
    {
        if (!m_server) {
            m_server = new QTcpServer(this);
            connect(m_server, &QTcpServer::newConnection, this, &BadControllerWorker::accept);
        }
        m_server->close();
        return m_server->listen(QHostAddress::LocalHost, port) ? m_server->serverPort() : 0;
    }

    void close()
    {
        if (m_server)
            m_server->close();
    }

private:
    using Mode = BadController::Mode;

    void accept()
    {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (m_owner->mode() == Mode::CloseAtOnce) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                while (socket->canReadLine())
                    answer(socket, socket->readLine().trimmed());
            });
        }
    }

    void answer(QTcpSocket* socket, const QByteArray& request)
    {
        ++m_owner->m_requests;
        switch (m_owner->mode()) {
        case Mode::Healthy:
            socket->write(m_sim.handle(QString::fromLatin1(request)).toLatin1() + '\n');
            break;
        case Mode::Silent:
            break;
        case Mode::Slow: {
            const QByteArray late = m_sim.handle(QString::fromLatin1(request)).toLatin1() + '\n';
            // The socket as context: the answer dies with a connection the client dropped.
            QTimer::singleShot(BadController::SlowDelayMs, socket,
                               [socket, late] { socket->write(late); });
            break;
        }
        case Mode::Garbage:
            socket->write("\x7f?? \xff\xfe garbage -- 12,5 \x1b[2J\n");
            break;
        case Mode::FormatText:
            if (request.startsWith("morvek2 get "))
                socket->write("morvek2 set " + request.mid(12) + " %s%n%s%n%p\n");
            else
                socket->write("%n%s%n%x\n");
            break;
        case Mode::Oversized:
            socket->write(QByteArray(10000, 'x') + '\n');
            break;
        case Mode::CloseAtOnce:
            socket->abort();
            break;
        }
    }

    BadController* m_owner;
    QTcpServer* m_server = nullptr;
    SimController m_sim;
};

BadController::BadController()
{
    m_worker = new BadControllerWorker(this);
    m_worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

BadController::~BadController()
{
    m_thread.quit();
    m_thread.wait();
}

quint16 BadController::listen(quint16 port)
{
    quint16 result = 0;
    QMetaObject::invokeMethod(
        m_worker, [this, port, &result] { result = m_worker->listen(port); },
        Qt::BlockingQueuedConnection);
    return result;
}

void BadController::close()
{
    QMetaObject::invokeMethod(
        m_worker, [this] { m_worker->close(); }, Qt::BlockingQueuedConnection);
}
