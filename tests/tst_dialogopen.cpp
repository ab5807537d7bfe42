#include "tst_dialog_fixture.h"

#include <QRegularExpression>

using namespace DialogFixture;

class TestDialogOpen : public QObject
{
    Q_OBJECT

private slots:
    void exchangesOfAnOpening_data();
    void exchangesOfAnOpening();
    void failedReadsFallBack_data();
    void failedReadsFallBack();
    void calibrateButtonAfterOpening_data();
    void calibrateButtonAfterOpening();
    void storedAngleSelectsKit_data();
    void storedAngleSelectsKit();
    void transferRunsOnHostWindow();
};

void TestDialogOpen::exchangesOfAnOpening_data()
{
    QTest::addColumn<int>("minor");
    QTest::addColumn<QString>("expected");

    QString fill = "getInt camera number_of_cameras";
    for (const QString c : {"c01", "c02", "c03"})
        fill += "|sendCommand morvek2 get camera camera " + c +
                "|sendCommand morvek2 get camera model_desc 0x0c01|getFlag roomcal fixed_camera " +
                c + "|getFlag roomcal has_reference " + c;
    // Checking re-calibration fills the table once, and the end of the opening fills it again.
    const QString opening =
        "getString roomcal has_type wand_no_angle|getString status active|%1"
        "sendCommand morvek2 tracking start|getDouble roomcal wand_length|getDoubles roomcal "
        "angle|%2getString roomcal coordinate_type|getString roomcal type|%3|getString cal "
        "available room|%3";
    QTest::newRow("1.23")
        << 23
        << "getInt roomcal number_of_available_coordinate_types|getString roomcal "
           "available_coordinate_type t01|getString roomcal available_coordinate_type_desc "
           "normal|getString roomcal available_coordinate_type t02|getString roomcal "
           "available_coordinate_type_desc powerwall|getString config is_changeable|getString "
           "roomcal last_date|getString tracking available|getDouble roomcal duration|" +
               opening.arg("getString tracking available|", "getDouble roomcal angle_height|",
                           fill);
    fill.remove(QRegularExpression("\\|getFlag roomcal has_reference c0."));
    QTest::newRow("0.11") << 11 << opening.arg("", "", fill);
}

void TestDialogOpen::exchangesOfAnOpening()
{
    QFETCH(int, minor);
    QFETCH(QString, expected);

    FakeIOManager io;
    answerHealthy(io);
    override(io, {"roomcal type=wand_no_angle", "roomcal duration=45"});
    BackendVersions v = version(minor == 23 ? 1 : 0, minor);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    bool calibrate = false, duration = false;
    open(io, dialog, [&] {
        calibrate = dialog.pb_calibrate->isEnabled();
        duration = dialog.doubleSpinBox_duration->isEnabled();
    });
    QCOMPARE(io.calls.join('|'), expected);
    QVERIFY(io.logLines.isEmpty());
    QVERIFY(calibrate);
    QVERIFY(dialog.checkBox_recal->isChecked() && !dialog.tableStaticCameras->isHidden());
    // The duration is the controller's only from 0.12 on; before, it is fixed at 30 s.
    QCOMPARE(duration, minor == 23);
    QCOMPARE(dialog.doubleSpinBox_duration->value(), minor == 23 ? 45.0 : 30.0);
    QCOMPARE(dialog.pushButton_details->text(), minor == 23 ? "Hide &details" : "Show &details");
    QCOMPARE(dialog.cb_coordinateType->count(), minor == 23 ? 2 : 3);
    QCOMPARE(dialog.cb_coordinateType->currentData().toString(), QString("powerwall"));
}

void TestDialogOpen::failedReadsFallBack_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("logLine");
    // Expected state: wand length, calibrate enabled, coordinate type, re-calibration checked,
    // tracking started, last date.
    QTest::addColumn<QString>("state");

    const QString types = "Error: Cannot get information room calibration coordinate type";
    QTest::newRow("none") << ""
                          << ""
                          << "410 1 powerwall 1 1 2023-05-04T10:20:30";
    QTest::newRow("duration") << "roomcal duration"
                              << "Error: Cannot get information room calibration duration"
                              << "410 1 powerwall 1 1 2023-05-04T10:20:30";
    QTest::newRow("type count") << "roomcal number_of_available_coordinate_types" << types + "s"
                                << "410 1 - 1 1 2023-05-04T10:20:30";
    QTest::newRow("type name") << "roomcal available_coordinate_type t02" << types + " name"
                               << "410 1 powerwall 1 1 2023-05-04T10:20:30";
    QTest::newRow("wand") << "roomcal wand_length"
                          << ""
                          << "0 0 powerwall 1 1 2023-05-04T10:20:30";
    QTest::newRow("angle") << "roomcal angle"
                           << ""
                           << "410 0 powerwall 1 1 2023-05-04T10:20:30";
    QTest::newRow("type") << "roomcal type"
                          << ""
                          << "410 1 powerwall 0 1 2023-05-04T10:20:30";
    QTest::newRow("last date") << "roomcal last_date"
                               << ""
                               << "410 1 powerwall 1 1 -";
    QTest::newRow("tracking") << "tracking available"
                              << ""
                              << "410 1 powerwall 1 0 2023-05-04T10:20:30";
    QTest::newRow("status") << "status active"
                            << ""
                            << "410 1 powerwall 1 0 2023-05-04T10:20:30";
    QTest::newRow("cal available") << "cal available room"
                                   << ""
                                   << "410 0 powerwall 1 1 2023-05-04T10:20:30";
}

