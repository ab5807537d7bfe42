// The module against a controller that fails it: one that dies in the middle of a calibration
// or a transfer, and servers that answer late, answer nonsense or do not answer at all. The
// operator must always get the dialog back within a bounded time, with the documented
// fallbacks, and no file may be left damaged.
#include "BadController.h"
#include "E2eHelpers.h"
#include "HostFixture.h"
#include "SimServer.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

using namespace E2e;

namespace {
// Short, so that a controller that never answers costs little per read.
constexpr int FaultTimeoutMs = 150;
constexpr int StepTimeoutMs = 20000;
const QString LastCalibration = QStringLiteral("date and time of the last room calibration: ");

// What the operator sees of the controller's state once the dialog is up.
struct Shown
{
    double duration = -1.0;
    double wandLength = -1.0;
    bool calibrateEnabled = true;
    QString lastCalibration;
    QString coordinateType;
};

Shown shownIn(QWidget* dialog)
{
    Shown s;
    s.duration =
        dialog->findChild<QDoubleSpinBox*>(QStringLiteral("doubleSpinBox_duration"))->value();
    s.wandLength = dialog->findChild<QDoubleSpinBox*>(QStringLiteral("dsb_wand"))->value();
    s.calibrateEnabled =
        dialog->findChild<QAbstractButton*>(QStringLiteral("pb_calibrate"))->isEnabled();
    s.lastCalibration = dialog->findChild<QLabel*>(QStringLiteral("label_lastRoomcal"))->text();
    s.coordinateType =
        dialog->findChild<QComboBox*>(QStringLiteral("cb_coordinateType"))->currentText();
    return s;
}

// Opens the dialog, notes what it shows and leaves it with Exit; returns the milliseconds that
// took, or -1 when the dialog did not come up.
qint64 openAndLeave(HostFixture& host, Shown* shown, QStringList* driverErrors)
{
    ModalDriver driver(StepTimeoutMs);
    driver.on(QStringLiteral("roomCalibration"), [shown](QWidget* dialog) {
        *shown = shownIn(dialog);
        dialog->findChild<QAbstractButton*>(QStringLiteral("pb_exit"))->click();
    });
    QElapsedTimer clock;
    clock.start();
    host.openDialog();
    *driverErrors = driver.errors();
    return driver.done() && driver.errors().isEmpty() ? clock.elapsed() : -1;
}

BackendVersions defaultVersions()
{
    return BackendVersions{1, 23, 0, QStringLiteral("TESSERA2")};
}
} // namespace

class E2eFaultTest : public QObject
{
    Q_OBJECT

private slots:
    void openingFallsBackAndRecovers_data();
    void openingFallsBackAndRecovers();
    void controllerDiesDuringCalibration();
    void controllerDiesDuringTransfer();
};

void E2eFaultTest::openingFallsBackAndRecovers_data()
{
    QTest::addColumn<int>("mode"); // -1: nothing listens on the port
    QTest::addColumn<QString>("lastDate");
    QTest::newRow("refused") << -1 << QStringLiteral("-");
    QTest::newRow("silent") << int(BadController::Mode::Silent) << QStringLiteral("-");
    QTest::newRow("slower than the timeout")
        << int(BadController::Mode::Slow) << QStringLiteral("-");
    QTest::newRow("garbage lines") << int(BadController::Mode::Garbage) << QStringLiteral("-");
    QTest::newRow("oversized lines") << int(BadController::Mode::Oversized) << QStringLiteral("-");
    QTest::newRow("closes at once") << int(BadController::Mode::CloseAtOnce) << QStringLiteral("-");
    // Well-formed answers whose text would wreck a printf: shown as they are, nothing else.
    QTest::newRow("printf directives")
        << int(BadController::Mode::FormatText) << QStringLiteral("%s%n%s%n%p");
}

