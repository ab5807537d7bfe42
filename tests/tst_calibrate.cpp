#include "tst_dialog_fixture.h"

#include <QDateTime>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace DialogFixture;

namespace {
void prepareInputs(RoomCalibrationDialog& dialog, double duration)
{
    dialog.dsb_a->setValue(384.0);
    dialog.dsb_b->setValue(114.0);
    dialog.dsb_c->setValue(225.0);
    dialog.doubleSpinBox_heightAboveFloor->setValue(43.0);
    dialog.doubleSpinBox_duration->setValue(duration);
    dialog.cb_coordinateType->addItem("Powerwall", "powerwall");
}

// A controller whose calibration runs through at once.
void answerQuickRun(FakeIOManager& io)
{
    answerHealthy(io);
    override(io, {"cal step_pause room s01=no", "morvek2 cal room start=morvek2 ok",
                  "roomcal wand_residual=0.12345 1.5", "roomcal last_date=2024-01-02 03:04:05"});
    for (int i = 1; i <= 3; ++i) {
        const QString c = QStringLiteral("c0%1").arg(i);
        io.answer("roomcal cam_residual " + c, QStringLiteral("0.%1").arg(i * 111));
        io.answer("camera camera " + c, QStringLiteral("0x0c01 100%1").arg(i));
        io.answer("roomcal new " + c, QStringLiteral("%1 0 0 %2% %3").arg(i).arg(i * 10).arg("%1"));
    }
}

QStringList calibrationLog(const FakeIOManager& io)
{
    return io.logLines.filter(QRegularExpression("^calibration "));
}
} // namespace

class TestCalibrate : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { qputenv("HOME", m_realHome); }
    void settingsSentBeforeTheRun_data();
    void settingsSentBeforeTheRun();
    void staticCameraMinimum_data();
    void staticCameraMinimum();
    void outcomes_data();
    void outcomes();
    void recordBlockIsAppended();

private:
    QScopedPointer<QTemporaryDir> m_home;
    QByteArray m_realHome = qgetenv("HOME");
};

void TestCalibrate::init()
{
    m_home.reset(new QTemporaryDir);
    QVERIFY(m_home->isValid());
    qputenv("HOME", m_home->path().toLocal8Bit());
}

void TestCalibrate::settingsSentBeforeTheRun_data()
{
    QTest::addColumn<int>("minor");
    QTest::addColumn<double>("duration");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("expected");

    const QString read = "getDouble roomcal duration";
    const QString set = "setParameter roomcal duration 45.0";
    QStringList tail = {"setParameter roomcal type wand",
                        "setParameter roomcal angle 384.000 225.000 114.000",
                        "setParameter roomcal angle_height 43.000",
                        "setParameter roomcal wand_length 410.000",
                        "setParameter roomcal coordinate_type powerwall",
                        "logMessage calibration started"};
    QTest::newRow("same duration") << 23 << 30.0 << "" << QStringList{read} + tail;
    QTest::newRow("new duration") << 23 << 45.0 << "" << QStringList{read, set} + tail;
    QTest::newRow("duration unreadable")
        << 23 << 45.0 << "roomcal duration"
        << QStringList{read, "logMessage Error: Cannot get information room calibration duration",
                       set} +
               tail;
    QTest::newRow("duration refused")
        << 23 << 45.0 << "roomcal duration 45.0"
        << QStringList{read, set, "logMessage Error: Cannot set room calibration duration"} + tail;
    tail.removeAt(2);
    QTest::newRow("before 1.23") << 22 << 30.0 << "" << QStringList{read} + tail;
    QTest::newRow("before 0.12") << 11 << 45.0 << "" << tail;
}

