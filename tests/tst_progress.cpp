#include "kit/FakeIOManager.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "progress/CalibrationProgressDlg.h"
#include "progress/CameraStatus.h"
#include "progress/RoomCalMessageReceiver.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

BackendVersions version(int major, int minor)
{
    BackendVersions v;
    v.versionMajor = major;
    v.versionMinor = minor;
    return v;
}

// Answers for a run whose start the controller refuses: the run then prepares the dialog (type,
// tiles) and returns without showing it, which leaves every slot free to be driven by hand.
void refuseStart(FakeIOManager& io, const QString& type, int cameras)
{
    io.answer("cal type_desc " + type, "\"Room calibration\"");
    io.answer("cal number_of_steps " + type, "1");
    io.answer("cal step_pause " + type + " s01", "no");
    io.answer("status active", "none");
    io.answer("morvek2 cal " + type + " start", "morvek2 error");
    if (cameras >= 0)
        io.answer("camera number_of_cameras", QString::number(cameras));
    for (int i = 1; i <= cameras; ++i) {
        const QString name = QStringLiteral("c%1").arg(i, 2, 10, QLatin1Char('0'));
        io.answer("morvek2 get camera camera " + name,
                  "morvek2 camera " + name + " a b c " + QString::number(1000 + i));
    }
}

void prepare(CalibrationProgressDlg& dialog, FakeIOManager& io, const char* type, int cameras)
{
    refuseStart(io, QString::fromLatin1(type), cameras);
    QCOMPARE(dialog.run_calibration(type), 0);
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.findChild<QTimer*>("updateTimer")->isActive());
    io.clearCalls();
}

// The answers of a tick that sees the calibration running.
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
    void buildsTheFormAndRegisters();
    void parsesControllerTexts();
    void columnTable_data();
    void columnTable();
    void tileGrid_data();
    void tileGrid();
    void oneTickReadsAtMostFourValues();
    void progressArithmetic_data();
    void progressArithmetic();
    void failedReadsKeepTheLastFractions();
    void stallWarningAppearsAndClears();
    void stallWarningOnlyForRoomAndBeforeCalculating();
    void oldControllerShowsNameInsteadOfTiles();
    void monitorMessagesNumberAndHighlightTiles();
    void detachedReceiverReachesNothing();
};

