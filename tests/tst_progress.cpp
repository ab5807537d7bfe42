#include "kit/FakeIOManager.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "progress/CalibrationProgressDlg.h"
#include "progress/CameraStatus.h"
#include "progress/RoomCalMessageReceiver.h"

namespace {

BackendVersions version(int minor, int patch = 0)
{
    BackendVersions v;
    v.versionMajor = 1;
    v.versionMinor = minor;
    v.versionPatch = patch;
    return v;
}

// A run whose start the controller refuses still sets the dialog up (type, tiles) but returns
// without showing it, which leaves every slot free to be driven by hand.
void prepare(CalibrationProgressDlg& dialog, FakeIOManager& io, const QString& type, int cameras)
{
    io.answer("cal number_of_steps " + type, "1");
    io.answer("cal step_pause " + type + " s01", "no");
    io.answer("status active", "none");
    io.answer("morvek2 cal " + type + " start", "morvek2 error");
    io.answer("camera number_of_cameras", QString::number(cameras));
    QCOMPARE(dialog.run_calibration(type.toLatin1().constData()), 0);
    QVERIFY(!dialog.isVisible());
    const QStringList log = io.logLines;
    io.clearCalls();
    io.logLines = log;
}

void running(FakeIOManager& io, const QString& overall, const QString& stepProgress,
             const QString& duration = QStringLiteral("40"))
{
    io.answer("status active", "cal");
    io.answer("status progress", overall);
    io.answer("status step_progress", stepProgress);
    io.answer("cal step_duration room s01", duration);
}

} // namespace

class TestProgress : public QObject
{
    Q_OBJECT

private slots:
    void tileGrid_data();
    void tileGrid();
    void oneTickReadsAtMostFourValues();
    void progressArithmetic_data();
    void progressArithmetic();
    void failedReadsKeepTheLastFractions();
    void stallWarning();
    void oldControllerHasNoTiles();
    void monitorMessagesNumberAndHighlightTiles();
};

void TestProgress::tileGrid_data()
{
    QTest::addColumn<int>("cameras"); // -1: the count cannot be read
    QTest::addColumn<int>("columns");
    QTest::addColumn<QSize>("minimum");
    QTest::newRow("none") << 0 << 0 << QSize(80, 240);
    QTest::newRow("7") << 7 << 4 << QSize(580, 378);
    QTest::newRow("13") << 13 << 5 << QSize(680, 447);
    QTest::newRow("120") << 120 << 12 << QSize(1380, 930);
    QTest::newRow("unreadable") << -1 << 0 << QSize(80, 240);
}

