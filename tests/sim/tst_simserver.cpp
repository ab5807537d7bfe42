#include "kit/TestMain.h"
#include "sim/SimLineReader.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A blocking loopback client, so that the test needs nothing beyond Qt Core from the network.
class LineClient
{
public:
    explicit LineClient(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~LineClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool connected() const { return m_fd >= 0; }

    bool send(const QByteArray& bytes)
    {
        qint64 sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n =
                ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), 0);
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }

    // One answer line without its line end, or "<timeout>" / "<closed>".
    QByteArray readLine()
    {
        while (!m_pending.contains('\n')) {
            pollfd p = {m_fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) != 1)
                return "<timeout>";
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return "<closed>";
            m_pending.append(buffer, int(n));
        }
        const int end = m_pending.indexOf('\n');
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        return line;
    }

    QByteArray ask(const QByteArray& request)
    {
        return send(request + '\n') ? readLine() : "<send>";
    }

private:
    int m_fd = -1;
    QByteArray m_pending;
};

QString serverPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/morvek-sim");
}

} // namespace

class TestSimServer : public QObject
{
    Q_OBJECT

private slots:
    void linesAreCutAndBounded_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("expected"); // "!" stands for a too-long line
        QTest::newRow("two lines in one chunk")
            << QList<QByteArray>{"a b\nc\n"} << QStringList{"a b", "c"};
        QTest::newRow("split anywhere, crlf")
            << QList<QByteArray>{"mor", "vek2 ok\r", "\nx\r\n"} << QStringList{"morvek2 ok", "x"};
        QTest::newRow("unfinished line waits") << QList<QByteArray>{"abc", "def"} << QStringList{};
        QTest::newRow("empty lines count") << QList<QByteArray>{"\n\r\n"} << QStringList{"", ""};
        QTest::newRow("at the limit") << QList<QByteArray>{QByteArray(16, 'x') + "\n"}
                                      << QStringList{QString(16, QLatin1Char('x'))};
        QTest::newRow("one over, ended")
            << QList<QByteArray>{QByteArray(17, 'x') + "\nnext\n"} << QStringList{"!", "next"};
        // Answered as soon as it is too long; the rest of that line is dropped, however long.
        QTest::newRow("runaway line")
            << QList<QByteArray>{QByteArray(20, 'x'), QByteArray(100, 'y'), "z\nafter\n"}
            << QStringList{"!", "after"};
    }

    void linesAreCutAndBounded()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QStringList, expected);
        SimLineReader reader(16);
        QStringList got;
        for (const QByteArray& chunk : chunks) {
            for (const SimLineReader::Line& line : reader.feed(chunk))
                got.append(line.tooLong ? QStringLiteral("!") : QString::fromLatin1(line.text));
        }
        QCOMPARE(got, expected);
    }

    void serverAnswersSeveralClientsAndStopsOnSignal()
    {
        QVERIFY2(QFile::exists(serverPath()),
                 qPrintable(serverPath() + QStringLiteral(" is missing: build target morvek-sim")));
        QTemporaryDir dir;
        const QString scenario = dir.filePath(QStringLiteral("default.json"));
        QVERIFY(QFile::copy(qEnvironmentVariable("ROOMCAL_SOURCE_DIR") +
                                QStringLiteral("/sim/scenarios/default.json"),
                            scenario));

        QProcess server;
        server.start(serverPath(),
                     {QStringLiteral("--scenario"), scenario, QStringLiteral("--port"),
                      QStringLiteral("0"), QStringLiteral("--controller-version"),
                      QStringLiteral("1.9.2")});
        QVERIFY(server.waitForStarted(5000));
        QVERIFY(server.waitForReadyRead(5000));
        const QString banner = QString::fromLatin1(server.readLine());
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)\\n$"))
                .match(banner);
        QVERIFY2(m.hasMatch(), qPrintable(banner));
        const quint16 port = quint16(m.captured(1).toUInt());
        QVERIFY(port != 0);

        LineClient a(port);
        LineClient b(port);
        QVERIFY(a.connected() && b.connected());
        QCOMPARE(a.ask("morvek2 get config active_config"),
                 QByteArray("morvek2 set config active_config lab_main"));
        // Both connections reach the same controller.
        QCOMPARE(b.ask("morvek2 set config active_config demo_area"), QByteArray("morvek2 ok"));
        QCOMPARE(a.ask("morvek2 get config active_config"),
                 QByteArray("morvek2 set config active_config demo_area"));
        // The version option overrides the scenario's 1.23: the height is not known yet.
        QCOMPARE(a.ask("morvek2 get roomcal angle_height"),
                 QByteArray("morvek2 err 2 \"Unknown parameter\""));
        // Pipelined requests are answered in order; an oversized one gets an error of its own.
        QVERIFY(b.send(QByteArray(5000, 'x') + "\nmorvek2 get status active\r\n"
                                               "morvek2 get config owner_of_config backup_2026\n"));
        QCOMPARE(b.readLine(), QByteArray("morvek2 err 8 \"Request too long\""));
        QCOMPARE(b.readLine(), QByteArray("morvek2 set status active none"));
        QCOMPARE(b.readLine(), QByteArray("morvek2 set config owner_of_config backup_2026 \"M\xfc"
                                          "ller\""));

        server.terminate(); // SIGTERM
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.exitCode(), 0);
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("default.state.json"))));

        // A broken scenario stops the server before it listens, saying why.
        QFile broken(dir.filePath(QStringLiteral("broken.json")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("{\"extends\": \"default\", \"activeConfiguration\": \"nowhere\"}");
        broken.close();
        QProcess failing;
        failing.start(serverPath(), {QStringLiteral("--scenario"), broken.fileName()});
        QVERIFY(failing.waitForFinished(5000));
        QCOMPARE(failing.exitCode(), 2);
        QVERIFY(failing.readAllStandardOutput().isEmpty());
        QVERIFY(failing.readAllStandardError().contains("activeConfiguration"));
    }
};

ROOMCAL_TEST_MAIN(TestSimServer)
#include "tst_simserver.moc"