void TestProgress::buildsTheFormAndRegisters()
{
    FakeIOManager io;
    BackendVersions v = version(1, 11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);

    QCOMPARE(io.calls, QStringList{"registerReceiver RoomCalModule"});
    QCOMPARE(io.receivers.size(), 1);
    auto* receiver = dialog.findChild<RoomCalMessageReceiver*>();
    QVERIFY(receiver);
    QCOMPARE(io.receivers.at(0).second, static_cast<MessageReceiver*>(receiver));

    QCOMPARE(dialog.objectName(), QStringLiteral("CalibrationProgressDialog"));
    QCOMPARE(dialog.parentWidget(), nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Calibration Progress"));
    QVERIFY(dialog.label_remaining_time->text().isEmpty());
    QVERIFY(dialog.label_warning->text().isEmpty());
    QVERIFY(dialog.frame_name->isHidden());
    QVERIFY(!dialog.frame_grid->isHidden());

    auto* update = dialog.findChild<QTimer*>("updateTimer");
    auto* warning = dialog.findChild<QTimer*>("warningTimer");
    QVERIFY(update && warning);
    QCOMPARE(update->interval(), 200);
    QVERIFY(!update->isSingleShot());
    QCOMPARE(warning->interval(), 5000);
    QVERIFY(warning->isSingleShot());
}

void TestProgress::parsesControllerTexts()
{
    using D = CalibrationProgressDlg;
    auto step = D::parseStepProgress("1 0.25");
    QCOMPARE(step.step, 1);
    QVERIFY(step.hasFraction);
    QCOMPARE(step.fraction, 0.25);
    step = D::parseStepProgress(" 2   0.5 rest");
    QCOMPARE(step.step, 2);
    QCOMPARE(step.fraction, 0.5);
    step = D::parseStepProgress("3");
    QCOMPARE(step.step, 3);
    QVERIFY(!step.hasFraction);
    step = D::parseStepProgress("s01 0.5");
    QCOMPARE(step.step, 0);
    QVERIFY(!step.hasFraction);
    QCOMPARE(D::parseStepProgress("99999999999 0.1").step, INT_MAX);

    QCOMPARE(D::pauseSeconds("yes 5"), 5);
    QCOMPARE(D::pauseSeconds("yes 2.9"), 2);
    QCOMPARE(D::pauseSeconds("yes 0.5"), 0);
    QCOMPARE(D::pauseSeconds("yes"), 0);
    QCOMPARE(D::pauseSeconds("yes -4"), 0);
    QCOMPARE(D::pauseSeconds("yes 1e12"), 3600);
    QCOMPARE(D::pauseSeconds("no 5"), 0);
    QCOMPARE(D::pauseSeconds(" yes 5"), 0);
    QCOMPARE(D::pauseSeconds(""), 0);

    QCOMPARE(D::quotedMessage("morvek2 status err \"wand lost\" 3 \"x\""), QString("wand lost"));
    QCOMPARE(D::quotedMessage("morvek2 status err \"\""), QString());
    QCOMPARE(D::quotedMessage("morvek2 status err \"unterminated"), QString());
    QCOMPARE(D::quotedMessage("morvek2 status err"), QString());
}

void TestProgress::columnTable_data()
{
    QTest::addColumn<int>("cameras");
    QTest::addColumn<int>("columns");
    const QList<QPair<int, int>> table = {
        {0, 0},   {1, 1},   {5, 5},   {6, 3},    {7, 4},    {8, 4},    {9, 5},   {10, 5},
        {11, 6},  {12, 6},  {13, 5},  {15, 5},   {16, 6},   {18, 6},   {19, 5},  {20, 5},
        {21, 6},  {22, 6},  {23, 5},  {24, 6},   {25, 5},   {26, 6},   {27, 6},  {42, 6},
        {43, 7},  {49, 7},  {50, 8},  {55, 8},   {56, 9},   {62, 9},   {63, 10}, {69, 10},
        {70, 11}, {75, 11}, {76, 12}, {100, 12}, {101, 12}, {500, 12}, {-1, 12}};
    for (const auto& entry : table)
        QTest::addRow("%d cameras", entry.first) << entry.first << entry.second;
}

void TestProgress::columnTable()
{
    QFETCH(int, cameras);
    QFETCH(int, columns);
    QCOMPARE(CalibrationProgressDlg::tileColumns(cameras), columns);
}

void TestProgress::tileGrid_data()
{
    QTest::addColumn<int>("cameras"); // -1: the count cannot be read
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QSize>("minimum");
    QTest::newRow("none") << 0 << 0 << 0 << QSize(80, 240);
    QTest::newRow("7") << 7 << 4 << 2 << QSize(580, 378);
    QTest::newRow("13") << 13 << 5 << 3 << QSize(680, 447);
    QTest::newRow("120") << 120 << 12 << 10 << QSize(1380, 930);
    QTest::newRow("unreadable") << -1 << 0 << 0 << QSize(80, 240);
}

void TestProgress::tileGrid()
{
    QFETCH(int, cameras);
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(QSize, minimum);

    FakeIOManager io;
    BackendVersions v = version(1, 11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    // A first run with other cameras: the second run must replace its tiles, not add to them.
    prepare(dialog, io, "room", 5);
    QCOMPARE(int(dialog.tiles().size()), 5);
    dialog.tiles().front()->set_tab_number(3);

    if (cameras >= 0)
        refuseStart(io, "room", cameras);
    else
        io.fail("camera number_of_cameras");
    QCOMPARE(dialog.run_calibration("room"), 0);

    const int count = qMax(cameras, 0);
    QCOMPARE(int(dialog.tiles().size()), count);
    QCOMPARE(dialog.findChildren<CameraStatus*>().size(), count);
    QCOMPARE(io.logLines, cameras < 0 ? QStringList{"Error: Unable to get the number of cameras"}
                                      : QStringList());
    QCOMPARE(io.foreignLogEntries, 0);
    for (int i = 0; i < count; ++i) {
        CameraStatus* tile = dialog.tiles()[size_t(i)];
        QCOMPARE(tile->cameraIndex(), i);
        QCOMPARE(tile->label_tab->text(), QStringLiteral("tab 01"));
        QCOMPARE(tile->progressBar->value(), 0);
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        dialog.gridLayout_cam->getItemPosition(dialog.gridLayout_cam->indexOf(tile), &row, &column,
                                               &rowSpan, &columnSpan);
        QCOMPARE(row, i / columns);
        QCOMPARE(column, i % columns);
    }
    if (count > 0) {
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        dialog.gridLayout_cam->getItemPosition(
            dialog.gridLayout_cam->indexOf(dialog.tiles().back()), &row, &column, &rowSpan,
            &columnSpan);
        QCOMPARE(row + 1, rows);
    }
    QCOMPARE(dialog.minimumSize(), minimum);
    QCOMPARE(dialog.size(), minimum);
}

void TestProgress::oneTickReadsAtMostFourValues()
{
    FakeIOManager io;
    BackendVersions v = version(1, 11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 2);

    running(io, "0.29", "1 0.25");
    io.answer("morvek2 get status camera_progress c01",
              "morvek2 status camera_progress c01 x 0.29");
    io.answer("morvek2 get status camera_progress c02", "morvek2 status camera_progress c02 x 1.0");

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
    QCOMPARE(dialog.tiles()[1]->progressBar->value(), 100);
    QCOMPARE(dialog.tiles()[1]->progressBar->styleSheet(), CameraStatus::GreenBarStyle);

    // Ticks the controller answers with anything but cal, none or err do nothing else.
    io.clearCalls();
    io.answer("status active", "pause 1");
    dialog.update_cal_status();
    io.fail("status active");
    dialog.update_cal_status();
    QCOMPARE(io.calls, (QStringList{"getString status active", "getString status active"}));
    QVERIFY(!dialog.label_remaining_time->text().isEmpty());
}

void TestProgress::progressArithmetic_data()
{
    QTest::addColumn<QString>("overall");
    QTest::addColumn<QString>("stepProgress");
    QTest::addColumn<QString>("duration");
    QTest::addColumn<int>("minor"); // controller 1.minor
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("remaining");
    QTest::addColumn<QString>("info");

    QTest::newRow("0.456") << "0.456"
                           << "1 0.25"
                           << "40" << 11 << 45 << "remaining time: 30 seconds"
                           << "";
    QTest::newRow("0.29 floors to 28") << "0.29"
                                       << "1 0.25"
                                       << "41" << 11 << 28 << "remaining time: 30 seconds"
                                       << "";
    QTest::newRow("0.999 is not done") << "0.999"
                                       << "1 0.999"
                                       << "40" << 11 << 99 << "remaining time: 0 seconds"
                                       << "";
    QTest::newRow("complete in step 1") << "1.0"
                                        << "1 1.0"
                                        << "40" << 11 << 100 << "remaining time: 0 seconds"
                                        << "calculating...";
    QTest::newRow("complete in step 2") << "1.0"
                                        << "2 1.0"
                                        << "40" << 11 << 100 << "remaining time: 0 seconds"
                                        << "";
    QTest::newRow("complete, step unreadable") << "1.0"
                                               << "s01 1.0"
                                               << "40" << 11 << 100 << "remaining time: 0 seconds"
                                               << "";
    QTest::newRow("fractional duration") << "0.1"
                                         << "1 0.5"
                                         << "25.9" << 11 << 10 << "remaining time: 12 seconds"
                                         << "";
    QTest::newRow("duration unreadable") << "0.1"
                                         << "1 0.5"
                                         << "soon" << 11 << 10 << ""
                                         << "";
    QTest::newRow("version 1.4") << "0.1"
                                 << "1 0.5"
                                 << "60" << 4 << 10 << "remaining time: 30 seconds"
                                 << "";
    QTest::newRow("version 1.3") << "0.1"
                                 << "1 0.5"
                                 << "60" << 3 << 10 << ""
                                 << "";
    QTest::newRow("fraction beyond 1") << "0.5"
                                       << "1 1.5"
                                       << "60" << 11 << 50 << "remaining time: 0 seconds"
                                       << "";
    QTest::newRow("nan") << "nan"
                         << "1 nan"
                         << "60" << 11 << 0 << ""
                         << "";
}

void TestProgress::progressArithmetic()
{
    QFETCH(QString, overall);
    QFETCH(QString, stepProgress);
    QFETCH(QString, duration);
    QFETCH(int, minor);
    QFETCH(int, bar);
    QFETCH(QString, remaining);
    QFETCH(QString, info);

    FakeIOManager io;
    BackendVersions v = version(1, minor);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 0);
    running(io, overall, stepProgress, duration);

    dialog.update_cal_status();
    QCOMPARE(dialog.progressBar_overall->value(), bar);
    QCOMPARE(dialog.label_remaining_time->text(), remaining);
    QCOMPARE(dialog.label_info->text(), info);
    QCOMPARE(io.callsOf("getString").contains("cal step_duration room s01"), minor >= 4);
    QVERIFY(io.callsOf("sendCommand").isEmpty());
    if (!info.isEmpty()) {
        QVERIFY(!dialog.label_info->isHidden());
        QVERIFY(dialog.label_warning->isHidden());
    }
}

void TestProgress::failedReadsKeepTheLastFractions()
{
    FakeIOManager io;
    BackendVersions v = version(1, 11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 0);
    running(io, "0.37", "1 0.5", "100");
    dialog.update_cal_status();
    QCOMPARE(dialog.progressBar_overall->value(), 37);
    QCOMPARE(dialog.label_remaining_time->text(), QStringLiteral("remaining time: 50 seconds"));

    // The values live beyond one dialog: a fresh dialog whose reads fail shows the last ones.
    CalibrationProgressDlg other(&io, nullptr, &v, false);
    prepare(other, io, "room", 0);
    io.answer("status active", "cal");
    io.fail("status progress");
    io.fail("status step_progress");
    io.answer("cal step_duration room s01", "40");
    other.update_cal_status();
    QCOMPARE(other.progressBar_overall->value(), 37);
    QCOMPARE(other.label_remaining_time->text(), QStringLiteral("remaining time: 20 seconds"));
}

void TestProgress::stallWarningAppearsAndClears()
{
    FakeIOManager io;
    BackendVersions v = version(1, 11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 0);
    auto* warningTimer = dialog.findChild<QTimer*>("warningTimer");
    warningTimer->setInterval(20);

    running(io, "0.36", "1 0.3");
    dialog.update_cal_status();
    running(io, "0.37", "1 0.3");
    dialog.update_cal_status();
    QVERIFY(!warningTimer->isActive());
    dialog.update_cal_status();
    QVERIFY(warningTimer->isActive());
    // Further ticks at the same value neither restart nor stop the count.
    dialog.update_cal_status();
    QVERIFY(warningTimer->isActive());

    QTRY_COMPARE(dialog.label_warning->text(),
                 QStringLiteral("<b><font color=red>Please move the wand in the view scope of ALL "
                                "cameras!</font></b>"));
    QVERIFY(!dialog.label_warning->isHidden());
    QVERIFY(dialog.label_info->isHidden());

    running(io, "0.38", "1 0.3");
    dialog.update_cal_status();
    QVERIFY(dialog.label_warning->text().isEmpty());
    QVERIFY(!warningTimer->isActive());
    QVERIFY(dialog.label_info->isHidden());

    // Stalling again arms the timer again; the end of the run disarms it.
    dialog.update_cal_status();
    QVERIFY(warningTimer->isActive());
    io.answer("status active", "none");
    dialog.update_cal_status();
    QVERIFY(!warningTimer->isActive());
    QVERIFY(dialog.label_warning->isHidden());
    QCOMPARE(dialog.result(), 1);
}

void TestProgress::stallWarningOnlyForRoomAndBeforeCalculating()
{
    FakeIOManager io;
    BackendVersions v = version(1, 11);
    {
        CalibrationProgressDlg dialog(&io, nullptr, &v, false);
        prepare(dialog, io, "hand", 0);
        auto* warningTimer = dialog.findChild<QTimer*>("warningTimer");
        io.answer("status active", "cal");
        io.answer("status progress", "0.2");
        io.answer("status step_progress", "1 0.2");
        io.answer("cal step_duration hand s01", "10");
        for (int tick = 0; tick < 5; ++tick) {
            dialog.update_cal_status();
            QVERIFY(!warningTimer->isActive());
        }
        QCOMPARE(dialog.progressBar_overall->value(), 20);
    }

    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 0);
    auto* warningTimer = dialog.findChild<QTimer*>("warningTimer");
    running(io, "0.99", "1 0.9");
    dialog.update_cal_status();
    dialog.update_cal_status();
    QVERIFY(warningTimer->isActive());
    running(io, "1.0", "1 1.0");
    dialog.update_cal_status();
    QCOMPARE(dialog.label_info->text(), QStringLiteral("calculating..."));
    QVERIFY(!warningTimer->isActive());
    for (int tick = 0; tick < 3; ++tick) {
        dialog.update_cal_status();
        QVERIFY(!warningTimer->isActive());
    }
}

