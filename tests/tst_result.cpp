#include "kit/FakeIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "result/RoomCalibrationResultDlg.h"

#include <QHeaderView>
#include <QMetaMethod>

namespace {
const QString DialogName = QStringLiteral("RoomCalibrationResultDialog");
const QString Warning = QStringLiteral("<b><font color=red>Accept this room calibration will reset "
                                       "the room adjustment.</font></b>");
const QString RotationWrite =
    QStringLiteral("tracking extra_rotation 1.000000 0.000000 0.000000 0.000000 1.000000 "
                   "0.000000 0.000000 0.000000 1.000000");

BackendVersions version(int major, int minor, int patch)
{
    BackendVersions v;
    v.versionMajor = major;
    v.versionMinor = minor;
    v.versionPatch = patch;
    return v;
}

QStringList column(const QTableWidget* table, int col)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << (table->item(row, col) ? table->item(row, col)->text() : QStringLiteral("<none>"));
    return texts;
}
} // namespace

class TestResultDialog : public QObject
{
    Q_OBJECT

private slots:
    void slotOrder()
    {
        // The host looks slots up by index, so their order is part of the interface.
        RoomCalibrationResultDlg dlg(nullptr, nullptr, nullptr, false);
        QStringList slotNames;
        const QMetaObject* mo = dlg.metaObject();
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
            slotNames << QString::fromLatin1(mo->method(i).methodSignature());
        QCOMPARE(slotNames,
                 QStringList({"update_and_exec()", "accept()", "showEvent(QShowEvent*)"}));
    }

