// The simulator's server process around the controller: its line framing, what it refuses at
// start, and how it treats clients that close early, never read, idle or come one too many.
#include "kit/TestMain.h"
#include "sim/SimLineReader.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

QString program()
{
    return qEnvironmentVariable("MORVEK_SIM", QCoreApplication::applicationDirPath() +
                                                  QStringLiteral("/../sim/morvek-sim"));
}

// A plain client socket, so that the test decides exactly when it reads, writes and closes.
class Client
{
public:
    explicit Client(quint16 port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(m_fd); }
    bool connected() const { return m_connected; }
    // As much as the kernel takes now.
    qint64 offer(const QByteArray& bytes)
    {
        return ::send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    void halfClose() { ::shutdown(m_fd, SHUT_WR); }
    // Reads until `lines` line ends arrived, the server closed, or the time is up.
    QByteArray receive(int lines, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        char chunk[4096];
        while (m_received.count('\n') < lines && !deadline.hasExpired()) {
            pollfd p = {m_fd, POLLIN, 0};
            if (::poll(&p, 1, int(deadline.remainingTime())) <= 0)
                break;
            const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            m_received.append(chunk, int(got));
        }
        return std::exchange(m_received, QByteArray());
    }

private:
    int m_fd;
    bool m_connected = false;
    QByteArray m_received;
};

class Server
{
public:
    Server(const QString& scenario, const QStringList& options)
    {
        m_process.start(program(), QStringList{"--scenario", scenario} + options);
        m_process.waitForReadyRead(10000);
        const QByteArray banner = m_process.readLine();
        if (banner.startsWith("listening on 127.0.0.1:"))
            port = quint16(banner.mid(23).trimmed().toUInt());
    }
    ~Server()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    qint64 residentKb()
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
        status.open(QIODevice::ReadOnly);
        const QByteArray text = status.readAll();
        return text.mid(text.indexOf("VmRSS:") + 6).trimmed().split(' ').value(0).toLongLong();
    }
    bool endsNormally()
    {
        m_process.terminate();
        return m_process.waitForFinished(5000) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    }
    quint16 port = 0;

private:
    QProcess m_process;
};

QByteArray times(int n, const QByteArray& line)
{
    return line.repeated(n);
}

} // namespace

class TestSimServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString scenario(const QByteArray& json)
    {
        const QString path = m_dir.filePath(QStringLiteral("scenario.json"));
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(json);
        return path;
    }
    QString statePath() { return m_dir.filePath(QStringLiteral("scenario.state.json")); }

