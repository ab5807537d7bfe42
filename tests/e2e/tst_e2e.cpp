// The plug-in in a host over a real socket to the simulator's server: accepted calibrations as the
// restarted controller holds them and restored from the record, and controllers that are gone,
// stall or die mid-run or mid-restore, which must leave a dialog in bounded time, whole files and
// the previous calibration.
#include "HostFixture.h"
#include "SimServer.h"
#include "history/RecordParser.h"
#include "history/RestoreTransaction.h"
#include "kit/TestMain.h"

#include <QtWidgets>

namespace {
constexpr int StepTimeoutMs = 20000;
// A short run: no pause before the start, one second of measuring, a brief calculation.
const QString ShortRun = R"({"extends": "default",
                             "roomcal": {"duration": 1, "fixedCameraMinNumber": 3},
                             "run": {"stepPause": 0, "calculationMs": 300}})";

// Opens the dialog and leaves it with Esc; returns the fields the operator saw (or why the dialog
// did not come up in time), and the times until it showed and of leaving it.
QString openAndLeave(HostFixture& host, qint64* openMs = nullptr, qint64* leaveMs = nullptr)
{
    QStringList shown;
    QElapsedTimer clock;
    qint64 opened = 0;
    ModalDriver driver(StepTimeoutMs);
    driver.on("roomCalibration", [&](QWidget* dialog) {
        opened = clock.elapsed();
        for (const QString field :
             {"doubleSpinBox_duration.value", "dsb_wand.value", "pb_calibrate.enabled",
              "label_lastRoomcal.text", "cb_coordinateType.currentText"})
            shown << dialog->findChild<QWidget*>(field.section('.', 0, 0))
                         ->property(qPrintable(field.section('.', 1)))
                         .toString();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    clock.start();
    const QString failure = host.run(driver);
    if (openMs && leaveMs) {
        *openMs = opened;
        *leaveMs = clock.elapsed() - opened;
    }
    return failure.isEmpty() ? shown.join(", ") : failure;
}

} // namespace

class E2eTest : public QObject
{
    Q_OBJECT

    // Two accepted calibrations and their record, for the restores.
    std::unique_ptr<SimServer> m_sim;
    CalibrationHistory m_history;
    QStringList m_first, m_second;

private slots:
    // Two accepted calibrations: log, static cameras, a record the parser reads whole; after a
    // restart the controller holds exactly the last block's rooms, a new date, no adjustment.
    void calibrationsAcceptedReachControllerAndRecord()
    {
        m_sim = std::make_unique<SimServer>(ShortRun);
        SimServer& sim = *m_sim;
        HostFixture host(sim.port());
        QCOMPARE(sim.error() + host.attach(), QString());
        const QStringList before = sim.rooms();
        const QByteArray dateBefore = sim.ask("morvek2 get roomcal last_date");
        for (int run = 0; run < 2; ++run) {
            ModalDriver driver(StepTimeoutMs);
            driver.click("roomCalibration", "pb_calibrate")
                .on("CalibrationProgressDialog", [](QWidget*) {})
                .click("RoomCalibrationResultDialog", "pushButton_2");
            QCOMPARE(host.run(driver), QString());
        }
        // The adjustment was reset by the first acceptance already.
        QCOMPARE(host.moduleLog(), QStringList({"calibration started", "room adjustment reset",
                                                "calibration accepted", "calibration started",
                                                "calibration accepted"}));
        QCOMPARE(host.transport().requests.count("morvek2 roomcal accept_new_calibration"), 2);
        QByteArrayList cameras;
        for (int c = 1; c <= 6; ++c)
            cameras << sim.ask("morvek2 get roomcal fixed_camera c0" + QByteArray::number(c));
        QCOMPARE(cameras.join(' '), QByteArray("yes yes no no no no"));
        m_history = RecordParser::parseFile(host.recordPath());
        QCOMPARE(m_history.blocks.size(), 2);
        QVERIFY(m_history.skipped.isEmpty());
        QString error;
        for (QStringList* commands : {&m_first, &m_second})
            QVERIFY(RecordParser::readCommands(
                host.recordPath(), m_history.blocks[commands == &m_second], commands, &error));
        QVERIFY(m_history.blocks[1].cameras.size() == 6 && m_first != m_second);

        QCOMPARE(sim.restart(), QString());
        const QStringList after = sim.rooms();
        QCOMPARE(after, m_second);
        for (int i = 0; i < 6; ++i)
            QVERIFY(after.at(i) != before.at(i));
        const QByteArray date = sim.ask("morvek2 get roomcal last_date");
        const QRegularExpression format("^'\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d'$");
        QVERIFY2(format.match(date).hasMatch() && date != dateBefore, date);
        QCOMPARE(sim.ask("morvek2 get tracking extra_translation") + ", " +
                     sim.ask("morvek2 get tracking extra_scaling"),
                 QByteArray("0 0 0, 1"));
    }

    // Other cameras than the recorded ones are refused before any write; the first calibration
    // survives a restart once restored; a controller dying mid-restore gets it back.
    void restoresFromTheRecord()
    {
        QVERIFY(m_sim && m_history.blocks.size() == 2);
        RecordingTransport transport("127.0.0.1", m_sim->port());
        ControllerIOManager io(&transport, nullptr, nullptr);
        RestoreTransaction restore(&io, nullptr);
        const auto confirm = [](const auto&) { return true; };
        CalibrationBlock moved = m_history.blocks[1];
        std::swap(moved.cameras[0].serial, moved.cameras[1].serial);
        QCOMPARE(restore.restore(moved, m_second, confirm).summary,
                 QString("refused: the cameras differ from calibration 2: c01: recorded 20418, "
                         "now 20417; c02: recorded 20417, now 20418"));
        for (const QByteArray& request : qAsConst(transport.requests))
            QVERIFY2(!request.startsWith("morvek2 set"), request.constData());

        QVERIFY(!restore.verify(m_history.blocks[0], m_first).success);
        RestoreTransaction::Report report = restore.restore(m_history.blocks[0], m_first, confirm);
        QVERIFY2(report.success, qPrintable(report.summary));
        QCOMPARE(m_sim->restart(), QString());
        QCOMPARE(m_sim->rooms(), m_first);
        QVERIFY(restore.verify(m_history.blocks[0], m_first).success);

        // The third camera's write never arrives; the controller is back for the roll-back.
        int writes = 0;
        transport.beforeRequest = [&](const QByteArray& request) {
            if (writes == 3)
                writes = m_sim->restart().isEmpty() ? 4 : 3;
            else if (request.startsWith("morvek2 set tracking room ") && ++writes == 3)
                m_sim->kill();
        };
        report = restore.restore(m_history.blocks[1], m_second, confirm);
        QVERIFY(!report.success && report.changed);
        QVERIFY2(report.summary.contains("the previous calibration is back"),
                 qPrintable(report.summary));
        QCOMPARE(report.cameras.value(2),
                 QString("c03: write failed (refused or no answer), previous calibration back"));
        QCOMPARE(report.cameras.value(3), QString("c04: not written"));
        QCOMPARE(m_sim->restart(), QString());
        QCOMPARE(m_sim->rooms(), m_first);
    }

    void unreachableControllerFallsBackAndRecovers_data()
    {
        // What the operator sees of a refusing or a stopped (silent) server, and that the host
        // finds it again; the channel suite has every way a line can go wrong.
        QTest::addColumn<bool>("silent");
        QTest::newRow("refused") << false;
        QTest::newRow("silent") << true;
    }

    void unreachableControllerFallsBackAndRecovers()
    {
        QFETCH(bool, silent);
        SimServer sim(R"({"extends": "default"})");
        HostFixture host(sim.port());
        QCOMPARE(sim.error() + host.attach(), QString());
        if (silent)
            sim.pause(true);
        else
            sim.stop();
        // The first read waits out the timeout at most; every later one fails at once.
        qint64 openMs = -1, leaveMs = -1;
        QCOMPARE(openAndLeave(host, &openMs, &leaveMs),
                 QString("30, 0, false, date and time of the last room calibration: -, "));
        QVERIFY2(openMs < 1500 && leaveMs < 300,
                 qPrintable(
                     QStringLiteral("open after %1 ms, Esc took %2 ms").arg(openMs).arg(leaveMs)));
        QVERIFY(
            host.moduleLog().contains("Error: Cannot get information room calibration duration"));

        if (silent)
            sim.pause(false);
        else
            QCOMPARE(sim.restart(), QString());
        QTest::qWait(TcpTransport::RetryAfterMs);
        QCOMPARE(openAndLeave(host), QString("30, 410, true, date and time of the last room "
                                             "calibration: 2026-12-05T10:20:30, Normal"));
    }

    void controllerDiesDuringCalibration_data()
    {
        // What the operator does once the controller is gone: cancels the run, or, with the
        // server restarted, meets a result that holds nothing and accepts it all the same.
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancel") << true;
        QTest::newRow("restarted, OK") << false;
    }

    void controllerDiesDuringCalibration()
    {
        QFETCH(bool, cancel);
        SimServer sim(R"({"extends": "default", "run": {"stepPause": 0}})");
        const QStringList before = sim.rooms();
        const QByteArray dateBefore = sim.ask("morvek2 get roomcal last_date");
        // A change of the adjustment makes the controller write its state file before the run;
        // it must load again after the crash.
        QCOMPARE(sim.ask("morvek2 set tracking extra_scaling 2"), QByteArray("ok"));
        HostFixture host(sim.port());
        QCOMPARE(sim.error() + host.attach(), QString());
        // A few polls against the live controller, then it dies; the room calibration dialog
        // stays open after a cancelled run.
        int requestsAtKill = -1;
        QString note, box;
        ModalDriver driver(StepTimeoutMs);
        driver.click("roomCalibration", "pb_calibrate")
            .on("CalibrationProgressDialog", [&](QWidget* progress) {
                QTimer::singleShot(600, progress, [&] {
                    sim.kill();
                    requestsAtKill = host.transport().requests.size();
                    if (!cancel)
                        sim.restart();
                });
                if (cancel)
                    QTimer::singleShot(1800, progress, [progress] {
                        progress->findChild<QAbstractButton*>("pb_cancel")->click();
                    });
            });
        if (cancel)
            driver.click("roomCalibration", "pb_exit");
        else
            driver
                .on("RoomCalibrationResultDialog",
                    [&](QWidget* result) {
                        note = result->findChild<QLabel*>("label_empty_result")->text();
                        result->findChild<QAbstractButton*>("pushButton_2")->click();
                    })
                .answer(QMessageBox::Ok, nullptr, &box);
        QCOMPARE(host.run(driver), QString());
        const QByteArrayList afterKill = host.transport().requests.mid(requestsAtKill);
        QVERIFY2(requestsAtKill > 0 && afterKill.count("morvek2 get status active") >= 1 &&
                     afterKill.contains("morvek2 cal room stop") == cancel,
                 afterKill.join('\n').constData());
        const QString refusal = "morvek2 err 4 \"No new calibration to accept\"";
        QCOMPARE(host.moduleLog(),
                 QStringList("calibration started") +
                     (cancel ? QStringList{"calibration canceled"}
                             : QStringList{"room adjustment reset", "calibration accepted",
                                           "Error: The controller did not adopt the new room "
                                           "calibration, answer: " +
                                               refusal}));
        QCOMPARE(note.contains("no measurement"), !cancel);
        QCOMPARE(box.contains("kept its previous calibration"), !cancel);
        // A block written all the same says that it was not adopted.
        QFile record(host.recordPath());
        QCOMPARE(record.open(QIODevice::ReadOnly), !cancel);
        QVERIFY(cancel || record.readAll().endsWith(
                              "# not adopted by the controller: " + refusal.toLatin1() + "\n"));

        // Nothing of the broken run was adopted, and the host finds the restarted controller.
        QCOMPARE(sim.restart(), QString());
        QCOMPARE(sim.rooms(), before);
        QCOMPARE(sim.ask("morvek2 get roomcal last_date"), dateBefore);
        QCOMPARE(sim.ask("morvek2 get tracking extra_scaling"), QByteArray(cancel ? "2" : "1"));
        QTest::qWait(TcpTransport::RetryAfterMs);
        QVERIFY(openAndLeave(host).startsWith("30, 410, true"));
    }
};

ROOMCAL_TEST_MAIN(E2eTest)
#include "tst_e2e.moc"