void TestDialogOpen::failedReadsFallBack()
{
    QFETCH(QString, failing);
    QFETCH(QString, logLine);
    QFETCH(QString, state);

    FakeIOManager io;
    answerHealthy(io);
    override(io, {"roomcal type=wand_no_angle", "!" + failing});
    BackendVersions v = version(1, 23);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    bool calibrate = false;
    open(io, dialog, [&] { calibrate = dialog.pb_calibrate->isEnabled(); });

    const QString type = dialog.cb_coordinateType->currentData().toString();
    const QString shown =
        QStringList{QString::number(dialog.dsb_wand->value()),
                    QString::number(calibrate),
                    type.isEmpty() ? "-" : type,
                    QString::number(dialog.checkBox_recal->isChecked()),
                    QString::number(io.calls.contains("sendCommand morvek2 tracking start")),
                    dialog.label_lastRoomcal->text().section(": ", 1)}
            .join(' ');
    QCOMPARE(shown, state);
    QCOMPARE(io.logLines.join('|'), logLine);
}

void TestDialogOpen::calibrateButtonAfterOpening_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("typingEnables"); // a non-zero B typed after a zero one

    QTest::newRow("healthy") << "" << true << true;
    QTest::newRow("read-only") << "config is_changeable=no" << false << false;
    QTest::newRow("no tracking") << "tracking available=no" << false << false;
    QTest::newRow("cal not available") << "cal available room=Yes" << false << false;
    QTest::newRow("zero B") << "roomcal angle=278 163 0" << false << true;
    QTest::newRow("zero wand") << "roomcal wand_length=0" << false << false;
    QTest::newRow("zero height") << "roomcal angle_height=0" << true << true;
}

void TestDialogOpen::calibrateButtonAfterOpening()
{
    QFETCH(QString, answer);
    QFETCH(bool, enabled);
    QFETCH(bool, typingEnables);

    FakeIOManager io;
    answerHealthy(io);
    override(io, {answer});
    BackendVersions v = version(1, 23);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    QList<bool> states;
    open(io, dialog, [&] {
        states << dialog.pb_calibrate->isEnabled();
        dialog.dsb_b->setValue(0.0);
        states << dialog.pb_calibrate->isEnabled();
        dialog.dsb_b->setValue(57.0);
        states << dialog.pb_calibrate->isEnabled();
    });
    QCOMPARE(states, (QList<bool>{enabled, false, typingEnables}));
}

void TestDialogOpen::storedAngleSelectsKit_data()
{
    QTest::addColumn<QString>("angle"); // A C B, as the controller stores them
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("row");

    QTest::newRow("P") << "278 163 83" << 55.0 << 0;
    QTest::newRow("S active, not S") << "192 112.5 57" << 15.5 << 2;
    QTest::newRow("M high") << "384 225 114" << 43.0 << 4;
    QTest::newRow("P in A B C order") << "278 83 163" << 55.0 << 6;
    QTest::newRow("P, other height") << "278 163 83" << 54.9 << 6;
}

void TestDialogOpen::storedAngleSelectsKit()
{
    QFETCH(QString, angle);
    QFETCH(double, height);
    QFETCH(int, row);

    FakeIOManager io;
    answerHealthy(io);
    // No kit has this wand: a kit applied while opening would show.
    override(io, {"roomcal angle=" + angle, "roomcal angle_height=" + QString::number(height),
                  "roomcal wand_length=500"});
    BackendVersions v = version(1, 23);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    open(io, dialog);

    const QStringList acb = angle.split(' ');
    const QVariantList read = {acb[0].toDouble(), acb[1].toDouble(), acb[2].toDouble(), height};
    QCOMPARE(dialog.cb_calibrationSet->currentIndex(), row);
    QCOMPARE((QVariantList{dialog.dsb_a->value(), dialog.dsb_c->value(), dialog.dsb_b->value(),
                           dialog.doubleSpinBox_heightAboveFloor->value()}),
             read);
    QCOMPARE(dialog.dsb_wand->value(), 500.0);
    QCOMPARE(dialog.dsb_a->isEnabled(), row == 6);
    const QVariantList expert = row == 6 ? read : QVariantList{240.0, 150.0, 90.0, 40.0};
    QCOMPARE(dialog.cb_calibrationSet->itemData(6).toList(), expert);
}

void TestDialogOpen::transferRunsOnHostWindow()
{
    FakeIOManager io;
    answerHealthy(io);
    override(io, {"status active=tracking"});
    BackendVersions v = version(1, 23);
    QWidget host;
    RoomCalibrationDialog dialog(&io, &host, &v);

    QWidget* parent = nullptr;
    QStringList before;
    ModalDriver driver;
    driver.on("roomCalibration", [&](QWidget*) {
        io.clearCalls();
        dialog.pushButton_advanced->click();
    });
    driver.on("RoomcalPortDlgClass", [&](QWidget* w) {
        parent = w->parentWidget();
        before = io.calls.mid(0, 2);
        override(io, {"status active=none"});
        static_cast<QDialog*>(w)->done(QDialog::Rejected);
    });
    driver.reject("roomCalibration");
    dialog.update_and_exec();
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join(";")));
    QCOMPARE(parent, &host);
    QCOMPARE(before.join('|'),
             QString("getString status active|sendCommand morvek2 tracking stop"));
    QCOMPARE(io.callsOf("sendCommand").last(), QString("morvek2 tracking start"));
}

ROOMCAL_TEST_MAIN(TestDialogOpen)
#include "tst_dialogopen.moc"
