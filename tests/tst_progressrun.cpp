#include "kit/FakeIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "progress/CalibrationProgressDlg.h"

#include <QElapsedTimer>
#include <QLCDNumber>
#include <QPushButton>

namespace {

// A controller that walks through a scripted list of activity answers, one per poll; the last
// answer repeats. Everything else comes from the answer table.
struct ScriptedController
{
    FakeIOManager io;
    QStringList activity;
    QString activityParameter = QStringLiteral("status active");
    int polls = 0;

    explicit ScriptedController(const QString& type = QStringLiteral("room"))
    {
        io.answer("cal number_of_steps " + type, "1");
        io.answer("cal step_pause " + type + " s01", "no");
        io.answer("morvek2 cal " + type + " start", "morvek2 ok");
        io.answer("status progress", "0.5");
        io.answer("status step_progress", "1 0.5");
        io.answer("cal step_duration " + type + " s01", "30");
        io.answer("camera number_of_cameras", "1");
        io.answer("morvek2 get status err", "morvek2 status err \"Wand %s not found\" \"x\"");
        io.setHandler(
            [this](const QString& op, const QString& text) -> std::optional<FakeIOManager::Reply> {
                if (op != QLatin1String("getString") || text != activityParameter)
                    return std::nullopt;
                return FakeIOManager::Reply{0, activity.at(qMin(polls++, activity.size() - 1))};
            });
    }

    // Sent commands without the per-camera ones, whose count depends on timing.
    QStringList commands() const
    {
        QStringList sent = io.callsOf("sendCommand");
        sent.removeAll("morvek2 get camera camera c01");
        sent.removeAll("morvek2 get status camera_progress c01");
        return sent;
    }
};

BackendVersions version(int minor)
{
    BackendVersions v;
    v.versionMajor = 1;
    v.versionMinor = minor;
    return v;
}

void verifyDriven(const ModalDriver& driver)
{
    QVERIFY2(driver.done() && driver.errors().isEmpty(),
             qPrintable(driver.errors().join(QLatin1Char('\n'))));
}

// Once a run is over nothing may poll the controller any more.
void verifyQuietAfterRun(const FakeIOManager& io)
{
    const int calls = io.calls.size();
    QTest::qWait(250);
    QCOMPARE(io.calls.size(), calls);
}

} // namespace

class TestProgressRun : public QObject
{
    Q_OBJECT

private slots:
    void wholeRunExchanges();
    void runEnds_data();
    void runEnds();
    void countdownBeforeStart_data();
    void countdownBeforeStart();
    void reflexScanCannotBeInterrupted();
    void stepwiseRun_data();
    void stepwiseRun();
};

void TestProgressRun::wholeRunExchanges()
{
    ScriptedController controller;
    controller.activity = QStringList{"cal", "cal", "cal", "none"};
    BackendVersions v = version(4);
    CalibrationProgressDlg dialog(&controller.io, nullptr, &v, false);
    controller.io.clearCalls();

    QCOMPARE(dialog.run_calibration("room"), 1);
    const QStringList tick = {"getString status active", "getDouble status progress",
                              "getString status step_progress",
                              "getString cal step_duration room s01"};
    QStringList expected = {
        "getString cal type_desc room",      "getInt cal number_of_steps room",
        "getString cal step_pause room s01", "getString status active",
        "sendCommand morvek2 tracking stop", "sendCommand morvek2 cal room start"};
    expected << tick << tick << "getString status active";
    QCOMPARE(controller.io.calls, expected);
    QCOMPARE(dialog.label_remaining_time->text(), QStringLiteral("remaining time: 15 seconds"));
    verifyQuietAfterRun(controller.io);
}

