// The plug-in file in a host, over a real socket to the simulator's server process: whole
// workflows checked in what the controller holds after a restart, and controllers that die, stall
// or talk nonsense, which must always leave the operator a dialog in bounded time and whole files.
#include "BadController.h"
#include "HostFixture.h"
#include "SimServer.h"
#include "kit/TestMain.h"

namespace {
constexpr int StepTimeoutMs = 20000;
// A short run: no pause before the start, one second of measuring, a brief calculation.
const QByteArray ShortRun = R"("roomcal": {"duration": 1, "fixedCameraMinNumber": 3},
                               "run": {"stepPause": 0, "calculationMs": 300}})";

// Opens the dialog and leaves it with Exit; returns what the operator saw of the controller's
// state (duration, wand length, whether Calibrate is enabled, last calibration, coordinate type),
// or why the dialog did not come up in time (about fifteen reads that time out).
QString openAndLeave(HostFixture& host)
{
    QStringList shown;
    ModalDriver driver(StepTimeoutMs);
    driver.on("roomCalibration", [&shown](QWidget* dialog) {
        for (const QString field :
             {"doubleSpinBox_duration.value", "dsb_wand.value", "pb_calibrate.enabled",
              "label_lastRoomcal.text", "cb_coordinateType.currentText"})
            shown << dialog->findChild<QWidget*>(field.section('.', 0, 0))
                         ->property(qPrintable(field.section('.', 1)))
                         .toString();
        dialog->findChild<QAbstractButton*>("pb_exit")->click();
    });
    const QString failure = host.run(driver, 8000);
    return failure.isEmpty() ? shown.join(", ") : failure;
}
} // namespace