void E2eFaultTest::openingFallsBackAndRecovers()
{
    QFETCH(int, mode);
    QFETCH(QString, lastDate);
    BadController bad;
    const quint16 port = bad.listen();
    QVERIFY(port != 0);
    if (mode < 0)
        bad.close();
    else
        bad.setMode(BadController::Mode(mode));

    HostFixture host(port, defaultVersions(), FaultTimeoutMs);
    QString error;
    QVERIFY2(host.attach(&error), qPrintable(error));
    Shown shown;
    QStringList errors;
    const qint64 elapsed = openAndLeave(host, &shown, &errors);
    QVERIFY2(elapsed >= 0, qPrintable(errors.join('\n')));
    // About fifteen reads at 150 ms each when every one of them times out.
    QVERIFY2(elapsed < 8000, qPrintable(QString::number(elapsed)));
    QCOMPARE(shown.duration, 30.0);
    QCOMPARE(shown.wandLength, 0.0);
    QVERIFY(!shown.calibrateEnabled);
    QCOMPARE(shown.lastCalibration, LastCalibration + lastDate);
    const QStringList log = host.moduleLog();
    QVERIFY2(
        log.contains(QStringLiteral("Error: Cannot get information room calibration duration")),
        qPrintable(log.join('\n')));
    QVERIFY2(log.contains(
                 QStringLiteral("Error: Cannot get information room calibration coordinate types")),
             qPrintable(log.join('\n')));
    QVERIFY(!QFile::exists(host.recordPath()));

    // The same host, once the controller behaves: no late answer from before may be taken for
    // an answer now, and the real state shows.
    if (mode < 0)
        QCOMPARE(bad.listen(port), port);
    bad.setMode(BadController::Mode::Healthy);
    QVERIFY2(openAndLeave(host, &shown, &errors) >= 0, qPrintable(errors.join('\n')));
    QCOMPARE(shown.duration, 30.0);
    QCOMPARE(shown.wandLength, 410.0);
    QVERIFY(shown.calibrateEnabled);
    QCOMPARE(shown.lastCalibration, LastCalibration + QStringLiteral("2026-12-05T10:20:30"));
    QCOMPARE(shown.coordinateType, QStringLiteral("Normal"));
}

void E2eFaultTest::controllerDiesDuringCalibration()
{
    SimServer sim;
    QString error;
    QVERIFY2(sim.useScenarioJson(R"({ "extends": "default", "run": { "stepPause": 0 } })", &error),
             qPrintable(error));
    QVERIFY2(sim.start(&error), qPrintable(error));
    const QList<QByteArray> before = sim.rooms(6);
    const QByteArray dateBefore = sim.value("roomcal last_date");
    // A change of the adjustment makes the controller write its state file before the run.
    QCOMPARE(sim.ask("morvek2 set tracking extra_scaling 1"), QByteArray("morvek2 ok"));
    QVERIFY(QFile::exists(sim.statePath()));

    HostFixture host(sim.port(), sim.versions());
    QVERIFY2(host.attach(&error), qPrintable(error));
    // An earlier calibration's record must come through untouched.
    const QByteArray earlier = "# Roomcalibration  created Mon Jan 5 09:00:00 2026\n";
    {
        QFile record(host.recordPath());
        QVERIFY(record.open(QIODevice::WriteOnly) && record.write(earlier) == earlier.size());
    }
    int requestsAtKill = -1;
    ModalDriver driver(StepTimeoutMs);
    driver.click(QStringLiteral("roomCalibration"), QStringLiteral("pb_calibrate"))
        .on(QStringLiteral("CalibrationProgressDialog"),
            [&](QWidget* progress) {
                // A few polls against the live controller, a few against the dead one, then
                // the operator gives up.
                QTimer::singleShot(600, progress, [&] {
                    sim.kill();
                    requestsAtKill = host.transport().requests.size();
                });
                QTimer::singleShot(1800, progress, [progress] {
                    progress->findChild<QAbstractButton*>(QStringLiteral("pb_cancel"))->click();
                });
            })
        // Back in the room calibration dialog, which stays open after a cancelled run.
        .click(QStringLiteral("roomCalibration"), QStringLiteral("pb_exit"));
    QElapsedTimer clock;
    clock.start();
    host.openDialog();
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join('\n')));
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(requestsAtKill > 0);
    const QList<QByteArray> afterKill = host.transport().requests.mid(requestsAtKill);
    QVERIFY2(afterKill.count("morvek2 get status active") >= 2, afterKill.join('\n').constData());
    QVERIFY(afterKill.contains("morvek2 cal room stop"));
    QCOMPARE(host.moduleLog(), QStringList({QStringLiteral("calibration started"),
                                            QStringLiteral("calibration canceled")}));
    QCOMPARE(host.record(), earlier);
    bool parses = false;
    readState(sim.statePath(), &parses);
    QVERIFY(parses);

    // Nothing of the broken run was adopted, and the host finds the restarted controller on
    // its own.
    QVERIFY2(sim.restart(&error), qPrintable(error));
    QCOMPARE(sim.rooms(6), before);
    QCOMPARE(sim.value("roomcal last_date"), dateBefore);
    Shown shown;
    QStringList errors;
    QVERIFY2(openAndLeave(host, &shown, &errors) >= 0, qPrintable(errors.join('\n')));
    QCOMPARE(shown.wandLength, 410.0);
    QVERIFY(shown.calibrateEnabled);
}

