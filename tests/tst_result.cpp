#include "kit/FakeIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "result/RoomAdjustment.h"
#include "result/RoomCalibrationResultDlg.h"

#include <QLabel>

namespace {
const QString Identity = QStringLiteral("1 0 0 0 1 0 0 0 1");
const QStringList Reads = {"getString tracking extra_rotation",
                           "getString tracking extra_translation",
                           "getDouble tracking extra_scaling"};
const QStringList Writes = {"tracking extra_rotation 1.000000 0.000000 0.000000 0.000000 1.000000 "
                            "0.000000 0.000000 0.000000 1.000000",
                            "tracking extra_translation 0.000 0.000 0.000",
                            "tracking extra_scaling 1.0000"};
const QStringList Failures = {"Error during changing rotation angles",
                              "Error during changing zero point",
                              "Error during changing scaling factor"};
} // namespace

class TestResult : public QObject
{
    Q_OBJECT

private slots:
    void adjustmentCheck_data();
    void adjustmentCheck();
    void showsResults();
    void acceptance_data();
    void acceptance();
};

void TestResult::adjustmentCheck_data()
{
    QTest::addColumn<QStringList>("answers"); // rotation, translation, scaling; "-" fails
    QTest::addColumn<QString>("version");     // "" for no version record
    QTest::addColumn<bool>("free");
    QTest::addColumn<int>("reads");
    const QString v = QStringLiteral("0.16.0");
    QTest::newRow("identity") << QStringList{Identity, "0 0 0", "1"} << v << true << 3;
    QTest::newRow("angles all zero")
        << QStringList{"0.999 0 0 0.5 1 0 0.3 0.2 1", "0 0 0", "1.0"} << v << true << 3;
    QTest::newRow("turned") << QStringList{"0.99996 -0.0087 0 0.0087 0.99996 0 0 0 1", "0 0 0", "1"}
                            << v << false << 1;
    QTest::newRow("shifted") << QStringList{Identity, "0 0 0.001", "1"} << v << false << 2;
    QTest::newRow("scaled") << QStringList{Identity, "0 0 0", "1.0001"} << v << false << 3;
    QTest::newRow("scaling unreadable") << QStringList{Identity, "0 0 0", "-"} << v << true << 3;
    QTest::newRow("only translation read") << QStringList{"-", "1 0 0", "-"} << v << false << 2;
    // Doubled blanks make empty fields, which shift the numbers to later positions.
    QTest::newRow("doubled blank rotation")
        << QStringList{"1  0 0 0 1 0 0 0 1", "0 0 0", "1"} << v << false << 1;
    QTest::newRow("doubled blank translation")
        << QStringList{Identity, "0  0 5", "1"} << v << true << 3;
    const QStringList shifted{Identity, "5 0 0", "1"};
    QTest::newRow("0.16 pre-release") << shifted << "0.16.-1" << false << 2;
    QTest::newRow("0.15.9") << shifted << "0.15.9" << true << 0;
    QTest::newRow("0.16.-2") << shifted << "0.16.-2" << true << 0;
    QTest::newRow("no version record") << shifted << "" << true << 0;
}

void TestResult::adjustmentCheck()
{
    QFETCH(QStringList, answers);
    QFETCH(QString, version);
    QFETCH(bool, free);
    QFETCH(int, reads);
    FakeIOManager io;
    for (int i = 0; i < 3; ++i)
        answers[i] == "-" ? io.fail(Reads[i].section(' ', 1))
                          : io.answer(Reads[i].section(' ', 1), answers[i]);
    const QStringList n = version.split('.');
    BackendVersions v{n.value(0).toInt(), n.value(1).toInt(), n.value(2).toInt(), {}};
    QCOMPARE(RoomAdjustment::isFree(&io, version.isEmpty() ? nullptr : &v), free);
    QCOMPARE(io.calls, Reads.mid(0, reads));
}

