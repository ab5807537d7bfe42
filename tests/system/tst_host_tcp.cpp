// The TCP transport against a line server that runs in its own thread, since the transport
// blocks the test's thread while it waits for an answer.
#include "host/TcpTransport.h"
#include "kit/TestMain.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <atomic>

namespace {
// Answers "ok <request>", except for a few requests that misbehave on purpose.
class LineServer : public QObject
{
public:
    quint16 listen()
    {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &LineServer::accept);
        return m_server->listen(QHostAddress::LocalHost, 0) ? m_server->serverPort() : 0;
    }
    std::atomic<int> connections{0};

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            ++connections;
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                while (socket->canReadLine())
                    answer(socket, socket->readLine().trimmed());
            });
        }
    }

    void answer(QTcpSocket* socket, const QByteArray& request)
    {
        if (request == "silent")
            return;
        // Like a controller that works through its requests in order: what comes after a slow
        // request is answered after it.
        if (m_busy.contains(socket)) {
            QTimer::singleShot(350, socket,
                               [socket, request] { socket->write("ok " + request + '\n'); });
            return;
        }
        if (request == "late") {
            m_busy.insert(socket);
            QTimer::singleShot(300, socket, [this, socket] {
                socket->write("late answer\n");
                m_busy.remove(socket);
            });
        } else if (request == "hangup")
            socket->disconnectFromHost();
        else if (request == "long")
            socket->write(QByteArray(TcpTransport::MaxAnswerLine + 10, 'x') + '\n');
        else if (request == "two")
            socket->write("one\ntwo\n");
        else if (request == "crlf")
            socket->write("ok crlf\r\n");
        else if (request == "bye") {
            socket->write("ok bye\n");
            socket->disconnectFromHost();
        } else
            socket->write("ok " + request + '\n');
    }

    QTcpServer* m_server = nullptr;
    QSet<QTcpSocket*> m_busy;
};
} // namespace

class HostTcpTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void answersAndBrokenAnswers();
    void timeoutDropsTheLateAnswer();
    void reconnectsAfterTheServerCloses();
    void refusedConnection();

private:
    QThread m_thread;
    LineServer* m_server = nullptr;
    quint16 m_port = 0;
};

void HostTcpTest::init()
{
    m_server = new LineServer;
    m_server->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_server, [this] { m_port = m_server->listen(); }, Qt::BlockingQueuedConnection);
    QVERIFY(m_port != 0);
}

void HostTcpTest::cleanup()
{
    QMetaObject::invokeMethod(
        m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void HostTcpTest::answersAndBrokenAnswers()
{
    TcpTransport transport(QStringLiteral("127.0.0.1"), m_port);
    QCOMPARE(transport.description(), QStringLiteral("127.0.0.1:%1").arg(m_port));
    QByteArray answer;
    QVERIFY2(transport.transact("morvek2 get status active", &answer),
             qPrintable(transport.lastError()));
    QCOMPARE(answer, QByteArray("ok morvek2 get status active"));
    QVERIFY(transport.transact("crlf", &answer));
    QCOMPARE(answer, QByteArray("ok crlf"));
    QCOMPARE(m_server->connections.load(), 1);

    // Each broken answer fails the exchange and costs the connection; the next one works.
    for (const QByteArray request : {"long", "two"}) {
        QVERIFY(!transport.transact(request, &answer));
        QVERIFY(!transport.lastError().isEmpty());
        QVERIFY(!transport.isConnected());
        QVERIFY2(transport.transact("again", &answer), qPrintable(transport.lastError()));
        QCOMPARE(answer, QByteArray("ok again"));
    }
    QCOMPARE(m_server->connections.load(), 3);
}

void HostTcpTest::timeoutDropsTheLateAnswer()
{
    TcpTransport transport(QStringLiteral("127.0.0.1"), m_port);
    transport.setTimeout(100);
    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!transport.transact("silent", &answer));
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY2(transport.lastError().contains("100 ms"), qPrintable(transport.lastError()));

    // The late answer must not be taken for the answer to the request after it ...
    QVERIFY(!transport.transact("late", &answer));
    transport.setTimeout(2000);
    QVERIFY2(transport.transact("right after", &answer), qPrintable(transport.lastError()));
    QCOMPARE(answer, QByteArray("ok right after"));

    // ... nor, when it arrived while the transport was idle, for the next one.
    transport.setTimeout(100);
    QVERIFY(!transport.transact("late", &answer));
    // Long enough for the late answer to arrive on the connection it was meant for.
    QTest::qWait(400);
    QVERIFY2(transport.transact("next", &answer), qPrintable(transport.lastError()));
    QCOMPARE(answer, QByteArray("ok next"));
}

void HostTcpTest::reconnectsAfterTheServerCloses()
{
    TcpTransport transport(QStringLiteral("127.0.0.1"), m_port);
    QByteArray answer;
    QVERIFY(transport.transact("bye", &answer));
    QCOMPARE(answer, QByteArray("ok bye"));
    // The server is gone from that connection before this request: a new one carries it.
    QTest::qWait(50);
    QVERIFY2(transport.transact("hello", &answer), qPrintable(transport.lastError()));
    QCOMPARE(answer, QByteArray("ok hello"));
    QCOMPARE(m_server->connections.load(), 2);

    // Closed while the answer is awaited: a failure, and the next call connects again.
    QVERIFY(!transport.transact("hangup", &answer));
    QVERIFY2(transport.lastError().contains("closed"), qPrintable(transport.lastError()));
    QVERIFY(transport.transact("back", &answer));
    QCOMPARE(answer, QByteArray("ok back"));
}

void HostTcpTest::refusedConnection()
{
    // A port that was just free: nothing listens there.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();

    TcpTransport transport(QStringLiteral("127.0.0.1"), port);
    QByteArray answer = "unchanged";
    QVERIFY(!transport.transact("morvek2 get status active", &answer));
    QVERIFY2(transport.lastError().contains("cannot connect"), qPrintable(transport.lastError()));
    QCOMPARE(answer, QByteArray("unchanged"));
}

ROOMCAL_TEST_MAIN(HostTcpTest)
#include "tst_host_tcp.moc"