void E2eFaultTest::controllerDiesDuringTransfer()
{
    SimServer sim;
    QString error;
    QVERIFY2(sim.useScenarioFile(QStringLiteral("default"), &error), qPrintable(error));
    QVERIFY2(sim.start(&error), qPrintable(error));
    const QList<QByteArray> backup = sim.rooms(6, "backup_2026");
    const QList<QByteArray> demo = sim.rooms(6, "demo_area");
    const QList<QByteArray> active = sim.rooms(6, "lab_main");
    QVERIFY(backup.mid(0, 2) != active.mid(0, 2));

    HostFixture host(sim.port(), sim.versions());
    QVERIFY2(host.attach(&error), qPrintable(error));
    // Targets go in the order of their descriptions: "Backup 2026" first. The controller dies
    // just before the third camera of it is written.
    int roomWrites = 0;
    host.transport().beforeRequest = [&](const QByteArray& request) {
        if (request.startsWith("morvek2 set tracking room ") && ++roomWrites == 3)
            sim.kill();
    };
    QString summary;
    ModalDriver driver(StepTimeoutMs);
    driver.click(QStringLiteral("roomCalibration"), QStringLiteral("pushButton_advanced"))
        .on(QStringLiteral("RoomcalPortDlgClass"),
            [](QWidget* dialog) {
                selectTargets(dialog, {QStringLiteral("demo_area"), QStringLiteral("backup_2026")});
                dialog->findChild<QAbstractButton*>(QStringLiteral("pushButton_apply"))->click();
            })
        .on(QStringLiteral("transferConfirmation"),
            [](QWidget* box) { qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click(); })
        .answer(QMessageBox::Ok, nullptr, &summary)
        .click(QStringLiteral("RoomcalPortDlgClass"), QStringLiteral("pushButton_exit"))
        .click(QStringLiteral("roomCalibration"), QStringLiteral("pb_exit"));
    QElapsedTimer clock;
    clock.start();
    host.openDialog();
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join('\n')));
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(summary, QStringLiteral("Error(s) occoured during transferring the room "
                                     "calibration.\n\nPlease check your active configuration."));
    // Camera 3 of the first target, the switch to the second target, the switch back.
    QCOMPARE(host.moduleLog(),
             QStringList({QStringLiteral("Error: Unable to set calibration of camera c03"),
                          QStringLiteral("Error: Cannot change back to active configuration"),
                          QStringLiteral("Error: Cannot change back to active configuration")}));
    bool parses = false;
    readState(sim.statePath(), &parses);
    QVERIFY(parses);

    // The controller keeps what it had taken: the first target is active, with the two cameras
    // written before the failure; the second target was never reached.
    QVERIFY2(sim.restart(&error), qPrintable(error));
    QCOMPARE(sim.value("config active_config"), QByteArray("backup_2026"));
    QList<QByteArray> partly = backup;
    for (int i = 0; i < 2; ++i)
        partly[i] = active.at(i);
    QCOMPARE(sim.rooms(6), partly);
    QCOMPARE(sim.rooms(6, "demo_area"), demo);
    QCOMPARE(sim.rooms(6, "lab_main"), active);
}

ROOMCAL_TEST_MAIN(E2eFaultTest)
#include "tst_e2e_faults.moc"