void TestProgress::tileGrid()
{
    QFETCH(int, cameras);
    QFETCH(int, columns);
    QFETCH(QSize, minimum);

    FakeIOManager io;
    BackendVersions v = version(11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    // The second run must replace the first run's tiles, not add to them.
    prepare(dialog, io, "room", 5);
    if (cameras < 0)
        io.fail("camera number_of_cameras");
    prepare(dialog, io, "room", cameras);

    const int count = qMax(cameras, 0);
    QCOMPARE(dialog.findChildren<CameraStatus*>().size(), count);
    QCOMPARE(int(dialog.tiles().size()), count);
    QCOMPARE(io.logLines, cameras < 0 ? QStringList{"Error: Unable to get the number of cameras"}
                                      : QStringList());
    for (int i = 0; i < count; ++i) {
        CameraStatus* tile = dialog.tiles()[size_t(i)];
        QCOMPARE(tile->title(), QStringLiteral("c%1").arg(i + 1, 2, 10, QLatin1Char('0')));
        QCOMPARE(tile->label_tab->text(), QStringLiteral("tab 01"));
        QCOMPARE(dialog.gridLayout_cam->itemAtPosition(i / columns, i % columns)->widget(), tile);
    }
    QCOMPARE(dialog.minimumSize(), minimum);
    QCOMPARE(dialog.size(), minimum);
}

void TestProgress::oneTickReadsAtMostFourValues()
{
    FakeIOManager io;
    BackendVersions v = version(11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 2);

    running(io, "0.29", "1 0.25");
    io.answer("morvek2 get status camera_progress c01",
              "morvek2 status camera_progress c01 x 0.29");
    dialog.update_cal_status();
    QCOMPARE(io.calls, (QStringList{"getString status active", "getDouble status progress",
                                    "getString status step_progress",
                                    "getString cal step_duration room s01"}));

    // Camera progress is fetched on every third tick only.
    io.clearCalls();
    dialog.update_cam_status();
    dialog.update_cam_status();
    QVERIFY(io.calls.isEmpty());
    dialog.update_cam_status();
    QCOMPARE(io.calls, (QStringList{"sendCommand morvek2 get status camera_progress c01",
                                    "sendCommand morvek2 get status camera_progress c02"}));
    // The same fraction: the overall bar floors a double product, the tile truncates a float one.
    QCOMPARE(dialog.progressBar_overall->value(), 28);
    QCOMPARE(dialog.tiles()[0]->progressBar->value(), 29);

    // Any other activity, or none readable, ends the tick after the first read.
    io.clearCalls();
    io.answer("status active", "pause 1");
    dialog.update_cal_status();
    io.fail("status active");
    dialog.update_cal_status();
    QCOMPARE(io.calls, (QStringList{"getString status active", "getString status active"}));
}

void TestProgress::progressArithmetic_data()
{
    QTest::addColumn<QStringList>("answers"); // progress, step progress, step duration
    QTest::addColumn<int>("minor");           // controller 1.minor
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("remaining"); // seconds; empty: label untouched
    QTest::addColumn<QString>("info");

    const QString calc = QStringLiteral("calculating...");
    QTest::newRow("0.29") << QStringList{"0.29", "1 0.25", "41"} << 11 << 28 << "30"
                          << "";
    QTest::newRow("0.999") << QStringList{"0.999", "1 0.99", "40"} << 4 << 99 << "0"
                           << "";
    QTest::newRow("done in step 1")
        << QStringList{"1.0", "1 1.0", "40"} << 11 << 100 << "0" << calc;
    QTest::newRow("done in step 2") << QStringList{"1.0", "2 1.0", "40"} << 11 << 100 << "0"
                                    << "";
    QTest::newRow("bad duration") << QStringList{"0.1", "1 0.5", "soon"} << 11 << 10 << ""
                                  << "";
    QTest::newRow("version 1.3") << QStringList{"0.1", "1 0.5", "60"} << 3 << 10 << ""
                                 << "";
    QTest::newRow("nan") << QStringList{"nan", "1 nan", "60"} << 11 << 0 << ""
                         << "";
}

void TestProgress::progressArithmetic()
{
    QFETCH(QStringList, answers);
    QFETCH(int, minor);
    QFETCH(int, bar);
    QFETCH(QString, remaining);
    QFETCH(QString, info);

    FakeIOManager io;
    BackendVersions v = version(minor);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 0);
    running(io, answers[0], answers[1], answers[2]);
    dialog.update_cal_status();
    QCOMPARE(dialog.progressBar_overall->value(), bar);
    QCOMPARE(dialog.label_remaining_time->text(),
             remaining.isEmpty() ? remaining : "remaining time: " + remaining + " seconds");
    QCOMPARE(dialog.label_info->text(), info);
    QCOMPARE(io.callsOf("getString").contains("cal step_duration room s01"), minor >= 4);
}

void TestProgress::failedReadsKeepTheLastFractions()
{
    FakeIOManager io;
    BackendVersions v = version(11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 0);
    running(io, "0.37", "1 0.5", "100");
    dialog.update_cal_status();

    // The values outlive the dialog: a fresh one whose reads fail shows the last ones.
    CalibrationProgressDlg other(&io, nullptr, &v, false);
    prepare(other, io, "room", 0);
    running(io, "", "", "40");
    io.fail("status progress");
    other.update_cal_status();
    QCOMPARE(other.progressBar_overall->value(), 37);
    QCOMPARE(other.label_remaining_time->text(), QStringLiteral("remaining time: 20 seconds"));
}

void TestProgress::stallWarning()
{
    FakeIOManager io;
    BackendVersions v = version(11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 0);
    auto* warningTimer = dialog.findChild<QTimer*>("warningTimer");
    warningTimer->setInterval(20);

    running(io, "0.37", "1 0.3");
    dialog.update_cal_status();
    QVERIFY(!warningTimer->isActive());
    dialog.update_cal_status();
    QVERIFY(warningTimer->isActive());
    QTRY_COMPARE(dialog.label_warning->text(),
                 QStringLiteral("<b><font color=red>Please move the wand in the view scope of ALL "
                                "cameras!</font></b>"));
    QVERIFY(dialog.label_info->isHidden());

    running(io, "0.38", "1 0.3");
    dialog.update_cal_status();
    QVERIFY(dialog.label_warning->text().isEmpty());
    QVERIFY(!warningTimer->isActive());

    // Once the measurement is complete the warning can no longer be armed.
    running(io, "1.0", "1 1.0");
    dialog.update_cal_status();
    dialog.update_cal_status();
    QCOMPARE(dialog.label_info->text(), QStringLiteral("calculating..."));
    QVERIFY(!dialog.label_info->isHidden());
    QVERIFY(!warningTimer->isActive());

    // Other calibration types never warn.
    CalibrationProgressDlg hand(&io, nullptr, &v, false);
    prepare(hand, io, "hand", 0);
    running(io, "0.2", "1 0.2");
    for (int tick = 0; tick < 3; ++tick)
        hand.update_cal_status();
    QVERIFY(!hand.findChild<QTimer*>("warningTimer")->isActive());
}