    void showsResults()
    {
        FakeIOManager io;
        io.answer("roomcal wand_residual", "12.3 0.1234");
        io.answer("camera number_of_cameras", "5");
        io.answer("roomcal cam_residual c01", "0.08 0.987");
        io.answer("roomcal cam_residual c02", "0 0.999");
        io.answer("roomcal cam_residual c03", "1.005 1.0");
        io.answer("roomcal cam_residual c04", "2.5 0.005");
        // c05 cannot be read and shows zeros.
        RoomCalibrationResultDlg dlg(&io, nullptr, nullptr, false);

        bool okHadFocus = false;
        int width0 = 0, width1 = 0, tableWidth = 0;
        ModalDriver driver;
        driver.on(DialogName, [&](QWidget*) {
            okHadFocus = dlg.focusWidget() == dlg.pushButton_2;
            width0 = dlg.tableWidget->columnWidth(0);
            width1 = dlg.tableWidget->columnWidth(1);
            tableWidth = dlg.tableWidget->width();
            dlg.pushButton_3->click();
        });
        QCOMPARE(dlg.update_and_exec(), int(QDialog::Rejected));
        QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join(';')));

        QCOMPARE(dlg.label_wand_res->text(), QStringLiteral("12.30 mm"));
        QCOMPARE(dlg.label_wand_range->text(), QStringLiteral("0.12 mm"));
        QCOMPARE(column(dlg.tableWidget, 0), QStringList({"c01", "c02", "c03", "c04", "c05"}));
        QCOMPARE(column(dlg.tableWidget, 1),
                 QStringList({"0.08 mm", "0.00 mm", "1.00 mm", "2.50 mm", "0.00 mm"}));
        QCOMPARE(column(dlg.tableWidget, 2), QStringList({"98%", "99%", "100%", "0%", "0%"}));
        QCOMPARE(dlg.label_roomAdjustment_reset_warning->text(), QString());
        QVERIFY(okHadFocus);
        // The two narrow columns share a third each; the stretching last one takes the rest.
        QCOMPARE(width0, width1);
        QVERIFY(width0 != 90 && width0 > 0 && 2 * width0 < tableWidth);

        QCOMPARE(io.calls.mid(0, 3),
                 QStringList({"getDoubles roomcal wand_residual", "getInt camera number_of_cameras",
                              "getDoubles roomcal cam_residual c01"}));
    }

    void tableHeight_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("minimumHeight");
        QTest::newRow("none") << "0" << 0 << 24;
        QTest::newRow("ten") << "10" << 10 << 224;
        QTest::newRow("twenty-five") << "25" << 25 << 224;
        QTest::newRow("negative") << "-4" << 0 << 24;
        QTest::newRow("absurd") << "2000000000" << RoomCalibrationResultDlg::MaxCameras << 224;
    }
    void tableHeight()
    {
        QFETCH(QString, count);
        QFETCH(int, rows);
        QFETCH(int, minimumHeight);
        FakeIOManager io;
        io.answer("camera number_of_cameras", count);
        RoomCalibrationResultDlg dlg(&io, nullptr, nullptr, false);
        ModalDriver driver;
        driver.reject(DialogName);
        QCOMPARE(dlg.update_and_exec(), int(QDialog::Rejected));
        QVERIFY(driver.done() && driver.errors().isEmpty());
        QCOMPARE(dlg.tableWidget->rowCount(), rows);
        QCOMPARE(dlg.tableWidget->minimumHeight(), minimumHeight);
        if (rows > 0) {
            QCOMPARE(dlg.tableWidget->item(rows - 1, 0)->text(),
                     QStringLiteral("c%1").arg(rows, 2, 10, QLatin1Char('0')));
            QCOMPARE(io.callsOf("getDoubles").size(), rows + 1);
        }
    }

    void acceptance_data()
    {
        QTest::addColumn<bool>("recalibration");
        QTest::addColumn<QString>("scaling");
        QTest::addColumn<int>("minor");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("failRotation");
        QTest::addColumn<bool>("warned");
        QTest::addColumn<int>("writes");
        const QString ok = "pushButton_2", cancel = "pushButton_3";
        QTest::newRow("adjusted, OK") << false << "1.5" << 16 << ok << false << true << 3;
        QTest::newRow("adjusted, Cancel") << false << "1.5" << 16 << cancel << false << true << 0;
        QTest::newRow("re-calibration") << true << "1.5" << 16 << ok << false << false << 0;
        QTest::newRow("not adjusted") << false << "1" << 16 << ok << false << false << 0;
        QTest::newRow("old controller") << false << "1.5" << 15 << ok << false << false << 0;
        QTest::newRow("reset fails") << false << "1.5" << 16 << ok << true << true << 1;
    }
    void acceptance()
    {
        QFETCH(bool, recalibration);
        QFETCH(QString, scaling);
        QFETCH(int, minor);
        QFETCH(QString, button);
        QFETCH(bool, failRotation);
        QFETCH(bool, warned);
        QFETCH(int, writes);
        FakeIOManager io;
        io.answer("camera number_of_cameras", "2");
        io.answer("tracking extra_scaling", scaling);
        if (failRotation)
            io.fail(RotationWrite);
        BackendVersions v = version(0, minor, 0);
        QWidget parent;
        RoomCalibrationResultDlg dlg(&io, &parent, &v, recalibration);

        QString warningLine, boxText;
        ModalDriver driver;
        driver.on(DialogName, [&](QWidget*) {
            warningLine = dlg.label_roomAdjustment_reset_warning->text();
            dlg.findChild<QPushButton*>(button)->click();
        });
        if (failRotation)
            driver.answer(QMessageBox::Ok, nullptr, &boxText);

        QCOMPARE(dlg.update_and_exec(), button == "pushButton_2" ? 1 : 0);
        QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join(';')));
        QCOMPARE(warningLine, warned ? Warning : QString());
        QCOMPARE(io.callsOf("setParameter").size(), writes);
        // A failed reset was already reported in its box; the attempt is logged all the same.
        QCOMPARE(io.calls.last() == "logMessage room adjustment reset", writes > 0);
        QCOMPARE(io.logLines.size(), writes > 0 ? 1 : 0);
        QCOMPARE(io.foreignLogEntries, 0);
        QCOMPARE(boxText, failRotation ? "Error during changing rotation angles" : QString());
    }
};

ROOMCAL_TEST_MAIN(TestResultDialog)
#include "tst_result.moc"