void TestProgressRun::runEnds_data()
{
    QTest::addColumn<QStringList>("activity");
    QTest::addColumn<QString>("action"); // "box", "cancel", "escape" or nothing
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("commands");

    const QString stop = QStringLiteral("morvek2 tracking stop");
    const QString start = QStringLiteral("morvek2 cal room start");
    const QString cancel = QStringLiteral("morvek2 cal room stop");
    const QString err = QStringLiteral("morvek2 get status err");
    QTest::newRow("idle at once") << QStringList{"none"} << "" << 1 << QStringList{start};
    QTest::newRow("idle after polls")
        << QStringList{"cal", "cal", "busy", "none"} << "" << 1 << QStringList{stop, start};
    QTest::newRow("controller error")
        << QStringList{"cal", "cal", "err"} << "box" << 0 << QStringList{stop, start, err};
    QTest::newRow("error before start")
        << QStringList{"err"} << "box" << 0 << QStringList{start, err};
    QTest::newRow("cancel button")
        << QStringList{"cal"} << "cancel" << 0 << QStringList{stop, start, cancel};
    QTest::newRow("escape") << QStringList{"cal"} << "escape" << 0
                            << QStringList{stop, start, cancel};
}

void TestProgressRun::runEnds()
{
    QFETCH(QStringList, activity);
    QFETCH(QString, action);
    QFETCH(int, result);
    QFETCH(QStringList, commands);

    ScriptedController controller;
    controller.activity = activity;
    BackendVersions v = version(11);
    CalibrationProgressDlg dialog(&controller.io, nullptr, &v, false);

    ModalDriver driver;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* boxParent = nullptr;
    if (action == QLatin1String("box"))
        driver.on("QMessageBox", [&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            boxParent = box->parentWidget();
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        });
    else if (action == QLatin1String("cancel"))
        driver.click("CalibrationProgressDialog", "pb_cancel");
    else if (action == QLatin1String("escape"))
        driver.on("CalibrationProgressDialog",
                  [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });

    QCOMPARE(dialog.run_calibration("room"), result);
    verifyDriven(driver);
    if (action == QLatin1String("box")) {
        QCOMPARE(boxParent, &dialog);
        QCOMPARE(title, QStringLiteral("Calibration Error"));
        QCOMPARE(text, QStringLiteral("Wand %s not found"));
        QCOMPARE(icon, QMessageBox::Critical);
    }
    QCOMPARE(controller.commands(), commands);
    QVERIFY(!dialog.isVisible());
    verifyQuietAfterRun(controller.io);
}

void TestProgressRun::countdownBeforeStart_data()
{
    QTest::addColumn<QString>("pause");
    QTest::addColumn<QString>("button"); // empty: let the count run out
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("result");

    QTest::newRow("cancelled") << "yes 3"
                               << "pushButton" << 3 << 0;
    QTest::newRow("start now") << "yes 9"
                               << "pushButton_2" << 9 << 1;
    QTest::newRow("count runs out") << "yes 1"
                                    << "" << 1 << 1;
}

void TestProgressRun::countdownBeforeStart()
{
    QFETCH(QString, pause);
    QFETCH(QString, button);
    QFETCH(int, shown);
    QFETCH(int, result);

    ScriptedController controller;
    controller.activity = QStringList{"none"};
    controller.io.answer("cal step_pause room s01", pause);
    BackendVersions v = version(11);
    CalibrationProgressDlg dialog(&controller.io, nullptr, &v, false);

    ModalDriver driver;
    int displayed = -1;
    driver.on("CountdownDialog", [&](QWidget* w) {
        displayed = w->findChild<QLCDNumber*>("lcdNumber")->intValue();
        if (!button.isEmpty())
            w->findChild<QPushButton*>(button)->click();
    });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(dialog.run_calibration("room"), result);
    verifyDriven(driver);
    QCOMPARE(displayed, shown);
    QVERIFY(!button.isEmpty() || clock.elapsed() >= 900);
    // A cancelled countdown starts nothing: only the three set-up reads reached the controller.
    QCOMPARE(controller.io.calls.size() > 4, result == 1);
    QCOMPARE(controller.commands().contains("morvek2 cal room start"), result == 1);
}

