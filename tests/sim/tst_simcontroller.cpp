#include "kit/TestMain.h"
#include "sim/SimController.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {
QString scenarioDir()
{
    return qEnvironmentVariable("ROOMCAL_SOURCE_DIR", QStringLiteral(".")) + "/sim/scenarios/";
}

// An answer as the scripts write it: the value of a read, "ok", "err N ..." or the whole line.
QString shortAnswer(const QString& request, const QString& answer)
{
    const QString read = "morvek2 set " + request.section(QLatin1Char(' '), 2) + ' ';
    if (request.startsWith(QLatin1String("morvek2 get ")) && answer.startsWith(read))
        return answer.mid(read.size());
    if (answer == QLatin1String("morvek2 ok") || answer.startsWith(QLatin1String("morvek2 err ")))
        return answer.mid(8);
    return answer;
}
} // namespace

class TestSimController : public QObject
{
    Q_OBJECT

    QTemporaryDir m_scratch; // outlives the controller, which holds a lock file in it
    std::unique_ptr<SimController> m_sim;
    qint64 m_now = 0;
    QString m_scenario;
    int m_copies = 0;

    // Script steps, several to a line split by " | ": "#name" starts a controller from a fresh
    // copy of a shipped scenario (it keeps its state beside the file), "#" restarts it from the
    // same file, "{...}" starts one from scenario JSON, "@N" sets the clock to N ms, and
    // "request -> answer" sends "morvek2 request" ("~request" as it is) and expects the answer as
    // shortAnswer() writes it. The exchange is compared at once, naming each request.
    void run(const QStringList& script)
    {
        QStringList got, expected;
        QString error;
        for (const QString& step :
             script.join(QStringLiteral(" | ")).split(QStringLiteral(" | "))) {
            if (step.startsWith(QLatin1Char('#')) || step.startsWith(QLatin1Char('{'))) {
                if (step.size() > 1 && step.startsWith(QLatin1Char('#'))) {
                    m_scenario = m_scratch.filePath(QString::number(++m_copies) + ".json");
                    m_now = 0;
                    QFile::copy(scenarioDir() + step.mid(1) + ".json", m_scenario);
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
                got << written + " -> " + shortAnswer(request, m_sim->handle(request));
                expected << step;
            }
        }
        QCOMPARE(got, expected);
    }

private slots:
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
            "set roomcal angle 384.000 225.000 114.000 -> ok | get roomcal angle -> 384 225 114",
            "get roomcal colour -> err 2 \"Unknown parameter\"",
            "calibrate now -> err 1 \"Unknown command\" | ~hello -> err 1 \"Unknown command\"",
            "set camera number_of_cameras 3 -> err 6 \"Parameter is read-only\"",
            "get camera camera c07 -> err 3 \"No such camera\"",
            "get roomcal type\r\n -> morvek2 set roomcal type wand",
            "set roomcal type wand_no_angle -> ok | set roomcal fixed_camera c02 no -> ok",
            "cal room start -> err 4 \"Too few static cameras\""};
        QTest::newRow("run to the end") << QStringList{
            "#default | set roomcal duration 40.0 -> ok | " + noResult,
            "tracking start -> ok | cal room start -> err 4 \"Stop tracking first\"",
            "tracking stop -> ok | cal room start -> ok | get cal step_duration room s01 -> 40",
            "cal room start -> err 4 \"Calibration already running\"",
            "set roomcal duration 30.0 -> err 4 \"Calibration in progress\"",
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
            "get status progress -> 0.63 | get status camera_progress c04 -> 0.3465", noResult,
            noAccept};
        QTest::newRow("failure") << QStringList{
            "#failure | cal room start -> ok | @60000 | get status active -> err",
            "get status progress -> 0.4 | get status err -> 3 \"Wand not visible\"", noResult,
            noAccept, "tracking start -> ok | get status active -> tracking"};
        QTest::newRow("cancel") << QStringList{
            "#default | cal room start -> ok | @20000 | cal room stop -> ok",
            "@60000 | get status active -> none", noResult, noAccept};
        QTest::newRow("refusing controllers") << QStringList{
            "#refuse-start | cal room start -> err 4 \"Cameras are not synchronized\"",
            "get status active -> none",
            "#read-only | cal room start -> err 5 \"Configuration is not changeable\"",
            "#tracking-unavailable | cal room start -> err 4 \"Tracking is not available\"",
            "#old-controller | get roomcal duration -> err 2 \"Unknown parameter\"",
            "get roomcal wand_length -> 410",
            "#switch-failure",
            "set config active_config demo_area -> err 4 \"Cannot activate configuration\"",
            "get config active_config -> lab_main",
            "#no-room-calibration | get tracking room c02 -> none | get roomcal last_date -> none"};
        // Not accepted, a result is thrown away by the next start; accepted, it replaces the
        // room of the active configuration only.
        const QString remeasured = "3000.900 -0.400 2500.450 0.0125 -30.0075 0.5050";
        QTest::newRow("accept") << QStringList{
            "#default | cal room start -> ok | @40000 | cal room start -> ok",
            noAccept,
            "get tracking room c01 -> 3000.000 0.000 2500.250 0.0000 -30.0000 0.5000",
            "@80000 | get roomcal new c01 -> " + remeasured,
            "roomcal accept_new_calibration -> ok | get tracking room c01 -> " + remeasured,
            noAccept,
            "set config active_config demo_area -> ok | get config desc -> \"Demo area\"",
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
            "set roomcal angle_height -1e300 -> err 3 \"Invalid height\"",
            "set tracking extra_translation 1e300 0 0 -> err 3 \"Expected 3 numbers\"",
            "set tracking extra_scaling 1e300 -> err 3 \"Expected a positive scaling factor\"",
            "set tracking room c01 1000000 -1000000 0 360 -360 0 -> ok",
            "cal room start -> ok | @40000 | roomcal accept_new_calibration -> ok",
            "get tracking room c01 -> 1000000.900 -1000000.400 0.200 360.0125 -360.0075 0.0050"};
        QTest::newRow("state survives a restart") << QStringList{
            "#transfer-mismatch | set tracking room c02 1 2 3 4 5 6 -> ok",
            "set tracking extra_scaling 1.0000 -> ok | set config active_config small_room -> ok",
            "set tracking room c04 7 8 9 10 11 12 -> ok",
            "# | get config active_config -> small_room | get tracking extra_scaling -> 1",
            "get tracking room c04 -> 7 8 9 10 11 12 | set config active_config lab_main -> ok",
            "get tracking room c02 -> 1 2 3 4 5 6",
            // A read answers the command that writes the room back.
            "~morvek2 set tracking room c01 3001.500 -0.500 2500.250 0.0000 -29.9000 0.5000 -> ok",
            "get tracking room c01 -> 3001.500 -0.500 2500.250 0.0000 -29.9000 0.5000"};
        QTest::newRow("configurations")
            << QStringList{"#transfer-mismatch | set config active_config small_room -> ok",
                           "get camera number_of_cameras -> 4 | set tracking room c06 1 2 3 4 5 6 "
                           "-> err 3 \"No such "
                           "camera\"",
                           "set tracking room c01 1 2 3 -> err 3 \"Invalid room calibration\"",
                           "set config active_config nowhere -> err 3 \"No such configuration\"",
                           "get config active_config -> small_room"};
    }

    void scripts()
    {
        QFETCH(QStringList, script);
        run(script);
    }
};

ROOMCAL_TEST_MAIN(TestSimController)
#include "tst_simcontroller.moc"
