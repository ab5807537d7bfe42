// The simulated controller's scripts on the shipped scenarios, and its server: framing, refusals at
// start, and clients that close early, never read, idle or come one too many.
#include "SimServer.h"
#include "kit/ChildProcess.h"
#include "kit/TestMain.h"
#include "sim/SimController.h"
#include "sim/SimLineReader.h"

#include <QTemporaryDir>
#include <QtTest>
#include <arpa/inet.h>
#include <memory>
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
    // Until `lines` line ends arrived, the server closed, or nothing came for timeoutMs.
    QByteArray receive(int lines, int timeoutMs)
    {
        const timeval limit = {timeoutMs / 1000, timeoutMs % 1000 * 1000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        QByteArray received;
        char chunk[4096];
        ssize_t got = 0;
        while (received.count('\n') < lines && (got = ::recv(fd, chunk, sizeof chunk, 0)) > 0)
            received.append(chunk, int(got));
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

class SimTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir; // outlives the controller, which holds a lock file in it
    std::unique_ptr<SimController> m_sim;
    qint64 m_now = 0;
    QString m_scenario;
    int m_copies = 0;

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
        QDir(qEnvironmentVariable("XDG_STATE_HOME") + "/roomcal").removeRecursively();
    }

    void scripts_data()
    {
        QTest::addColumn<QStringList>("script");
        const QString noResult = "get roomcal wand_residual -> err 4 \"No calibration result\"";
        const QString noAccept =
            "roomcal accept_new_calibration -> err 4 \"No new calibration to accept\"";
        QTest::newRow("reads, writes, refusals") << QStringList{
            "#default | get camera camera c01 -> 0x0b01 20417",
            "get config owner_of_config backup_2026 -> \"M\u00fcller\"",
            "set roomcal duration 45.0 -> ok | get roomcal duration -> 45",
            "set roomcal duration 301 -> err 3 \"Duration must be 0 to 300 seconds\"",
            "get roomcal colour -> err 2 \"Unknown parameter\"",
            "calibrate now -> err 1 \"Unknown command\"",
            "set camera number_of_cameras 3 -> err 6 \"Parameter is read-only\"",
            "set roomcal type wand_no_angle -> ok | set roomcal fixed_camera c02 no -> ok",
            "cal room start -> err 4 \"Too few static cameras\""};
        QTest::newRow("run to the end") << QStringList{
            "#default | set roomcal duration 40.0 -> ok | " + noResult,
            "tracking start -> ok | cal room start -> err 4 \"Stop tracking first\"",
            "tracking stop -> ok | cal room start -> ok | get cal step_duration room s01 -> 40",
            "cal room start -> err 4 \"Calibration already running\"",
            "set config active_config demo_area -> err 4 \"Calibration in progress\"",
            "@10000 | get status active -> cal | get status progress -> 0.25",
            "get status step_progress -> 1 0.25 | get status camera_progress c03 -> 0.35",
            // Each camera fills at its own pace and stops at 1.
            "@30000 | get status camera_progress c03 -> 1 | get status camera_progress c06 -> 0.75",
            // Measured, still calculating.
            "@40500 | get status active -> cal | get status progress -> 1",
            "@42000 | get status active -> none | get status camera_progress c01 -> none",
            "get roomcal wand_residual -> 0.124 0.853 | get roomcal cam_residual c02 -> 0.083 "
            "0.962"};
        // The camera that cannot see the wand lags behind the others.
        QTest::newRow("stall") << QStringList{
            "#stall | cal room start -> ok | @60000 | get status active -> cal",
            "get status progress -> 0.63 | get status camera_progress c04 -> 0.3465"};
        QTest::newRow("failure") << QStringList{
            "#failure | cal room start -> ok | @60000 | get status active -> err",
            "get status progress -> 0.4 | get status err -> 3 \"Wand not visible\"", noResult,
            noAccept, "tracking start -> ok | get status active -> tracking"};
        QTest::newRow("cancel") << QStringList{
            "#default | cal room start -> ok | @20000 | cal room stop -> ok",
            "@60000 | get status active -> none", noResult, noAccept};
        QTest::newRow("refusing controllers") << QStringList{
            "#refuse-start | cal room start -> err 4 \"Cameras are not synchronized\"",
            "#read-only | cal room start -> err 5 \"Configuration is not changeable\"",
            "#old-controller | get roomcal duration -> err 2 \"Unknown parameter\"",
            "#switch-failure",
            "set config active_config demo_area -> err 4 \"Cannot activate configuration\"",
            "get config active_config -> lab_main",
            "#no-room-calibration | get tracking room c02 -> none | get roomcal last_date -> none"};
        // Not accepted, a result is thrown away by the next start; accepted, it replaces the
        // room of the active configuration only.
        QTest::newRow("accept") << QStringList{
            "#default | cal room start -> ok | @40000 | cal room start -> ok",
            noAccept,
            "get tracking room c01 -> 3000.000 0.000 2500.250 0.0000 -30.0000 0.5000",
            "@80000 | roomcal accept_new_calibration -> ok",
            "get tracking room c01 -> 3000.900 -0.400 2500.450 0.0125 -30.0075 0.5050",
            noAccept,
            "set config active_config demo_area -> ok",
            "get tracking room c01 -> 3001.500 -0.500 2500.250 0.0000 -29.9000 0.5000"};
        const QString longId(110, QLatin1Char('x'));
        QTest::newRow("answer too long") << QStringList{
            QStringLiteral("{\"extends\": \"default\", \"configurations\": [{\"id\": \"%1\", "
                           "\"description\": \"%2\"}], \"activeConfiguration\": \"%1\"}")
                .arg(longId, QString(115, QLatin1Char('d'))),
            "get config desc_of_config " + longId + " -> err 7 \"Answer too long\""};
        // Every stored value must read back within one answer line, before and after a run.
        QTest::newRow("ranges") << QStringList{
            "#default | set tracking room c01 1e300 0 0 0 0 0 -> err 3 \"Invalid room "
            "calibration\"",
            "set roomcal angle 1e300 1 1 -> err 3 \"Expected three distances\"",
            "set tracking extra_scaling 1e300 -> err 3 \"Expected a positive scaling factor\"",
            "set tracking room c01 1000000 -1000000 0 360 -360 0 -> ok",
            "cal room start -> ok | @40000 | roomcal accept_new_calibration -> ok",
            "get tracking room c01 -> 1000000.900 -1000000.400 0.200 360.0125 -360.0075 0.0050"};
        QTest::newRow("state survives a restart, configurations") << QStringList{
            "#transfer-mismatch | set tracking extra_scaling 1.0000 -> ok",
            // A read answers the command that writes the room back.
            "~morvek2 set tracking room c01 3001.500 -0.500 2500.250 0.0000 -29.9000 0.5000 -> ok",
            "set config active_config small_room -> ok | set tracking room c04 1 2 3 4 5 6 -> ok",
            "# | get config active_config -> small_room | get tracking extra_scaling -> 1",
            "get tracking room c04 -> 1 2 3 4 5 6 | get camera number_of_cameras -> 4",
            "set tracking room c06 1 2 3 4 5 6 -> err 3 \"No such camera\"",
            "set config active_config lab_main -> ok",
            "get tracking room c01 -> 3001.500 -0.500 2500.250 0.0000 -29.9000 0.5000",
            "set config active_config nowhere -> err 3 \"No such configuration\""};
    }

    // Steps split by " | ": "#name" starts a controller on a fresh copy of a shipped scenario, "#"
    // restarts it from the same file, "{...}" starts one from JSON, "@N" sets the clock to N ms,
    // "request -> answer" sends "morvek2 request" ("~request" as it is) and expects the answer as
    // SimServer::shortAnswer() writes it.
    void scripts()
    {
        QFETCH(QStringList, script);
        QStringList got, expected;
        QString error;
        for (const QString& step :
             script.join(QStringLiteral(" | ")).split(QStringLiteral(" | "))) {
            if (step.startsWith(QLatin1Char('#')) || step.startsWith(QLatin1Char('{'))) {
                if (step.size() > 1 && step.startsWith(QLatin1Char('#'))) {
                    m_scenario = m_dir.filePath(QString::number(++m_copies) + ".json");
                    m_now = 0;
                    QFile::copy(qEnvironmentVariable("ROOMCAL_SOURCE_DIR", ".") +
                                    "/sim/scenarios/" + step.mid(1) + ".json",
                                m_scenario);
                }
                m_sim = std::make_unique<SimController>();
                m_sim->setClock([this] { return m_now; });
                if (step.startsWith(QLatin1Char('{'))
                        ? !m_sim->loadScenarioJson(step.toUtf8(), &error)
                        : !m_sim->loadScenario(m_scenario, &error))
                    got << error;
            } else if (step.startsWith(QLatin1Char('@'))) {
                m_now = step.mid(1).toLongLong();
            } else {
                const QString written = step.section(QStringLiteral(" -> "), 0, 0);
                const QString request =
                    written.startsWith('~') ? written.mid(1) : QStringLiteral("morvek2 ") + written;
                got << written + " -> " +
                           SimServer::shortAnswer(request.toUtf8(),
                                                  m_sim->handle(request).toUtf8());
                expected << step;
            }
        }
        QCOMPARE(got, expected);
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

    // Refused before listening: exit code 2, naming file, key and reason. "beside" lies at the
    // state's place; no JSON runs the bundled "default", with its state in the user's folder.
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
            {"key twice", base + "\"run\": {\"stepPause\": 1, \"stepPause\": 2}}", "",
             "json: run.stepPause: key given twice"},
            {"endless duration", base + "\"roomcal\": {\"duration\": 1e308}}", "",
             "json: roomcal.duration: expected from 0 to 300 seconds"},
            {"too many cameras", base + cameras + "]}", "", "json: cameras: more than 999 entries"},
            {"extends a device", "{\"extends\": \"/dev/zero\"}", "",
             "json: extends: /dev/zero: not a regular file"},
            {"truncated state", plain, "{\"configurations\": [",
             "state.json: not a JSON object (unterminated array at offset 20)"},
            {"second server", plain, "server", "state.json: in use by morvek-sim (process"},
            {"bundled, its state a folder", "", "folder", "state.json: is a folder"},
        };
        for (const auto& row : rows)
            QTest::newRow(row.name) << row.json << row.beside << row.expected;
    }

    void refusedAtStart()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, beside);
        QFETCH(QString, expected);
        const QString path = json.isEmpty() ? "default" : scenario(json);
        const QString state = json.isEmpty() ? qEnvironmentVariable("XDG_STATE_HOME") +
                                                   "/roomcal/scenarios/default.state.json"
                                             : m_dir.filePath("scenario.state.json");
        std::unique_ptr<SimServer> first;
        if (beside == "folder")
            QVERIFY(QDir().mkpath(state));
        else if (beside == "server")
            QVERIFY((first = std::make_unique<SimServer>(path))->port() != 0);
        else if (!beside.isEmpty()) {
            QFile file(state);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(beside.toLatin1()) > 0);
        }
        int code = 0;
        const QString error = TestKit::runProgram(qEnvironmentVariable("MORVEK_SIM"),
                                                  {"--scenario", path}, false, &code);
        QVERIFY2(error.contains((json.isEmpty() ? state.chopped(10) : "scenario.") + expected),
                 qPrintable(error));
        QCOMPARE(code, 2);
    }

    // A client gets exactly the expected text; the server must not grow, and ends normally.
    void exchanges_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("closed straight after the requests")
            << QStringList() << "" << QByteArray("morvek2 get status active\n").repeated(200)
            << QByteArray("morvek2 set status active none\n").repeated(200);
        QTest::newRow("NUL in a request")
            << QStringList() << "" << QByteArray("morvek2 get tracking room c01\0junk\n", 35)
            << QByteArray("morvek2 err 3 \"Request contains a NUL byte\"\n");
        QTest::newRow("change that cannot be saved")
            << QStringList() << "state folder"
            << QByteArray("morvek2 set tracking room c01 1 2 3 4 5 6\n"
                          "morvek2 get tracking room c01\n")
            << QByteArray("morvek2 err 4 \"cannot write %1/scenario.state.json: Is a directory\"\n"
                          "morvek2 set tracking room c01 3000.000 0.000 2500.250 0.0000 -30.0000 "
                          "0.5000\n");
        QTest::newRow("one connection too many")
            << QStringList{"--max-connections", "1"} << "hold one" << QByteArray()
            << QByteArray("morvek2 err 4 \"Too many connections, try again later\"\n");
        QTest::newRow("beside a client that never reads")
            << QStringList() << "flood" << QByteArray("morvek2 get status active\n")
            << QByteArray("morvek2 set status active none\n");
        QTest::newRow("idle") << QStringList{"--idle-timeout", "1"} << "" << QByteArray()
                              << QByteArray("morvek2 err 4 \"Idle for too long, closing the "
                                            "connection\"\n");
    }

    void exchanges()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, setup);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, expected);
        SimServer server(scenario("{\"extends\": \"default\"}"), options);
        QVERIFY(server.port() != 0);
        const qint64 before = residentKb(server.processId());
        Client held(server.port());
        // Sent without ever reading, until the kernel takes no more.
        const QByteArray flood = QByteArray("morvek2 get camera camera c01\n").repeated(4000);
        for (int i = 0; setup == "flood" && i < 2000 && held.offer(flood) > 0; ++i) {
        }
        if (setup == "state folder")
            QVERIFY(QDir(m_dir.path()).mkdir("scenario.state.json"));
        if (setup == "hold one")
            QVERIFY(held.offer("morvek2 get status active\n") > 0 && held.receive(1, 5000) != "");
        Client client(server.port());
        QCOMPARE(client.offer(request), qint64(request.size()));
        if (!request.isEmpty())
            ::shutdown(client.fd, SHUT_WR);
        QCOMPARE(client.receive(expected.count('\n') + 1, 5000),
                 expected.replace("%1", QFile::encodeName(m_dir.path())));
        QVERIFY2(residentKb(server.processId()) - before < 32 * 1024,
                 "the server buffers what a client that never reads is sent");
        QVERIFY(server.stop());
    }
};

ROOMCAL_TEST_MAIN(SimTest)
#include "tst_sim.moc"