class E2eTest : public QObject
{
    Q_OBJECT

private slots:
    // An accepted calibration: the module's log and the static cameras (a restart does not keep
    // them); then the restarted controller reports exactly the rooms that the record lists as
    // commands, none as before, a new date and the room adjustment reset.
    void calibrationAcceptedReachesControllerAndRecord()
    {
        SimServer sim("{\"extends\": \"default\", " + ShortRun);
        HostFixture host(sim.port());
        QCOMPARE(sim.error() + host.attach(), QString());
        ModalDriver driver(StepTimeoutMs);
        driver.click("roomCalibration", "pb_calibrate")
            .on("CalibrationProgressDialog", [](QWidget*) {})
            .click("RoomCalibrationResultDialog", "pushButton_2");
        const QByteArrayList before = sim.rooms();
        const QByteArray dateBefore = sim.ask("morvek2 get roomcal last_date");
        QCOMPARE(host.run(driver), QString());
        QCOMPARE(host.moduleLog(), QStringList({"calibration started", "room adjustment reset",
                                                "calibration accepted"}));
        QCOMPARE(host.transport().requests.count("morvek2 roomcal accept_new_calibration"), 1);
        QByteArrayList cameras;
        for (int c = 1; c <= 6; ++c)
            cameras << sim.ask("morvek2 get roomcal fixed_camera c0" + QByteArray::number(c));
        QCOMPARE(cameras.join(' '), QByteArray("yes yes no no no no"));
        // Results of six cameras, a separator, a blank line, six commands and the final line end.
        const QStringList lines = QString::fromLatin1(host.record()).split('\n');
        QCOMPARE(lines.size(), 17);

        QCOMPARE(sim.restart(), QString());
        const QByteArrayList after = sim.rooms();
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(lines.at(10 + i), QString::asprintf("morvek2 set tracking room c%02d %s",
                                                         i + 1, after.at(i).constData()));
            QVERIFY(after.at(i) != before.at(i));
        }
        const QByteArray date = sim.ask("morvek2 get roomcal last_date");
        const QRegularExpression format("^'\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d'$");
        QVERIFY2(format.match(date).hasMatch() && date != dateBefore, date);
        QCOMPARE(sim.ask("morvek2 get tracking extra_translation") + ", " +
                     sim.ask("morvek2 get tracking extra_scaling"),
                 QByteArray("0 0 0, 1"));
    }

    void openingFallsBackAndRecovers_data()
    {
        // The channel suite has every way a line can go wrong; here, what the operator then sees.
        QTest::addColumn<int>("mode"); // -1: nothing listens on the port
        using Mode = BadController::Mode;
        // A silent controller is the stopped server below, whose late answers arrive in the end.
        QTest::newRow("refused") << -1;
        // Well-formed answers whose text would wreck a printf: shown as they are, nothing else.
        QTest::newRow("printf directives") << int(Mode::FormatText);
    }

    void openingFallsBackAndRecovers()
    {
        QFETCH(int, mode);
        const QString lastDate = mode == int(BadController::Mode::FormatText) ? "%s%n%s%n%p" : "-";
        BadController bad;
        const quint16 port = bad.listen();
        bad.listen(mode < 0 ? -1 : port);
        bad.setMode(BadController::Mode(qMax(mode, 0)));
        HostFixture host(port, {1, 23, 0, "TESSERA2"}, 150);
        QCOMPARE(host.attach(), QString());
        QCOMPARE(openAndLeave(host),
                 "30, 0, false, date and time of the last room calibration: " + lastDate + ", ");
        QVERIFY(
            host.moduleLog().contains("Error: Cannot get information room calibration duration"));

        // The same host, once the controller behaves and the host tries again: no late answer
        // from before may be taken for an answer now, and the real state shows.
        QCOMPARE(bad.listen(port), port);
        bad.setMode(BadController::Mode::Healthy);
        QTest::qWait(TcpTransport::RetryAfterMs);
        QCOMPARE(openAndLeave(host), QString("30, 410, true, date and time of the last room "
                                             "calibration: 2026-12-05T10:20:30, Normal"));
    }

    void silentControllerLeavesTheDialogQuick()
    {
        SimServer sim(R"({"extends": "default"})");
        HostFixture host(sim.port());
        QCOMPARE(sim.error() + host.attach(), QString());
        sim.pause(true);
        // The first read waits out the timeout; every later one fails at once.
        QElapsedTimer clock;
        qint64 opened = -1;
        bool fallback = false;
        ModalDriver driver(StepTimeoutMs);
        driver.on("roomCalibration", [&](QWidget* dialog) {
            opened = clock.restart();
            fallback = !dialog->findChild<QWidget*>("pb_calibrate")->isEnabled();
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        clock.start();
        QCOMPARE(host.run(driver), QString());
        const qint64 escaped = clock.elapsed();
        QVERIFY2(fallback && opened < 1500 && escaped < 300,
                 qPrintable(
                     QStringLiteral("open after %1 ms, Esc took %2 ms").arg(opened).arg(escaped)));

        sim.pause(false);
        QTest::qWait(TcpTransport::RetryAfterMs);
        QVERIFY(openAndLeave(host).startsWith("30, 410, true"));
    }

    void controllerDiesDuringCalibration_data()
    {
        // What the operator does once the controller is gone: cancels the run, or, with the
        // server restarted, meets a result that holds nothing and presses Enter or OK.
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("log");
        const QString refusal = "morvek2 err 4 \"No new calibration to accept\"";
        QTest::newRow("cancel") << "cancel" << QStringList{"calibration canceled"};
        QTest::newRow("restarted, Enter") << "enter" << QStringList{"calibration discarded"};
        QTest::newRow("restarted, OK")
            << "ok"
            << QStringList{"room adjustment reset", "calibration accepted",
                           "Error: The controller did not adopt the new room calibration, "
                           "answer: " +
                               refusal};
    }

    void controllerDiesDuringCalibration()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, log);
        SimServer sim(R"({"extends": "default", "run": {"stepPause": 0}})");
        const QByteArrayList before = sim.rooms();
        const QByteArray dateBefore = sim.ask("morvek2 get roomcal last_date");
        // A change of the adjustment makes the controller write its state file before the run;
        // it must load again after the crash.
        QCOMPARE(sim.ask("morvek2 set tracking extra_scaling 2"), QByteArray("morvek2 ok"));
        HostFixture host(sim.port());
        QCOMPARE(sim.error() + host.attach(), QString());
        // An earlier calibration's record must come through untouched.
        const QByteArray earlier = "# Roomcalibration  created Mon Jan 5 09:00:00 2026\n";
        QFile record(host.recordPath());
        QVERIFY(record.open(QIODevice::WriteOnly) && record.write(earlier) == earlier.size());
        record.close();

        // A few polls against the live controller, then it dies; the room calibration dialog
        // stays open after a cancelled or discarded run.
        int requestsAtKill = -1;
        QString note, box;
        ModalDriver driver(StepTimeoutMs);
        driver.click("roomCalibration", "pb_calibrate")
            .on("CalibrationProgressDialog", [&](QWidget* progress) {
                QTimer::singleShot(600, progress, [&] {
                    sim.kill();
                    requestsAtKill = host.transport().requests.size();
                    if (action != "cancel")
                        sim.restart();
                });
                if (action == "cancel")
                    QTimer::singleShot(1800, progress, [progress] {
                        progress->findChild<QAbstractButton*>("pb_cancel")->click();
                    });
            });
        if (action != "cancel")
            driver.on("RoomCalibrationResultDialog", [&](QWidget* result) {
                note = result->findChild<QLabel*>("label_empty_result")->text();
                if (action == "ok")
                    result->findChild<QAbstractButton*>("pushButton_2")->click();
                else
                    QTest::keyClick(result->focusWidget(), Qt::Key_Return);
            });
        if (action == "ok")
            driver.answer(QMessageBox::Ok, nullptr, &box);
        else
            driver.click("roomCalibration", "pb_exit");
        QCOMPARE(host.run(driver), QString());
        const QByteArrayList afterKill = host.transport().requests.mid(requestsAtKill);
        QVERIFY2(requestsAtKill > 0 && afterKill.count("morvek2 get status active") >= 1 &&
                     afterKill.contains("morvek2 cal room stop") == (action == "cancel"),
                 afterKill.join('\n').constData());
        QCOMPARE(host.moduleLog(), QStringList("calibration started") + log);
        QCOMPARE(note.contains("no measurement"), action != "cancel");
        QCOMPARE(box.contains("kept its previous calibration"), action == "ok");
        // A block written all the same says that it was not adopted.
        const QByteArray written = host.record();
        QVERIFY(written.startsWith(earlier));
        QCOMPARE(written.size() > earlier.size(), action == "ok");
        if (action == "ok")
            QVERIFY(written.endsWith("# not adopted by the controller: morvek2 err 4 \"No new "
                                     "calibration to accept\"\n"));

        // Nothing of the broken run was adopted, and the host finds the restarted controller.
        QCOMPARE(sim.restart(), QString());
        QCOMPARE(sim.rooms(), before);
        QCOMPARE(sim.ask("morvek2 get roomcal last_date"), dateBefore);
        QCOMPARE(sim.ask("morvek2 get tracking extra_scaling"),
                 QByteArray(action == "ok" ? "1" : "2"));
        QTest::qWait(TcpTransport::RetryAfterMs);
        QVERIFY(openAndLeave(host).startsWith("30, 410, true"));
    }

    void controllerDiesDuringTransfer()
    {
        SimServer sim(R"({"extends": "default"})");
        const QByteArrayList backup = sim.rooms("backup_2026"), demo = sim.rooms("demo_area"),
                             active = sim.rooms("lab_main");
        HostFixture host(sim.port());
        QCOMPARE(sim.error() + host.attach(), QString());
        // Targets go in the order of their descriptions: "Backup 2026" first. The controller dies
        // just before the third camera of it is written.
        int roomWrites = 0;
        host.transport().beforeRequest = [&](const QByteArray& request) {
            if (request.startsWith("morvek2 set tracking room ") && ++roomWrites == 3)
                sim.kill();
        };
        QString summary;
        ModalDriver driver(StepTimeoutMs);
        HostFixture::transfer(driver, {"demo_area", "backup_2026"}, &summary);
        QCOMPARE(host.run(driver), QString());
        QCOMPARE(summary, QString("Error(s) occoured during transferring the room calibration.\n\n"
                                  "Please check your active configuration."));
        // Camera 3 of the first target, the switch to the second target, the switch back.
        QCOMPARE(host.moduleLog(),
                 QStringList({"Error: Unable to set calibration of camera c03",
                              "Error: Cannot change back to active configuration",
                              "Error: Cannot change back to active configuration"}));

        // The controller keeps what it had taken: the first target is active, with the two
        // cameras written before the failure; the second target was never reached.
        QCOMPARE(sim.restart(), QString());
        QCOMPARE(sim.ask("morvek2 get config active_config"), QByteArray("backup_2026"));
        QCOMPARE(sim.rooms(), active.mid(0, 2) + backup.mid(2));
        QCOMPARE(sim.rooms("demo_area") + sim.rooms("lab_main"), demo + active);
    }
};

ROOMCAL_TEST_MAIN(E2eTest)
#include "tst_e2e.moc"
