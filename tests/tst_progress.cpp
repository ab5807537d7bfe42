#include "kit/FakeIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "progress/CalibrationProgressDlg.h"
#include "progress/CameraStatus.h"
#include "progress/CountdownDlg.h"
#include "progress/RoomCalMessageReceiver.h"

#include <QLCDNumber>
#include <QPushButton>

namespace {

// The reads of one poll while the calibration runs.
const QStringList Tick = {"getString status active", "getDouble status progress",
                          "getString status step_progress", "getString cal step_duration room s01"};

// A refused start sets the dialog up but does not show it, leaving its slots to be driven by hand.
void prepare(CalibrationProgressDlg& dialog, FakeIOManager& io, const QString& type, int cameras)
{
    io.answer("status active", "none");
    io.answer("morvek2 cal " + type + " start", "morvek2 error");
    cameras < 0 ? io.fail("camera number_of_cameras")
                : io.answer("camera number_of_cameras", QString::number(cameras));
    for (int i = 1; i <= qMax(cameras, 0); ++i)
        io.answer(QString::asprintf("morvek2 get camera camera c%02d", i),
                  QString::asprintf("morvek2 set camera camera c%02d 0x0c01 %d", i, 4700 + i));
    QCOMPARE(dialog.run_calibration(type.toLatin1().constData()), 0);
    QCOMPARE(io.logLines.takeLast(),
             "Error: The controller did not start the calibration: morvek2 error");
    io.calls.clear();
}

// Answers for a running calibration: progress, step progress, step duration.
void running(FakeIOManager& io, const QStringList& answers)
{
    io.answer("status active", "cal");
    const QStringList names{"status progress", "status step_progress",
                            "cal step_duration room s01"};
    for (int i = 0; i < 3; ++i)
        io.answer(names[i], answers[i]);
}

// A style sheet cut short would leave the widget unstyled.
bool whole(const QString& style)
{
    return style.count('{') == style.count('}') && style.endsWith('}');
}

} // namespace

class TestProgress : public QObject
{
    Q_OBJECT

private slots:
    void tileGrid_data();
    void tileGrid();
    void oneTick();
    void progressArithmetic_data();
    void progressArithmetic();
    void stallWarning();
    void countdownEndsOnTime();
    void monitorMessages();
    void wholeRun_data();
    void wholeRun();
};

void TestProgress::tileGrid_data()
{
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("cameras"); // -1: the count cannot be read
    QTest::addColumn<int>("columns");
    QTest::addColumn<QSize>("minimum");
    QTest::newRow("none") << 11 << 0 << 0 << QSize(80, 240);
    QTest::newRow("7") << 11 << 7 << 4 << QSize(580, 378);
    QTest::newRow("13") << 11 << 13 << 5 << QSize(680, 447);
    QTest::newRow("6") << 11 << 6 << 3 << QSize(480, 378);
    QTest::newRow("17") << 11 << 17 << 6 << QSize(780, 447);
    QTest::newRow("24") << 11 << 24 << 6 << QSize(780, 516);
    QTest::newRow("30") << 11 << 30 << 6 << QSize(780, 560);
    // 1380 x 930 would not fit the 800 x 600 off-screen screen: the tiles scroll instead.
    QTest::newRow("120") << 11 << 120 << 12 << QSize(784, 560);
    QTest::newRow("unreadable") << 11 << -1 << 0 << QSize(80, 240);
    QTest::newRow("controller 1.10") << 10 << 4 << 0 << QSize(500, 300);
}