private slots:
    void init()
    {
        QDir(m_dir.path()).rmdir(QStringLiteral("scenario.state.json"));
        QFile::remove(statePath());
        QFile::remove(m_dir.filePath("fifo"));
    }

    void linesAreCutAndBounded()
    {
        // Lines split anywhere, with CRLF or empty, wait for their end. A line over the limit is
        // reported as soon as it is too long, and the rest of it is dropped however long it is.
        const QByteArray max(16, 'x'), runaway(100, 'y');
        const QByteArrayList chunks = {"a b\nmor",   "vek2 ok\r", "\n\r\nabc",
                                       "def\n",      max + "\n",  max + "y\nnext\n",
                                       max + "yyyy", runaway,     "z\nafter\n"};
        SimLineReader reader(16);
        QByteArrayList got;
        QByteArray line;
        for (const QByteArray& chunk : chunks) {
            reader.append(chunk.constData(), chunk.size());
            while (const SimLineReader::Result r = reader.next(&line))
                got << (r == SimLineReader::TooLong ? QByteArray("!") : line);
        }
        QCOMPARE(got, QByteArrayList(
                          {"a b", "morvek2 ok", "", "abcdef", max, "!", "next", "!", "after"}));
    }

    // Each refusal ends the server before it listens, with exit code 2 and a message that names
    // the file, the key and the reason.
    void refusedAtStart_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("beside"); // what lies next to the scenario: see below
        QTest::addColumn<QString>("expected");
        const QByteArray plain = "{\"extends\": \"default\"}";
        const QByteArray base = plain.chopped(1) + ", ";
        QTest::newRow("unknown configuration")
            << base + "\"activeConfiguration\": \"nowhere\"}"
            << ""
            << "scenario.json: activeConfiguration: no configuration has the id nowhere";
        QTest::newRow("number for a list") << base + "\"cameras\": 5}"
                                           << ""
                                           << "scenario.json: cameras: expected a list";
        QTest::newRow("text for a list") << base + "\"failSwitchTo\": \"lab_main\"}"
                                         << ""
                                         << "scenario.json: failSwitchTo: expected a list";
        QTest::newRow("list for an object") << base + "\"roomAdjustment\": [1, 2]}"
                                            << ""
                                            << "scenario.json: roomAdjustment: expected an object";
        QTest::newRow("text for an object") << base + "\"run\": \"fast\"}"
                                            << ""
                                            << "scenario.json: run: expected an object";
        QTest::newRow("key twice") << base + "\"run\": {\"stepPause\": 1, \"stepPause\": 2}}"
                                   << ""
                                   << "scenario.json: run.stepPause: key given twice";
        QTest::newRow("negative duration")
            << base + "\"roomcal\": {\"duration\": -5}}"
            << ""
            << "scenario.json: roomcal.duration: expected from 0 to 300 seconds";
        QTest::newRow("endless duration")
            << base + "\"roomcal\": {\"duration\": 1e308}}"
            << ""
            << "scenario.json: roomcal.duration: expected from 0 to 300 seconds";
        QTest::newRow("too many cameras")
            << base + "\"cameras\": [" + times(1000, "{},").chopped(1) + "]}"
            << ""
            << "scenario.json: cameras: more than 999 entries";
        QTest::newRow("extends a FIFO") << QByteArray("{\"extends\": \"fifo\"}") << "fifo"
                                        << "scenario.json: extends: %1/fifo: not a regular file";
        QTest::newRow("extends a device")
            << QByteArray("{\"extends\": \"/dev/zero\"}") << ""
            << "scenario.json: extends: /dev/zero: not a regular file";
        QTest::newRow("truncated state") << plain << "truncated state"
                                         << "scenario.state.json: not a JSON object (unterminated "
                                            "array at offset 20)";
        QTest::newRow("state is a folder") << plain << "state folder"
                                           << "scenario.state.json: is a folder";
        QTest::newRow("second server") << plain << "first server"
                                       << "scenario.state.json: in use by morvek-sim (process";
    }

    void refusedAtStart()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, beside);
        QFETCH(QString, expected);
        const QString path = scenario(json);
        const QString state = statePath();
        std::unique_ptr<Server> first;
        if (beside == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(m_dir.filePath("fifo")).constData(), 0600), 0);
        if (beside == QLatin1String("state folder"))
            QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("scenario.state.json")));
        if (beside == QLatin1String("truncated state")) {
            QFile file(state);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("{\"configurations\": [");
        }
        if (beside == QLatin1String("first server")) {
            first = std::make_unique<Server>(path, QStringList());
            QVERIFY(first->port != 0);
        }
        QProcess server;
        server.start(program(), {QStringLiteral("--scenario"), path});
        QVERIFY2(server.waitForFinished(5000), "the server did not refuse to start");
        const QString error = QString::fromLocal8Bit(server.readAllStandardError());
        QVERIFY2(error.contains(expected.replace("%1", m_dir.path())), qPrintable(error));
        QCOMPARE(server.exitCode(), 2);
    }

    // A client sends its bytes and then closes its side or waits; it must receive exactly the
    // expected text before the server closes, and the server still ends normally.
    void exchanges_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("halfClose");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("closed straight after the requests")
            << QStringList() << "" << times(200, "morvek2 get status active\n") << true
            << times(200, "morvek2 set status active none\n");
        QTest::newRow("NUL in a request")
            << QStringList() << "" << QByteArray("morvek2 get tracking room c01\0junk\n", 35)
            << true << QByteArray("morvek2 err 3 \"Request contains a NUL byte\"\n");
        QTest::newRow("change that cannot be saved")
            << QStringList() << "state folder"
            << QByteArray("morvek2 set tracking room c01 1 2 3 4 5 6\n"
                          "morvek2 get tracking room c01\n")
            << true
            << QByteArray("morvek2 err 4 \"cannot write %1/scenario.state.json: Is a directory\"\n"
                          "morvek2 set tracking room c01 3000.000 0.000 2500.250 0.0000 -30.0000 "
                          "0.5000\n");
        QTest::newRow("one connection too many")
            << QStringList{"--max-connections", "1"} << "hold one" << QByteArray() << true
            << QByteArray("morvek2 err 4 \"Too many connections, try again later\"\n");
        QTest::newRow("idle") << QStringList{"--idle-timeout", "1"} << "" << QByteArray() << false
                              << QByteArray("morvek2 err 4 \"Idle for too long, closing the "
                                            "connection\"\n");
    }

    void exchanges()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, setup);
        QFETCH(QByteArray, request);
        QFETCH(bool, halfClose);
        QFETCH(QByteArray, expected);
        Server server(scenario("{\"extends\": \"default\"}"), options);
        QVERIFY(server.port != 0);
        Client held(server.port);
        if (setup == QLatin1String("state folder"))
            QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("scenario.state.json")));
        if (setup == QLatin1String("hold one"))
            QVERIFY(held.offer("morvek2 get status active\n") > 0 &&
                    !held.receive(1, 5000).isEmpty());
        Client client(server.port);
        QVERIFY(client.connected());
        QCOMPARE(client.offer(request), qint64(request.size()));
        if (halfClose)
            client.halfClose();
        QCOMPARE(client.receive(expected.count('\n') + 1, 5000),
                 expected.replace("%1", QFile::encodeName(m_dir.path())));
        QVERIFY(server.endsNormally());
    }

    // A client that sends without ever reading must neither grow the server nor slow the others.
    void nonReadingClientLeavesOthersServed()
    {
        Server server(scenario("{\"extends\": \"default\"}"), {});
        QVERIFY(server.port != 0);
        Client flood(server.port), good(server.port);
        const qint64 before = server.residentKb();
        const QByteArray requests = times(4000, "morvek2 get camera camera c01\n");
        QVector<qint64> latencies;
        int timeouts = 0;
        for (int i = 0; i < 90; ++i) {
            for (int burst = 0; burst < 20 && flood.offer(requests) > 0; ++burst) {
            }
            QElapsedTimer clock;
            clock.start();
            good.offer("morvek2 get status active\n");
            timeouts += good.receive(1, 2000) == "morvek2 set status active none\n" ? 0 : 1;
            latencies << clock.nsecsElapsed() / 1000;
        }
        std::sort(latencies.begin(), latencies.end());
        qInfo("good client: p50 %lld us, p99 %lld us; server grew by %lld kB",
              latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100],
              server.residentKb() - before);
        QCOMPARE(timeouts, 0);
        QVERIFY2(server.residentKb() - before < 32 * 1024, "the server buffers a non-reader");
    }
};

ROOMCAL_TEST_MAIN(TestSimServer)
#include "tst_simserver.moc"