void TestProgress::oldControllerHasNoTiles()
{
    FakeIOManager io;
    BackendVersions old = version(10, 99);
    CalibrationProgressDlg dialog(&io, nullptr, &old, false);
    QVERIFY(!dialog.frame_name->isHidden());
    QVERIFY(dialog.frame_grid->isHidden());
    prepare(dialog, io, "room", 4);
    QVERIFY(dialog.tiles().empty());
    for (int tick = 0; tick < 3; ++tick)
        dialog.update_cam_status();
    io.deliver("Monitor2dTabChanged 1 0,1,2,3");
    QVERIFY(io.calls.isEmpty());

    BackendVersions preRelease = version(11, -1);
    CalibrationProgressDlg withTiles(&io, nullptr, &preRelease, false);
    QVERIFY(withTiles.frame_name->isHidden());
}

void TestProgress::monitorMessagesNumberAndHighlightTiles()
{
    FakeIOManager io;
    BackendVersions v = version(11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    QCOMPARE(io.calls, QStringList{"registerReceiver RoomCalModule"});
    prepare(dialog, io, "room", 9);
    const auto tabs = [&dialog] {
        QStringList shown;
        for (CameraStatus* tile : dialog.tiles())
            shown << tile->label_tab->text().mid(4);
        return shown.join(QLatin1Char(' '));
    };
    const auto highlighted = [&dialog] {
        QList<int> active;
        for (size_t i = 0; i < dialog.tiles().size(); ++i)
            if (dialog.tiles()[i]->styleSheet().contains(QLatin1String("border: 4px")))
                active << int(i);
        return active;
    };

    io.deliver("Monitor2dTabChanged 2 8,7,6,5,4,3,2,1,0");
    QCOMPARE(tabs(), QStringLiteral("05 04 04 03 03 02 02 01 01"));
    // Entries that are no camera with a tile are skipped but keep their place.
    io.deliver("Monitor2dTabChanged 4 3,x,,-1,9,2,1,0,7");
    QCOMPARE(tabs(), QStringLiteral("02 02 02 01 03 02 02 03 01"));
    for (const char* malformed :
         {"Monitor2dTabChanged 0 1,2", "Monitor2dTabChanged x 1,2", "Monitor2dTabChanged"})
        io.deliver(malformed);
    QCOMPARE(tabs(), QStringLiteral("02 02 02 01 03 02 02 03 01"));

    io.deliver("Monitor2dMostActive 2,5");
    QCOMPARE(highlighted(), (QList<int>{2, 5}));
    io.deliver("Monitor2dMostActive 8,02, 3");
    QCOMPARE(highlighted(), QList<int>{8});
    io.deliver("Monitor2dMostActive");
    QCOMPARE(highlighted(), QList<int>{});

    // After detaching, even a host that still holds the receiver reaches nothing.
    auto* receiver = dialog.findChild<RoomCalMessageReceiver*>();
    dialog.detach_receiver();
    QCOMPARE(io.calls, QStringList{"unregisterReceiver RoomCalModule"});
    QVERIFY(io.receivers.isEmpty());
    receiver->receiveMessage("Monitor2d", 0, "Monitor2dMostActive 0,1");
    receiver->receiveMessage("Monitor2d", 0, "Monitor2dTabChanged 1 0,1,2");
    QCOMPARE(highlighted(), QList<int>{});
    QCOMPARE(tabs(), QStringLiteral("02 02 02 01 03 02 02 03 01"));
    dialog.detach_receiver();
    QCOMPARE(io.calls.size(), 1);

    // A dialog that goes without being detached must not leave the host a dangling receiver.
    delete new CalibrationProgressDlg(&io, nullptr, &v, false);
    QVERIFY(io.receivers.isEmpty());
}

ROOMCAL_TEST_MAIN(TestProgress)
#include "tst_progress.moc"