void TestProgress::tileGrid()
{
    QFETCH(int, minor);
    QFETCH(int, cameras);
    QFETCH(int, columns);
    QFETCH(QSize, minimum);
    FakeIOManager io;
    BackendVersions v{1, minor, 0, {}};
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    // The second run must replace the first run's tiles, not add to them.
    prepare(dialog, io, "room", 5);
    prepare(dialog, io, "room", cameras);

    const int count = minor < 11 ? 0 : qMax(cameras, 0);
    QCOMPARE(dialog.frame_grid->isHidden(), minor < 11);
    QCOMPARE(dialog.findChildren<CameraStatus*>().size(), count);
    QCOMPARE(int(dialog.tiles().size()), count);
    QCOMPARE(io.logLines, cameras < 0 ? QStringList{"Error: Unable to get the number of cameras"}
                                      : QStringList());
    for (int i = 0; i < count; ++i) {
        CameraStatus* tile = dialog.tiles()[size_t(i)];
        // Each tile names its camera by serial number, not by type.
        QCOMPARE(tile->title() + ' ' + tile->label_tab->text() + ' ' + tile->label_serial->text(),
                 QString::asprintf("c%02d tab 01 #%d", i + 1, 4701 + i));
        QCOMPARE(dialog.gridLayout_cam->itemAtPosition(i / columns, i % columns)->widget(), tile);
    }
    QCOMPARE(dialog.minimumSize(), minimum);
    QCOMPARE(dialog.size(), minimum);
    // Two-digit cameras of the monitor's messages reach their tiles.
    if (count >= 10) {
        io.deliver("Monitor2dTabChanged 1 0,9");
        QCOMPARE(dialog.tiles()[9]->label_tab->text(), "tab 02");
    }
}

void TestProgress::oneTick()
{
    FakeIOManager io;
    BackendVersions v{1, 11, 0, {}};
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 5);
    running(io, {"0.29", "1 0.25", "40"});
    const QStringList fractions{"0.004", "0.29", "1.0", "1.2", "nan"};
    QStringList expected = Tick;
    for (int i = 0; i < 5; ++i) {
        const QString command =
            QString::asprintf("morvek2 get status camera_progress c%02d", i + 1);
        io.answer(command, "morvek2 s camera_progress c0x x " + fractions[i]);
        expected << "sendCommand " + command;
    }
    // Camera progress is fetched on every third tick only.
    dialog.update_cam_status();
    dialog.update_cam_status();
    dialog.update_cal_status();
    dialog.update_cam_status();
    QCOMPARE(io.calls, expected);

    // Green: measured enough, blue: not yet, in a whole style. Tiles truncate a float product, so
    // 0.29 shows 29 where the overall bar, flooring a double one, shows 28.
    const auto bars = [&] {
        QStringList shown;
        for (CameraStatus* tile : dialog.tiles()) {
            const QString style = tile->progressBar->styleSheet();
            shown << QString::number(tile->progressBar->value()) +
                         (style.contains("green") ? "g" : "") +
                         (style.contains("blue") ? "b" : "") +
                         (whole(style) ? "" : " (broken style)");
        }
        return shown;
    };
    QCOMPARE(bars(), QStringList({"0b", "29b", "100g", "0b", "0b"}));

    // The colour follows the next refresh both ways, though it is only applied on a change.
    io.answer("morvek2 get status camera_progress c01", "morvek2 s camera_progress c0x x 1");
    io.answer("morvek2 get status camera_progress c03", "morvek2 s camera_progress c0x x 0.5");
    for (int i = 0; i < 3; ++i)
        dialog.update_cam_status();
    QCOMPARE(bars(), QStringList({"100g", "29b", "50b", "0b", "0b"}));
}

void TestProgress::progressArithmetic_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("bar");
    QTest::addColumn<int>("remaining"); // seconds; -1: the label was left alone
    QTest::addColumn<QString>("info");
    const QString calc = QStringLiteral("calculating...");
    QTest::newRow("0.29") << QStringList{"0.29", "1 0.25", "41"} << 11 << 28 << 30 << "";
    QTest::newRow("0.999") << QStringList{"0.999", "1 0.99", "40"} << 4 << 99 << 0 << "";
    QTest::newRow("done in step 1") << QStringList{"1.0", "1 1.0", "40"} << 11 << 100 << 0 << calc;
    QTest::newRow("done in step 2") << QStringList{"1.0", "2 1.0", "40"} << 11 << 100 << 0 << "";
    QTest::newRow("step overrun") << QStringList{"0.5", "1 1.5", "40"} << 11 << 50 << -20 << "";
    QTest::newRow("version 1.3") << QStringList{"0.1", "1 0.5", "60"} << 3 << 10 << -1 << "";
    QTest::newRow("nan") << QStringList{"nan", "1 nan", "60"} << 11 << 0 << -1 << "";
}