void TestProgress::oldControllerShowsNameInsteadOfTiles()
{
    FakeIOManager io;
    BackendVersions v = version(1, 10);
    v.versionPatch = 99;
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    QVERIFY(!dialog.frame_name->isHidden());
    QVERIFY(dialog.frame_grid->isHidden());
    QCOMPARE(dialog.label_name->text(), QStringLiteral("room calibration"));

    prepare(dialog, io, "room", 4);
    QVERIFY(dialog.tiles().empty());
    QCOMPARE(dialog.minimumSize(), QSize(500, 300));
    for (int tick = 0; tick < 6; ++tick)
        dialog.update_cam_status();
    io.deliver("Monitor2dTabChanged 1 0,1,2,3");
    io.deliver("Monitor2dMostActive 0");
    QVERIFY(io.calls.isEmpty());
    QVERIFY(dialog.findChildren<CameraStatus*>().isEmpty());

    // A pre-release of 1.11 already has tiles.
    BackendVersions pre = version(1, 11);
    pre.versionPatch = -1;
    CalibrationProgressDlg withTiles(&io, nullptr, &pre, false);
    QVERIFY(withTiles.frame_name->isHidden());
}

void TestProgress::monitorMessagesNumberAndHighlightTiles()
{
    FakeIOManager io;
    BackendVersions v = version(1, 11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
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
    io.deliver("Monitor2dTabChanged 4 3,2,1,0,7");
    QCOMPARE(tabs(), QStringLiteral("01 01 01 01 03 02 02 02 01"));
    // Entries that are no camera with a tile are skipped but keep their place.
    io.deliver("Monitor2dTabChanged 1 x,,-1,9,4,5x");
    QCOMPARE(tabs(), QStringLiteral("01 01 01 01 05 02 02 02 01"));
    for (const char* malformed :
         {"Monitor2dTabChanged 0 1,2", "Monitor2dTabChanged -2 1,2", "Monitor2dTabChanged x 1,2",
          "Monitor2dTabChanged", "Monitor2dTabChanged 3"}) {
        io.deliver(malformed);
        QCOMPARE(tabs(), QStringLiteral("01 01 01 01 05 02 02 02 01"));
    }

    QCOMPARE(highlighted(), QList<int>{});
    io.deliver("Monitor2dMostActive 2,5");
    QCOMPARE(highlighted(), (QList<int>{2, 5}));
    io.deliver("Monitor2dMostActive 8,02, 3,12");
    QCOMPARE(highlighted(), QList<int>{8});
    io.deliver("Monitor2dMostActive");
    QCOMPARE(highlighted(), QList<int>{});
}

void TestProgress::detachedReceiverReachesNothing()
{
    FakeIOManager io;
    BackendVersions v = version(1, 11);
    CalibrationProgressDlg dialog(&io, nullptr, &v, false);
    prepare(dialog, io, "room", 3);
    auto* receiver = dialog.findChild<RoomCalMessageReceiver*>();

    dialog.detach_receiver();
    QCOMPARE(io.calls, QStringList{"unregisterReceiver RoomCalModule"});
    QVERIFY(io.receivers.isEmpty());

    // Even a host that still holds the pointer no longer reaches the tiles.
    QVERIFY(receiver);
    QCOMPARE(receiver->receiveMessage("Monitor2d", 0, "Monitor2dMostActive 0,1,2"), 0);
    QCOMPARE(receiver->receiveMessage("Monitor2d", 0, "Monitor2dTabChanged 1 0,1,2"), 0);
    for (CameraStatus* tile : dialog.tiles()) {
        QVERIFY(!tile->styleSheet().contains(QLatin1String("border: 4px")));
        QCOMPARE(tile->label_tab->text(), QStringLiteral("tab 01"));
    }
}

ROOMCAL_TEST_MAIN(TestProgress)
#include "tst_progress.moc"