void TestCalibrate::settingsSentBeforeTheRun()
{
    QFETCH(int, minor);
    QFETCH(double, duration);
    QFETCH(QString, failing);
    QFETCH(QStringList, expected);

    FakeIOManager io;
    answerHealthy(io); // the start of the run is refused: nothing modal opens
    io.fail(failing);
    BackendVersions v = version(minor == 11 ? 0 : 1, minor);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    prepareInputs(dialog, duration);
    io.clearCalls();

    QMetaObject::invokeMethod(&dialog, "on_pb_calibrate_clicked");

    QCOMPARE(io.calls.mid(0, expected.size()), expected);
    QCOMPARE(calibrationLog(io), (QStringList{"calibration started", "calibration canceled"}));
    QCOMPARE(io.calls.last(), QString("sendCommand morvek2 tracking start"));
}

void TestCalibrate::staticCameraMinimum_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("minor");
    QTest::addColumn<QString>("minimum"); // "!" fails
    QTest::addColumn<int>("checked");     // the first n cameras are static
    QTest::addColumn<QString>("message"); // empty: the calibration goes on

    const QString two = "At least 2 cameras must be static";
    QTest::newRow("enough") << "VANTA" << 23 << "2" << 2 << "";
    QTest::newRow("one short") << "VANTA" << 23 << "2" << 1 << two;
    QTest::newRow("one needed") << "VANTA" << 23 << "1" << 0
                                << "At least one camera must be static";
    QTest::newRow("minimum unreadable") << "VANTA" << 23 << "!" << 1 << two;
    QTest::newRow("before 1.9") << "VANTA" << 8 << "1" << 1 << two;
    QTest::newRow("model family not checked") << "TESSERA3" << 23 << "2" << 0 << "";
}

void TestCalibrate::staticCameraMinimum()
{
    QFETCH(QString, model);
    QFETCH(int, minor);
    QFETCH(QString, minimum);
    QFETCH(int, checked);
    QFETCH(QString, message);

    FakeIOManager io;
    answerHealthy(io);
    override(io, {minimum == "!" ? "!roomcal fixed_camera_min_number"
                                 : "roomcal fixed_camera_min_number=" + minimum});
    BackendVersions v = version(1, minor, model);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    prepareInputs(dialog, 45.0);
    dialog.checkBox_recal->setChecked(true);
    for (int row = 0; row < 3; ++row)
        dialog.tableStaticCameras->item(row, 0)->setCheckState(row < checked ? Qt::Checked
                                                                             : Qt::Unchecked);
    io.clearCalls();

    QString title, text;
    ModalDriver driver(3000);
    if (!message.isEmpty())
        driver.answer(QMessageBox::Ok, &title, &text);
    QMetaObject::invokeMethod(&dialog, "on_pb_calibrate_clicked");
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join(";")));

    QCOMPARE(
        io.logLines.contains("Error: Cannot get information of minimum number of fixed camera"),
        minimum == "!");
    QCOMPARE(text, message);
    if (message.isEmpty()) {
        QVERIFY(io.calls.contains("setParameter roomcal type wand_no_angle"));
        return;
    }
    QCOMPARE(title, QString("MORVEK3"));
    // Only the duration may have reached the controller.
    QCOMPARE(io.callsOf("setParameter"), QStringList{"roomcal duration 45.0"});
    QVERIFY(io.callsOf("sendCommand").isEmpty() && calibrationLog(io).isEmpty());
}

void TestCalibrate::outcomes_data()
{
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("folder");

    QTest::newRow("canceled") << "canceled" << true;
    QTest::newRow("discarded") << "discarded" << true;
    QTest::newRow("accepted") << "accepted" << true;
    QTest::newRow("accepted without folder") << "accepted" << false;
}