void TestProgressRun::reflexScanCannotBeInterrupted()
{
    ScriptedController controller(QStringLiteral("reflex_scan"));
    controller.activity = QStringList{"cal"};
    BackendVersions v = version(11);
    CalibrationProgressDlg dialog(&controller.io, nullptr, &v, false);

    bool stayedOpen = false;
    ModalDriver driver;
    driver.on("CalibrationProgressDialog", [&](QWidget* w) {
        QTest::keyClick(w, Qt::Key_Escape);
        w->close();
        dialog.reject();
        stayedOpen = QApplication::activeModalWidget() == w;
        controller.activity = QStringList{"none"};
        controller.polls = 0;
    });
    QCOMPARE(dialog.run_calibration("reflex_scan"), 1);
    verifyDriven(driver);
    QVERIFY(stayedOpen);
    QVERIFY(dialog.pb_cancel->isHidden());
    QCOMPARE(dialog.windowFlags() & (Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
             Qt::CustomizeWindowHint);
    QVERIFY(!controller.commands().contains("morvek2 cal reflex_scan stop"));

    // A later run of another type can be cancelled again.
    controller.io.answer("cal number_of_steps room", "1");
    controller.io.answer("morvek2 cal room start", "morvek2 ok");
    QCOMPARE(dialog.run_calibration("room"), 1);
    QVERIFY(!dialog.pb_cancel->isHidden());
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);
}

void TestProgressRun::stepwiseRun_data()
{
    QTest::addColumn<QStringList>("activity");
    QTest::addColumn<QStringList>("buttons"); // one per countdown
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("afterStart");

    QTest::newRow("pause between steps")
        << QStringList{"cal 1", "pause 1", "cal 2", "none"}
        << QStringList{"pushButton_2", "pushButton_2"} << 1 << QStringList{};
    QTest::newRow("error restarts tracking once")
        << QStringList{"cal 2", "err"} << QStringList{"pushButton_2"} << 0
        << QStringList{"morvek2 get status err", "morvek2 tracking start", "morvek2 tracking stop"};
}

void TestProgressRun::stepwiseRun()
{
    QFETCH(QStringList, activity);
    QFETCH(QStringList, buttons);
    QFETCH(int, result);
    QFETCH(QStringList, afterStart);

    ScriptedController controller;
    controller.activityParameter = QStringLiteral("status step_active");
    controller.activity = activity;
    controller.io.answer("status active", "cal");
    controller.io.answer("status progress", "0.75");
    controller.io.answer("cal number_of_steps room", "2");
    controller.io.answer("morvek2 get cal step_pause room s01", "morvek2 cal x room s01 p yes 2");
    controller.io.answer("morvek2 get cal step_pause room s02", "morvek2 cal x room s02 p yes 0");
    BackendVersions v = version(4);
    CalibrationProgressDlg dialog(&controller.io, nullptr, &v, true);

    ModalDriver driver(8000);
    QList<int> displayed;
    for (const QString& button : buttons)
        driver.on("CountdownDialog", [&displayed, button](QWidget* w) {
            displayed << w->findChild<QLCDNumber*>("lcdNumber")->intValue();
            w->findChild<QPushButton*>(button)->click();
        });
    if (!afterStart.isEmpty())
        driver.answer(QMessageBox::Ok);

    QCOMPARE(dialog.run_calibration("room"), result);
    verifyDriven(driver);
    // Step 1 pauses for its own length; a pause given as 0 means the default 5 seconds.
    QCOMPARE(displayed, (QList<int>{2, 5}).mid(0, buttons.size()));
    QCOMPARE(
        controller.commands(),
        QStringList({"morvek2 get cal step_pause room s01", "morvek2 get cal step_pause room s02",
                     "morvek2 tracking stop", "morvek2 cal room start"}) +
            afterStart);
    QCOMPARE(dialog.progressBar_overall->value(), 75);
    QVERIFY(dialog.label_info->text().endsWith(QLatin1String(" is a 2 step calibration.")));
    verifyQuietAfterRun(controller.io);
}

ROOMCAL_TEST_MAIN(TestProgressRun)
#include "tst_progressrun.moc"