void TestProgress::progressArithmetic()
{
    QFETCH(QStringList, answers);
    QFETCH(int, minor);
    QFETCH(int, bar);
    QFETCH(int, remaining);
    QFETCH(QString, info);
    FakeIOManager io;
    BackendVersions v{1, minor, 0, {}};
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 0);
    running(io, answers);
    io.clearCalls();
    dialog.update_cal_status();
    QCOMPARE(dialog.progressBar_overall->value(), bar);
    QCOMPARE(dialog.label_remaining_time->text(),
             remaining == -1 ? QString() : QString("remaining time: %1 seconds").arg(remaining));
    QCOMPARE(dialog.label_info->text(), info);
    QCOMPARE(io.callsOf("getString").contains("cal step_duration room s01"), minor >= 4);
}

void TestProgress::stallWarning()
{
    FakeIOManager io;
    BackendVersions v{1, 11, 0, {}};
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 0);
    // The operator sees the polls about five times a second and the warning after about 5 s.
    auto* warningTimer = dialog.findChild<QTimer*>("warningTimer");
    QCOMPARE((QList<int>{dialog.findChild<QTimer*>("updateTimer")->interval(),
                         warningTimer->interval()}),
             (QList<int>{200, 5000}));
    warningTimer->setInterval(20);

    running(io, {"0.37", "1 0.3", "40"});
    dialog.update_cal_status();
    QVERIFY(!warningTimer->isActive());
    dialog.update_cal_status();
    QTRY_COMPARE(dialog.label_warning->text(),
                 QStringLiteral("<b><font color=red>Please move the wand in the view scope of ALL "
                                "cameras!</font></b>"));
    QVERIFY(dialog.label_info->isHidden());
    running(io, {"0.38", "1 0.3", "40"});
    dialog.update_cal_status();
    QVERIFY(dialog.label_warning->text().isEmpty());
    QVERIFY(!warningTimer->isActive());

    // Neither once the measurement is complete nor for another type is the warning armed.
    running(io, {"1.0", "1 1.0", "40"});
    dialog.update_cal_status();
    dialog.update_cal_status();
    QVERIFY(!warningTimer->isActive());
    // A controller that stops answering is named in the info line after 5 s of polls; its
    // first answer brings the line back.
    io.fail("status active");
    for (int tick = 0; tick < 25; ++tick)
        dialog.update_cal_status();
    QCOMPARE(dialog.label_info->text(),
             QStringLiteral("<b><font color=red>The controller does not answer</font></b>"));
    QVERIFY(!dialog.label_info->isHidden());
    io.clearFailure("status active");
    dialog.update_cal_status();
    QCOMPARE(dialog.label_info->text(), QStringLiteral("calculating..."));
    prepare(dialog, io, "hand", 0);
    running(io, {"0.2", "1 0.2", "40"});
    for (int tick = 0; tick < 3; ++tick)
        dialog.update_cal_status();
    QVERIFY(!warningTimer->isActive());
}

void TestProgress::countdownEndsOnTime()
{
    CountdownDlg countdown;
    QSignalSpy finished(&countdown, &QDialog::finished);
    countdown.start_countdown(QString(), 3);
    QStringList shown;
    for (int tick = 0; tick < 3; ++tick) {
        shown << QString::number(countdown.findChild<QLCDNumber*>("lcdNumber")->intValue());
        QCOMPARE(finished.count(), 0);
        countdown.updateCountdown();
    }
    QCOMPARE(shown, QStringList({"3", "2", "1"}));
    QCOMPARE(finished.value(0), QVariantList{1});

    // A step-wise run counts down when the controller pauses, not on a status it does not know.
    FakeIOManager io;
    BackendVersions v{1, 23, 0, {}};
    CalibrationProgressDlg stepwise(&io, nullptr, &v, true);
    io.answer("cal number_of_steps room", "2");
    io.answer("morvek2 get cal step_pause room s01", "morvek2 set cal step_pause room s01 yes 1");
    prepare(stepwise, io, "room", 0);
    io.answer("status step_active", "tracking");
    stepwise.update_cal_status();
    QCOMPARE(io.calls, QStringList{"getString status step_active"});
}