void TestCalibrate::outcomes()
{
    QFETCH(QString, outcome);
    QFETCH(bool, folder);

    if (folder)
        QVERIFY(QDir(m_home->path()).mkpath(".OLV/MORVEK3"));
    FakeIOManager io;
    answerQuickRun(io);
    BackendVersions v = version(1, 23);
    RoomCalibrationDialog dialog(&io, nullptr, &v);

    bool openAfterwards = false;
    ModalDriver driver;
    driver.on("roomCalibration", [&](QWidget* w) {
        io.clearCalls();
        if (outcome == "canceled")
            override(io, {"status active=cal"});
        dialog.pb_calibrate->click();
        openAfterwards = w->isVisible();
        if (openAfterwards)
            static_cast<QDialog*>(w)->done(QDialog::Rejected);
    });
    if (outcome == "canceled") {
        driver.on("CalibrationProgressDialog", [&](QWidget* w) {
            override(io, {"status active=none"});
            w->findChild<QPushButton*>("pb_cancel")->click();
        });
    } else {
        driver.click("RoomCalibrationResultDialog",
                     outcome == "accepted" ? "pushButton_2" : "pushButton_3");
    }
    const int result = dialog.update_and_exec();
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join(";")));

    QCOMPARE(calibrationLog(io), (QStringList{"calibration started", "calibration " + outcome}));
    const bool accepted = outcome == "accepted";
    QCOMPARE(openAfterwards, !accepted);
    QCOMPARE(result, int(accepted ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(QFile::exists(m_home->path() + "/.OLV/MORVEK3/roomcal_out.txt"), accepted && folder);
    QVERIFY(!QDir(m_home->path() + "/.OLV").exists() || folder);
    if (!accepted) {
        // Tracking comes back, and the controller is never told to adopt anything.
        QCOMPARE(io.callsOf("sendCommand").last(), QString("morvek2 tracking start"));
        QVERIFY(io.calls.filter("accept_new_calibration").isEmpty());
        return;
    }
    QStringList tail = {"getInt camera number_of_cameras", "getDoubles roomcal wand_residual"};
    for (const QString c : {"c01", "c02", "c03"})
        tail << "getString roomcal cam_residual " + c << "getString camera camera " + c;
    for (const QString c : {"c01", "c02", "c03"})
        tail << "getString roomcal new " + c;
    tail << "sendCommand morvek2 roomcal accept_new_calibration"
         << "getString roomcal last_date";
    QCOMPARE(io.calls.mid(io.calls.indexOf("logMessage calibration accepted") + 1), tail);
    QVERIFY(dialog.label_lastRoomcal->text().endsWith("2024-01-02T03:04:05"));
}

void TestCalibrate::recordBlockIsAppended()
{
    QVERIFY(QDir(m_home->path()).mkpath(".OLV/MORVEK3"));
    QFile file(m_home->path() + "/.OLV/MORVEK3/roomcal_out.txt");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# an earlier block\n");
    file.close();

    FakeIOManager io;
    answerQuickRun(io);
    BackendVersions v = version(1, 23);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    prepareInputs(dialog, 30.0);
    ModalDriver driver;
    driver.click("RoomCalibrationResultDialog", "pushButton_2");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QMetaObject::invokeMethod(&dialog, "on_pb_calibrate_clicked");
    QVERIFY(driver.done());

    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList lines = QString::fromLatin1(file.readAll()).split('\n');
    const QString created = "# Roomcalibration  created ";
    QVERIFY(lines.value(1).startsWith(created));
    const QDateTime stamp =
        QDateTime::fromString(lines.takeAt(1).mid(created.size()), Qt::TextDate);
    QVERIFY(stamp >= before && stamp <= QDateTime::currentDateTime());
    QCOMPARE(lines, (QStringList{"# an earlier block", "# Wand residual: 0.123   wand range 1.500",
                                 "# Cam residual C01 (0x0c01 1001): 0.111",
                                 "# Cam residual C02 (0x0c01 1002): 0.222",
                                 "# Cam residual C03 (0x0c01 1003): 0.333", "#" + QString(69, '-'),
                                 "", "morvek2 set tracking room c01 1 0 0 10% %1",
                                 "morvek2 set tracking room c02 2 0 0 20% %1",
                                 "morvek2 set tracking room c03 3 0 0 30% %1", ""}));
}

ROOMCAL_TEST_MAIN(TestCalibrate)
#include "tst_calibrate.moc"