void TestResult::showsResults()
{
    // No camera, or none that used a frame (the second cannot be read), is no measurement: a note
    // says so, and Enter on the focused OK falls through to Cancel.
    for (int cameras : {0, 25, 2}) {
        FakeIOManager io;
        io.answer("roomcal wand_residual", "12.3 0.1234");
        io.answer("camera number_of_cameras", QString::number(cameras));
        const QStringList residuals =
            cameras == 2 ? QStringList{"0.5 0"}
                         : QStringList{"0.08 0.987", "0 0.999", "1.005 1.0", "2.5 nan"};
        for (int c = 0; c < residuals.size(); ++c)
            io.answer(QString::asprintf("roomcal cam_residual c%02d", c + 1), residuals[c]);
        RoomCalibrationResultDlg dlg(&io, nullptr, nullptr, false);
        ModalDriver driver;
        driver.on("RoomCalibrationResultDialog",
                  [](QWidget* w) { QTest::keyClick(w->focusWidget(), Qt::Key_Return); });
        QCOMPARE(dlg.update_and_exec(), int(cameras == 25));
        const auto* note = dlg.findChild<QLabel*>("label_empty_result");
        QCOMPARE(note ? note->text() : QString(),
                 cameras == 25 ? QString()
                               : QString("<b><font color=red>This result holds no measurement: "
                                         "no camera used any frame.</font></b>"));

        QCOMPARE(dlg.label_wand_res->text() + ", " + dlg.label_wand_range->text(),
                 "12.30 mm, 0.12 mm");
        QCOMPARE(dlg.tableWidget->minimumHeight(), cameras == 25 ? 224 : cameras ? 64 : 24);
        const QTableWidget* t = dlg.tableWidget;
        QStringList rows;
        for (int r = 0; r < t->rowCount(); ++r)
            rows << t->item(r, 0)->text() + ' ' + t->item(r, 1)->text() + ' ' +
                        t->item(r, 2)->text();
        // Cameras that cannot be read show zeros.
        QCOMPARE(rows.mid(0, 4) + rows.mid(24),
                 cameras == 25
                     ? QStringList({"c01 0.08 mm 98%", "c02 0.00 mm 99%", "c03 1.00 mm 100%",
                                    "c04 2.50 mm 0%", "c25 0.00 mm 0%"})
                 : cameras ? QStringList({"c01 0.50 mm 0%", "c02 0.00 mm 0%"})
                           : QStringList());
    }
}

void TestResult::acceptance_data()
{
    QTest::addColumn<bool>("recalibration");
    QTest::addColumn<QString>("scaling");
    QTest::addColumn<int>("minor"); // controller 0.minor
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("failing"); // the reset write that fails, -1 for none
    QTest::addColumn<bool>("warned");
    QTest::newRow("adjusted, OK") << false << "1.5" << 16 << true << -1 << true;
    QTest::newRow("adjusted, Cancel") << false << "1.5" << 16 << false << -1 << true;
    QTest::newRow("re-calibration") << true << "1.5" << 16 << true << -1 << false;
    QTest::newRow("not adjusted") << false << "1" << 16 << true << -1 << false;
    QTest::newRow("old controller") << false << "1.5" << 15 << true << -1 << false;
    for (int failing = 0; failing < 3; ++failing)
        QTest::newRow(qPrintable(Failures[failing]))
            << false << "1.5" << 16 << true << failing << true;
}

void TestResult::acceptance()
{
    QFETCH(bool, recalibration);
    QFETCH(QString, scaling);
    QFETCH(int, minor);
    QFETCH(bool, ok);
    QFETCH(int, failing);
    QFETCH(bool, warned);
    FakeIOManager io;
    io.answer("camera number_of_cameras", "2");
    io.answer("tracking extra_scaling", scaling);
    if (failing >= 0)
        io.fail(Writes[failing]);
    BackendVersions v{0, minor, 0, {}};
    QWidget parent;
    RoomCalibrationResultDlg dlg(&io, &parent, &v, recalibration);

    QString warningLine, box;
    ModalDriver driver;
    driver.on("RoomCalibrationResultDialog", [&](QWidget*) {
        warningLine = dlg.label_roomAdjustment_reset_warning->text();
        dlg.findChild<QPushButton*>(ok ? "pushButton_2" : "pushButton_3")->click();
    });
    if (failing >= 0)
        driver.on("QMessageBox", [&](QWidget* w) {
            auto* b = qobject_cast<QMessageBox*>(w);
            box = QString::number(b->icon()) + ' ' + b->windowTitle() + ": " + b->text();
            b->button(QMessageBox::Ok)->click();
        });
    QCOMPARE(dlg.update_and_exec(), int(ok));
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join(';')));
    QCOMPARE(warningLine, warned ? QStringLiteral("<b><font color=red>Accept this room calibration "
                                                  "will reset the room adjustment.</font></b>")
                                 : QString());
    // The reset stops at the first failed write; a failed reset is still logged as attempted.
    const bool reset = warned && ok;
    QCOMPARE(io.callsOf("setParameter"), Writes.mid(0, !reset ? 0 : failing < 0 ? 3 : failing + 1));
    QCOMPARE(io.logLines, reset ? QStringList{"room adjustment reset"} : QStringList());
    QCOMPARE(io.foreignLogEntries, 0);
    QCOMPARE(box, failing < 0 ? QString()
                              : QString("%1 Room adjustment: ").arg(QMessageBox::Warning) +
                                    Failures[failing]);
}

ROOMCAL_TEST_MAIN(TestResult)
#include "tst_result.moc"