void TestProgress::monitorMessages()
{
    FakeIOManager io;
    BackendVersions v{1, 11, 0, {}};
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    QCOMPARE(io.calls, QStringList{"registerReceiver RoomCalModule"});
    prepare(dialog, io, "room", 9);
    // Per tile: its tab, then "*" for the most-active camera's wide border, "-" without, "?" when
    // the box or its title is not in the highlight colour with the window's text colour.
    const QPalette palette = QApplication::palette();
    const QString colours = QString("background-color: %1;color: %2;")
                                .arg(palette.color(QPalette::Active, QPalette::Highlight).name(),
                                     palette.color(QPalette::Active, QPalette::WindowText).name());
    const auto shown = [&] {
        QStringList tiles;
        for (CameraStatus* tile : dialog.tiles())
            tiles << tile->label_tab->text().mid(4) +
                         (tile->styleSheet().count(colours) != 2 || !whole(tile->styleSheet()) ? "?"
                          : tile->styleSheet().contains("border: 4px")                         ? "*"
                                                                       : "-");
        return tiles.join(QLatin1Char(' '));
    };

    io.deliver("Monitor2dTabChanged 2 8,7,6,5,4,3,2,1,0");
    QCOMPARE(shown(), QStringLiteral("05- 04- 04- 03- 03- 02- 02- 01- 01-"));
    // Entries naming no tile are skipped but keep their place; the name need not end in a blank.
    io.deliver("Monitor2dTabChangedX 4 3,x,,-1,9,2,1,0,7");
    io.deliver("Monitor2dMostActive 2,5");
    const QString settled = QStringLiteral("02- 02- 02* 01- 03- 02* 02- 03- 01-");
    QCOMPARE(shown(), settled);
    for (const char* ignored :
         {"Monitor2dTabChanged 0 1,2", "Monitor2dTabChanged x 1,2", "Monitor2dTabChanged",
          "monitor2dtabchanged 1 0,1,2", "Monitor3dTabChanged 1 0,1,2", "monitor2dmostactive 1"})
        io.deliver(ignored);
    QCOMPARE(shown(), settled);
    io.deliver("Monitor2dMostActive 8,02, 3");
    QCOMPARE(shown(), QStringLiteral("02- 02- 02- 01- 03- 02- 02- 03- 01*"));
    io.deliver("Monitor2dMostActive");
    const QString plain = QStringLiteral("02- 02- 02- 01- 03- 02- 02- 03- 01-");
    QCOMPARE(shown(), plain);

    // After detaching, even a host that still holds the receiver reaches nothing.
    auto* receiver = dialog.findChild<RoomCalMessageReceiver*>();
    dialog.detach_receiver();
    QCOMPARE(io.calls, QStringList{"unregisterReceiver RoomCalModule"});
    QVERIFY(io.receivers.isEmpty());
    QCOMPARE(receiver->receiveMessage(nullptr, 0, nullptr), 0);
    receiver->receiveMessage("Monitor2d", 0, "Monitor2dMostActive 0,1");
    receiver->receiveMessage("Monitor2d", 0, "Monitor2dTabChanged 1 0,1,2");
    QCOMPARE(shown(), plain);
}

