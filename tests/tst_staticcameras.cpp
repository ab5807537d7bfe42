#include "tst_dialog_fixture.h"

using namespace DialogFixture;

class TestStaticCameras : public QObject
{
    Q_OBJECT

private slots:
    void fill_data();
    void fill();
    void apply_data();
    void apply();
};

void TestStaticCameras::fill_data()
{
    QTest::addColumn<int>("minor");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("rows"); // name|status|model|serial|enabled, rows joined by ';'

    const QString one = "camera number_of_cameras=1";
    const QString camera = "morvek2 get camera camera c01=a b c d c01 ";
    QTest::newRow("healthy") << 23 << QStringList()
                             << "c01|static|M1|1001|1;c02|moved|M1|1002|1;c03|static|M1|1003|1";
    QTest::newRow("no cameras") << 23 << QStringList{"camera number_of_cameras=0"} << "";
    QTest::newRow("count unreadable") << 23 << QStringList{"!camera number_of_cameras"} << "";
    QTest::newRow("type code only")
        << 23 << QStringList{one, camera + "0x0c01"} << "c01|static|M1||1";
    QTest::newRow("camera unreadable")
        << 23 << QStringList{one, "!morvek2 get camera camera c01"} << "c01|static|||1";
    QTest::newRow("serial looked up")
        << 23
        << QStringList{one, camera + "0x0B01 77 x",
                       "morvek2 get camera model_desc 0x0B01=a b c d e B",
                       "camera serial_desc 0x0B01 77=\"SN 77\""}
        << "c01|static|B|SN 77|1";
    QTest::newRow("serial hidden before 1.23")
        << 22 << QStringList{one, camera + "0x0d02 77"} << "c01|static|||1";
    QTest::newRow("no reference")
        << 18 << QStringList{"roomcal has_reference c02=no"}
        << "c01|static|M1|1001|1;c02|moved|M1|1002|0;c03|static|M1|1003|1";
    QTest::newRow("reference not asked before 1.18")
        << 17 << QStringList{"roomcal has_reference c02=no"}
        << "c01|static|M1|1001|1;c02|moved|M1|1002|1;c03|static|M1|1003|1";
    QTest::newRow("flags unreadable")
        << 23 << QStringList{one, "!roomcal fixed_camera c01", "!roomcal has_reference c01"}
        << "c01|moved|M1|1001|1";
}

void TestStaticCameras::fill()
{
    QFETCH(int, minor);
    QFETCH(QStringList, answers);
    QFETCH(QString, rows);

    FakeIOManager io;
    answerHealthy(io);
    override(io, answers);
    BackendVersions v = version(1, minor);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    QTableWidget* table = dialog.tableStaticCameras;
    table->setRowCount(5); // a longer earlier table must not leave rows behind

    dialog.checkBox_recal->setChecked(true);

    QStringList shown;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells << table->item(r, c)->text();
        shown << cells.join('|') + '|' + QString::number(table->item(r, 0)->flags() != 0);
        QCOMPARE(table->item(r, 0)->checkState() == Qt::Checked, cells[1] == "static");
        QCOMPARE(table->item(r, 2)->textAlignment(), int(Qt::AlignCenter));
    }
    QCOMPARE(shown.join(';'), rows);
    if (minor < 23)
        QVERIFY(io.calls.filter("serial_desc").isEmpty());
    if (table->rowCount() > 0) {
        QCOMPARE(table->columnWidth(0), 122);
        // The status follows the user's check box at once; partly checked counts as static.
        table->item(0, 0)->setCheckState(Qt::Unchecked);
        QCOMPARE(table->item(0, 1)->text(), QString("moved"));
        table->item(0, 0)->setCheckState(Qt::PartiallyChecked);
        QCOMPARE(table->item(0, 1)->text(), QString("static"));
    }

    // Camera numbers keep two digits at least, up to c100.
    io.clearFailure("camera number_of_cameras");
    override(io, {"camera number_of_cameras=100"});
    dialog.checkBox_recal->setChecked(false);
    dialog.checkBox_recal->setChecked(true);
    QCOMPARE(table->rowCount(), 100);
    QCOMPARE(table->item(6, 0)->text() + table->item(99, 0)->text(), QString("c07c100"));
}

void TestStaticCameras::apply_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("c02"); // the user's check state for camera 2
    QTest::addColumn<QString>("sent");

    const QString table = "sendCommand morvek2 set roomcal fixed_camera c01 yes|"
                          "sendCommand morvek2 set roomcal fixed_camera c02 %1|"
                          "sendCommand morvek2 set roomcal fixed_camera c03 yes";
    QTest::newRow("as filled") << QStringList() << int(Qt::Unchecked) << table.arg("no");
    QTest::newRow("user's choice") << QStringList() << int(Qt::Checked) << table.arg("yes");
    QTest::newRow("partial counts as no")
        << QStringList() << int(Qt::PartiallyChecked) << table.arg("no");
    QTest::newRow("first camera unreadable")
        << QStringList{"!camera camera c01"} << int(Qt::Checked) << table.arg("yes");
    QTest::newRow("without reference")
        << QStringList{"roomcal has_reference c02=no"} << int(Qt::Unchecked) << table.arg("no");
    QTest::newRow("paired first camera")
        << QStringList{"camera camera c01=0X07ff", "!roomcal fixed_camera c02 yes"}
        << int(Qt::Unchecked)
        << "setParameter roomcal fixed_camera c01 yes|setParameter roomcal fixed_camera c02 yes|"
           "logMessage Error: Cannot set fixed camera for room recalibration";
}

void TestStaticCameras::apply()
{
    QFETCH(QStringList, answers);
    QFETCH(int, c02);
    QFETCH(QString, sent);

    FakeIOManager io;
    answerHealthy(io); // the start of the run is refused: nothing modal opens
    override(io, answers);
    override(io, {"roomcal fixed_camera_min_number=0"});
    BackendVersions v = version(1, 23);
    RoomCalibrationDialog dialog(&io, nullptr, &v);
    dialog.checkBox_recal->setChecked(true);
    dialog.tableStaticCameras->item(1, 0)->setCheckState(Qt::CheckState(c02));
    io.clearCalls();

    QMetaObject::invokeMethod(&dialog, "on_pb_calibrate_clicked");

    // The cameras are settled right after the calibration type, before the angle tool.
    const int type = io.calls.indexOf("setParameter roomcal type wand_no_angle");
    const int angle = io.calls.indexOf(QRegularExpression("^setParameter roomcal angle .*"));
    QVERIFY(type >= 0 && angle > type);
    QCOMPARE(io.calls.mid(type + 2, angle - type - 2).join('|'), sent);
}

ROOMCAL_TEST_MAIN(TestStaticCameras)
#include "tst_staticcameras.moc"
