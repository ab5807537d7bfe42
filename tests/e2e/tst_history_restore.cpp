// Putting a recorded calibration back, against the simulator's server process: two calibrations
// accepted through the module, the first restored and found again after a restart; a controller
// that dies in the middle of the restore gets its kept calibration back; other cameras than the
// recorded ones are refused before anything is written.
#include "HostFixture.h"
#include "SimServer.h"
#include "history/RecordParser.h"
#include "history/RestoreTransaction.h"
#include "kit/TestMain.h"

namespace {
const QByteArray Scenario = R"({"extends": "default", "roomcal": {"duration": 1},
                               "run": {"stepPause": 0, "calculationMs": 300}})";

// The room words of each camera's command, as "morvek2 get tracking room" answers them.
QByteArrayList roomsOf(const QStringList& commands)
{
    QByteArrayList rooms;
    for (const QString& command : commands)
        rooms << command.section(' ', 5).toLatin1();
    return rooms;
}
} // namespace

class HistoryRestoreTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimServer> m_sim;
    CalibrationHistory m_history;
    QStringList m_first, m_second;

private slots:
    void initTestCase()
    {
        m_sim = std::make_unique<SimServer>(Scenario);
        QCOMPARE(m_sim->error(), QString());
        HostFixture host(m_sim->port());
        QCOMPARE(host.attach(), QString());
        for (int run = 0; run < 2; ++run) {
            ModalDriver driver(20000);
            driver.click("roomCalibration", "pb_calibrate")
                .on("CalibrationProgressDialog", [](QWidget*) {})
                .click("RoomCalibrationResultDialog", "pushButton_2");
            QCOMPARE(host.run(driver), QString());
        }
        m_history = RecordParser::parseFile(host.recordPath());
        QCOMPARE(m_history.blocks.size(), 2);
        QString error;
        QVERIFY(
            RecordParser::readCommands(host.recordPath(), m_history.blocks[0], &m_first, &error));
        QVERIFY(
            RecordParser::readCommands(host.recordPath(), m_history.blocks[1], &m_second, &error));
        QVERIFY(m_first != m_second);
        QCOMPARE(m_sim->rooms(), roomsOf(m_second));
    }

    void restoresTheFirstCalibration()
    {
        TcpTransport transport("127.0.0.1", m_sim->port());
        ControllerIOManager io(&transport, nullptr, nullptr);
        RestoreTransaction restore(&io, nullptr);
        QVERIFY(!restore.verify(m_history.blocks[0], m_first).success);
        const RestoreTransaction::Report report =
            restore.restore(m_history.blocks[0], m_first, [](const auto&) { return true; });
        QVERIFY2(report.success, qPrintable(report.summary));

        QCOMPARE(m_sim->restart(), QString());
        QCOMPARE(m_sim->rooms(), roomsOf(m_first));
        QVERIFY(restore.verify(m_history.blocks[0], m_first).success);
    }

    void controllerThatDiesMidRestoreGetsTheSnapshotBack()
    {
        const QByteArrayList before = m_sim->rooms();
        // The third camera's write never arrives; the controller is back for the roll-back.
        RecordingTransport transport("127.0.0.1", m_sim->port());
        int writes = 0;
        transport.beforeRequest = [&](const QByteArray& request) {
            if (writes == 3)
                writes = m_sim->restart().isEmpty() ? 4 : 3;
            else if (request.startsWith("morvek2 set tracking room ") && ++writes == 3)
                m_sim->kill();
        };
        ControllerIOManager io(&transport, nullptr, nullptr);
        RestoreTransaction restore(&io, nullptr);
        const RestoreTransaction::Report report =
            restore.restore(m_history.blocks[1], m_second, [](const auto&) { return true; });
        QVERIFY(!report.success && report.changed);
        QVERIFY2(report.summary.contains("the previous calibration is back"),
                 qPrintable(report.summary));
        QCOMPARE(report.cameras.value(2),
                 QString("c03: write failed (refused or no answer), previous calibration back"));
        QCOMPARE(report.cameras.value(3), QString("c04: not written"));

        QCOMPARE(m_sim->restart(), QString());
        QCOMPARE(m_sim->rooms(), before);
    }

    void otherCamerasAreRefusedBeforeAnyWrite()
    {
        CalibrationBlock moved = m_history.blocks[1];
        std::swap(moved.cameras[0].serial, moved.cameras[1].serial);
        RecordingTransport transport("127.0.0.1", m_sim->port());
        ControllerIOManager io(&transport, nullptr, nullptr);
        const RestoreTransaction::Report report =
            RestoreTransaction(&io, nullptr).restore(moved, m_second, [](const auto&) {
                return true;
            });
        QCOMPARE(report.summary, QString("refused: the cameras differ from calibration 2: c01: "
                                         "recorded 20418, now 20417; c02: recorded 20417, now "
                                         "20418"));
        for (const QByteArray& request : qAsConst(transport.requests))
            QVERIFY2(!request.startsWith("morvek2 set"), request.constData());
    }
};

ROOMCAL_TEST_MAIN(HistoryRestoreTest)
#include "tst_history_restore.moc"
