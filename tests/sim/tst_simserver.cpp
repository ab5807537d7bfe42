// The simulator's server process around the controller: its line framing, what it refuses at
// start, and how it treats clients that close early, never read, idle or come one too many.
#include "SimServer.h"
#include "kit/TestMain.h"
#include "sim/SimLineReader.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <arpa/inet.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A plain socket, so that the test decides exactly when it reads, writes and closes.
struct Client
{
    explicit Client(quint16 port) : fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~Client() { ::close(fd); }
    // As much as the kernel takes now.
    qint64 offer(const QByteArray& bytes)
    {
        return ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    // Until `lines` line ends arrived, the server closed, or the time is up.
    QByteArray receive(int lines, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        QByteArray received;
        char chunk[4096];
        pollfd p = {fd, POLLIN, 0};
        while (received.count('\n') < lines && ::poll(&p, 1, int(deadline.remainingTime())) > 0) {
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            received.append(chunk, int(got));
        }
        return received;
    }
    int fd;
};

// What the kernel counts as the process's resident memory.
qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    status.open(QIODevice::ReadOnly);
    const QByteArray text = status.readAll();
    return text.mid(text.indexOf("VmRSS:") + 6).trimmed().split(' ').value(0).toLongLong();
}

} // namespace

class TestSimServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString scenario(const QByteArray& json)
    {
        QFile file(m_dir.filePath("scenario.json"));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(json);
        return file.fileName();
    }

private slots:
    void init()
    {
        QDir(m_dir.path()).rmdir("scenario.state.json");
        QFile::remove(m_dir.filePath("scenario.state.json"));
        QFile::remove(m_dir.filePath("fifo"));
        QDir(qEnvironmentVariable("XDG_STATE_HOME") + "/roomcal").removeRecursively();
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
    // the file, the key and the reason. "beside" is what lies next to the scenario's state; no
    // JSON runs the bundled "default", whose state lies in the user's state folder.
    void refusedAtStart_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("beside");
        QTest::addColumn<QString>("expected");
        const QByteArray plain = "{\"extends\": \"default\"}", base = "{\"extends\": \"default\", ";
        const QByteArray cameras = "\"cameras\": [" + QByteArray("{},").repeated(1000).chopped(1);
        const struct
        {
            const char* name;
            QByteArray json;
            const char* beside;
            const char* expected; // after "scenario."
        } rows[] = {
            {"unknown configuration", base + "\"activeConfiguration\": \"nowhere\"}", "",
             "json: activeConfiguration: no configuration has the id nowhere"},
            {"number for a list", base + "\"cameras\": 5}", "", "json: cameras: expected a list"},
            {"list for an object", base + "\"roomAdjustment\": [1, 2]}", "",
             "json: roomAdjustment: expected an object"},
            {"key twice", base + "\"run\": {\"stepPause\": 1, \"stepPause\": 2}}", "",
             "json: run.stepPause: key given twice"},
            {"endless duration", base + "\"roomcal\": {\"duration\": 1e308}}", "",
             "json: roomcal.duration: expected from 0 to 300 seconds"},
            {"too many cameras", base + cameras + "]}", "", "json: cameras: more than 999 entries"},
            {"extends a FIFO", "{\"extends\": \"fifo\"}", "fifo",
             "json: extends: %1/fifo: not a regular file"},
            {"extends a device", "{\"extends\": \"/dev/zero\"}", "",
             "json: extends: /dev/zero: not a regular file"},
            {"truncated state", plain, "{\"configurations\": [",
             "state.json: not a JSON object (unterminated array at offset 20)"},
            {"state is a folder", plain, "folder", "state.json: is a folder"},
            {"second server", plain, "server", "state.json: in use by morvek-sim (process"},
            {"bundled, state is a folder", "", "folder", "state.json: is a folder"},
            {"bundled, second server", "", "server", "state.json: in use by morvek-sim (process"},
        };
        for (const auto& row : rows)
            QTest::newRow(row.name) << row.json << row.beside << row.expected;
    }

    void refusedAtStart()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, beside);
        QFETCH(QString, expected);
        const QString bundledState =
            qEnvironmentVariable("XDG_STATE_HOME") + "/roomcal/scenarios/default.state.json";
        const QString path = json.isEmpty() ? "default" : scenario(json),
                      state = json.isEmpty() ? bundledState : m_dir.filePath("scenario.state.json");
        std::unique_ptr<SimServer> first;
        if (beside == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(m_dir.filePath("fifo")).constData(), 0600), 0);
        else if (beside == "folder")
            QVERIFY(QDir().mkpath(state));
        else if (beside == "server")
            QVERIFY((first = std::make_unique<SimServer>(path, QStringList()))->port() != 0);
        else if (!beside.isEmpty()) {
            QFile file(state);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(beside.toLatin1()) > 0);
        }
        QProcess server;
        server.start(qEnvironmentVariable("MORVEK_SIM"), {QStringLiteral("--scenario"), path});
        QVERIFY2(server.waitForFinished(5000), "the server did not refuse to start");
        const QString error = QString::fromLocal8Bit(server.readAllStandardError());
        QVERIFY2(error.contains((json.isEmpty() ? state.chopped(10) : "scenario.") +
                                expected.replace("%1", m_dir.path())),
                 qPrintable(error));
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
            << QStringList() << "" << QByteArray("morvek2 get status active\n").repeated(200)
            << true << QByteArray("morvek2 set status active none\n").repeated(200);
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
        SimServer server(scenario("{\"extends\": \"default\"}"), options);
        QVERIFY(server.port() != 0);
        Client held(server.port());
        if (setup == "state folder")
            QVERIFY(QDir(m_dir.path()).mkdir("scenario.state.json"));
        if (setup == "hold one")
            QVERIFY(held.offer("morvek2 get status active\n") > 0 && held.receive(1, 5000) != "");
        Client client(server.port());
        QCOMPARE(client.offer(request), qint64(request.size()));
        if (halfClose)
            ::shutdown(client.fd, SHUT_WR);
        QCOMPARE(client.receive(expected.count('\n') + 1, 5000),
                 expected.replace("%1", QFile::encodeName(m_dir.path())));
        QVERIFY(server.stop());
    }

    // A client that sends without ever reading must neither grow the server nor slow the others.
    void nonReadingClientLeavesOthersServed()
    {
        SimServer server(scenario("{\"extends\": \"default\"}"), {});
        QVERIFY(server.port() != 0);
        Client flood(server.port()), good(server.port());
        const qint64 before = residentKb(server.processId());
        const QByteArray requests = QByteArray("morvek2 get camera camera c01\n").repeated(4000);
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
        const qint64 growth = residentKb(server.processId()) - before;
        qInfo("good client: p50 %lld us, p99 %lld us; server grew by %lld kB",
              latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100], growth);
        QCOMPARE(timeouts, 0);
        QVERIFY2(growth < 32 * 1024, "the server buffers what a non-reading client is sent");
    }
};

ROOMCAL_TEST_MAIN(TestSimServer)
#include "tst_simserver.moc"
