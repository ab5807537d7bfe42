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
    void construction()
    {
        FakeIOManager io;
        RoomCalibrationResultDlg dlg(&io, nullptr, nullptr, false);
        QCOMPARE(dlg.objectName(), DialogName);
        QCOMPARE(dlg.tableWidget->columnCount(), 3);
        QCOMPARE(dlg.tableWidget->horizontalHeaderItem(2)->text(), QStringLiteral("Used Frames"));
        QVERIFY(dlg.tableWidget->verticalHeader()->isHidden());
        QVERIFY(io.calls.isEmpty());

        // The host looks slots up by index, so their order is part of the interface.
        const QMetaObject* mo = dlg.metaObject();
        QStringList slotNames;
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

        QCOMPARE(QStringList(io.calls.mid(0, 3)),
                 QStringList({"getDoubles roomcal wand_residual", "getInt camera number_of_cameras",
                              "getDoubles roomcal cam_residual c01"}));
        QCOMPARE(io.callsOf("getDoubles").size(), 6);
        QVERIFY(io.callsOf("setParameter").isEmpty());
        QVERIFY(io.logLines.isEmpty());
    }

    void tableHeight_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("minimumHeight");
        QTest::newRow("none") << "0" << 0 << 24;
        QTest::newRow("one") << "1" << 1 << 44;
        QTest::newRow("nine") << "9" << 9 << 204;
        QTest::newRow("ten") << "10" << 10 << 224;
        QTest::newRow("twenty-five") << "25" << 25 << 224;
        QTest::newRow("negative") << "-4" << 0 << 24;
        QTest::newRow("unreadable") << "many" << 0 << 24;
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
        QTest::addColumn<bool>("adjusted");
        QTest::addColumn<int>("minor");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("failRotation");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("warned");
        QTest::addColumn<int>("writes");
        QTest::addColumn<bool>("logged");
        QTest::newRow("adjusted, OK resets")
            << false << true << 16 << "pushButton_2" << false << 1 << true << 3 << true;
        QTest::newRow("adjusted, Cancel keeps")
            << false << true << 16 << "pushButton_3" << false << 0 << true << 0 << false;
        QTest::newRow("adjusted, Escape keeps")
            << false << true << 16 << "" << false << 0 << true << 0 << false;
        QTest::newRow("re-calibration never resets")
            << true << true << 16 << "pushButton_2" << false << 1 << false << 0 << false;
        QTest::newRow("not adjusted")
            << false << false << 16 << "pushButton_2" << false << 1 << false << 0 << false;
        QTest::newRow("old controller")
            << false << true << 15 << "pushButton_2" << false << 1 << false << 0 << false;
        QTest::newRow("failed reset still accepted and logged")
            << false << true << 16 << "pushButton_2" << true << 1 << true << 1 << true;
    }
    void acceptance()
    {
        QFETCH(bool, recalibration);
        QFETCH(bool, adjusted);
        QFETCH(int, minor);
        QFETCH(QString, button);
        QFETCH(bool, failRotation);
        QFETCH(int, result);
        QFETCH(bool, warned);
        QFETCH(int, writes);
        QFETCH(bool, logged);

        FakeIOManager io;
        io.answer("camera number_of_cameras", "2");
        io.answer("tracking extra_scaling", adjusted ? "1.5" : "1");
        if (failRotation)
            io.fail(RotationWrite);
        const BackendVersions v = version(0, minor, 0);
        QWidget parent;
        RoomCalibrationResultDlg dlg(&io, &parent, const_cast<BackendVersions*>(&v), recalibration);

        QString warningLine, boxText;
        ModalDriver driver;
        driver.on(DialogName, [&](QWidget*) {
            warningLine = dlg.label_roomAdjustment_reset_warning->text();
            if (button.isEmpty())
                QTest::keyClick(&dlg, Qt::Key_Escape);
            else
                dlg.findChild<QPushButton*>(button)->click();
        });
        if (failRotation)
            driver.answer(QMessageBox::Ok, nullptr, &boxText);

        QCOMPARE(dlg.update_and_exec(), result);
        QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join(';')));
        QCOMPARE(warningLine, warned ? Warning : QString());
        QCOMPARE(io.callsOf("setParameter").size(), writes);
        QCOMPARE(io.logLines, logged ? QStringList{"room adjustment reset"} : QStringList());
        QCOMPARE(io.foreignLogEntries, 0);
        if (failRotation) {
            QCOMPARE(boxText, QStringLiteral("Error during changing rotation angles"));
            // The failure is reported before the log entry is written.
            QCOMPARE(
                io.calls.mid(io.calls.size() - 2),
                QStringList({"setParameter " + RotationWrite, "logMessage room adjustment reset"}));
        }
    }
};

ROOMCAL_TEST_MAIN(TestResultDialog)
#include "tst_result.moc"