// Whole runs through the modal loops, each judged by the complete exchange with the controller.
void TestProgress::wholeRun_data()
{
    QTest::addColumn<QString>("activity"); // "status active", one per poll, the last repeats
    QTest::addColumn<int>("pause");        // seconds before the start, 0 for none
    QTest::addColumn<QString>("action");   // a button of the countdown or progress dialog, or "box"
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("after"); // exchanges after the set-up reads

    const QStringList start = {Tick[0], "sendCommand morvek2 tracking stop",
                               "sendCommand morvek2 cal room start"};
    const QStringList idle = {Tick[0], "sendCommand morvek2 cal room start", Tick[0]};
    QTest::newRow("completes") << "cal,cal,cal,none" << 0 << "" << 1
                               << start + Tick + Tick + QStringList{Tick[0]};
    QTest::newRow("controller error")
        << "cal,cal,err" << 0 << "box" << 0
        << start + Tick +
               QStringList{
                   Tick[0], "sendCommand morvek2 get status err",
                   "logMessage Error: The calibration failed on the controller: <b>Wand</b> "
                   "%s not found"};
    // The number of polls before the click depends on timing, so they are left out.
    QTest::newRow("cancelled") << "cal" << 0 << "pb_cancel" << 0
                               << start + QStringList{"sendCommand morvek2 cal room stop"};
    QTest::newRow("countdown cancelled") << "none" << 3 << "pushButton" << 0 << QStringList();
    QTest::newRow("start now") << "none" << 9 << "pushButton_2" << 1 << idle;
    QTest::newRow("count runs out") << "none" << 1 << "" << 1 << idle;
}

void TestProgress::wholeRun()
{
    QFETCH(QString, activity);
    QFETCH(int, pause);
    QFETCH(QString, action);
    QFETCH(int, result);
    QFETCH(QStringList, after);
    FakeIOManager io;
    io.answer("cal step_pause room s01", pause ? QString("yes %1").arg(pause) : "no");
    io.answer("morvek2 cal room start", "morvek2 ok");
    running(io, {"0.5", "1 0.5", "30"});
    // The reason is the first quoted text, even where the answer starts with it.
    io.answer("morvek2 get status err", "\"<b>Wand</b> %s not found\" \"x\"");
    const QStringList script = activity.split(',');
    int polls = 0;
    io.setHandler([&](const QString& op, const QString& text) {
        return op + ' ' + text == QLatin1String("getString status active")
                   ? std::make_optional(
                         FakeIOManager::Reply{0, script.at(qMin(polls++, script.size() - 1))})
                   : std::nullopt;
    });
    BackendVersions v{1, 4, 0, {}};
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    io.clearCalls();

    ModalDriver driver;
    int displayed = -1;
    if (pause)
        driver.on("CountdownDialog", [&](QWidget* w) {
            displayed = w->findChild<QLCDNumber*>("lcdNumber")->intValue();
            QString why;
            if (!action.isEmpty())
                QVERIFY2(ModalDriver::clickButton(w, action, &why), qPrintable(why));
        });
    else if (action == QLatin1String("pb_cancel"))
        driver.click("CalibrationProgressDialog", action);
    // The controller's text shown as sent, in a box wide enough for its title in a bold font.
    QStringList box;
    if (action == QLatin1String("box"))
        driver.on("QMessageBox", [&](QWidget* w) {
            auto* b = qobject_cast<QMessageBox*>(w);
            QFont bold = b->font();
            bold.setBold(true);
            box << b->windowTitle() << b->text()
                << QString::number(
                       b->textFormat() == Qt::PlainText && b->icon() == QMessageBox::Critical &&
                       b->parentWidget() == &dialog &&
                       b->width() > QFontMetrics(bold).horizontalAdvance(b->windowTitle()) + 100);
            b->button(QMessageBox::Ok)->click();
        });
    const qint64 started = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(dialog.run_calibration("room"), result);
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join('\n')));
    QCOMPARE(displayed, pause ? pause : -1);
    QVERIFY(!action.isEmpty() || !pause || QDateTime::currentMSecsSinceEpoch() - started >= 900);
    QCOMPARE(box, action == QLatin1String("box")
                      ? QStringList({"Calibration Error", "<b>Wand</b> %s not found", "1"})
                      : QStringList());
    QStringList calls;
    for (int i = 0; i < io.calls.size(); ++i)
        if (action != QLatin1String("pb_cancel") || i < 6 || !Tick.contains(io.calls[i]))
            calls << io.calls[i];
    QCOMPARE(calls, QStringList({"getString cal type_desc room", "getInt cal number_of_steps room",
                                 "getString cal step_pause room s01"}) +
                        after);
}

ROOMCAL_TEST_MAIN(TestProgress)
#include "tst_progress.moc"
