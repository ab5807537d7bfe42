// Whole workflows through the plug-in file and a real socket to the simulated controller: what
// the operator does in the dialogs, and what the controller holds afterwards, after a restart.
#include "E2eHelpers.h"
#include "HostFixture.h"
#include "SimServer.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTableWidget>

using namespace E2e;

namespace {
// A short run: no pause before the start, one second of measuring, a brief calculation.
const QByteArray ShortRun = R"("roomcal": { "duration": 1 },
    "run": { "stepPause": 0, "calculationMs": 300 })";

constexpr int StepTimeoutMs = 20000;

QByteArray scenario(const QByteArray& extra)
{
    return "{ \"extends\": \"default\", " + extra + " }";
}

QByteArray cameraName(int camera)
{
    return QByteArray("c") + QByteArray::number(camera).rightJustified(2, '0');
}

// The record block of one accepted calibration of the given number of cameras.
struct RecordBlock
{
    QStringList lines;
    QStringList commands; // the last group: one "morvek2 set tracking room" line per camera
};

bool parseRecord(const QByteArray& text, int cameras, RecordBlock* block, QString* why)
{
    block->lines = QString::fromLatin1(text).split(QLatin1Char('\n'));
    const int expected = 2 + cameras + 2 + cameras + 1; // and the final line end
    if (block->lines.size() != expected || !block->lines.last().isEmpty()) {
        *why = QStringLiteral("%1 lines instead of %2:\n%3")
                   .arg(block->lines.size())
                   .arg(expected)
                   .arg(QString::fromLatin1(text));
        return false;
    }
    block->commands = block->lines.mid(2 + cameras + 2, cameras);
    return true;
}
} // namespace

class E2eWorkflowTest : public QObject
{
    Q_OBJECT

private slots:
    void calibrationAcceptedReachesControllerAndRecord();
    void recalibrationKeepsTheChosenStaticCameras();
    void transferCopiesTheActiveCalibration();

private:
    void checkAdoptedAfterRestart(SimServer& sim, const RecordBlock& block,
                                  const QList<QByteArray>& before, const QByteArray& dateBefore);
};

// After the restart the controller must report exactly the rooms the record file lists as
// commands, which must differ from what it held before, and a new calibration date.
void E2eWorkflowTest::checkAdoptedAfterRestart(SimServer& sim, const RecordBlock& block,
                                               const QList<QByteArray>& before,
                                               const QByteArray& dateBefore)
{
    QString error;
    QVERIFY2(sim.restart(&error), qPrintable(error));
    const QList<QByteArray> after = sim.rooms(before.size());
    for (int i = 0; i < before.size(); ++i) {
        QCOMPARE(QString::fromLatin1(after.at(i)), block.commands.at(i));
        QVERIFY2(after.at(i) != before.at(i), after.at(i).constData());
    }
    const QByteArray date = sim.value("roomcal last_date");
    QVERIFY2(QRegularExpression(QStringLiteral("^'\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d'$"))
                 .match(QString::fromLatin1(date))
                 .hasMatch(),
             date.constData());
    QVERIFY(date != dateBefore);

    const QJsonArray stored = configuration(readState(sim.statePath()), QStringLiteral("lab_main"))
                                  .value(QStringLiteral("rooms"))
                                  .toArray();
    QCOMPARE(stored.size(), before.size());
    for (int i = 0; i < stored.size(); ++i)
        QVERIFY2(block.commands.at(i).endsWith(QLatin1Char(' ') + stored.at(i).toString()),
                 qPrintable(block.commands.at(i)));
}

void E2eWorkflowTest::calibrationAcceptedReachesControllerAndRecord()
{
    SimServer sim;
    QString error;
    QVERIFY2(sim.useScenarioJson(scenario(ShortRun), &error), qPrintable(error));
    QVERIFY2(sim.start(&error), qPrintable(error));
    const QList<QByteArray> before = sim.rooms(6);
    const QByteArray dateBefore = sim.value("roomcal last_date");
    QCOMPARE(dateBefore, QByteArray("'2026-12-05 10:20:30'"));

    HostFixture host(sim.port(), sim.versions());
    QVERIFY2(host.attach(&error), qPrintable(error));
    ModalDriver driver(StepTimeoutMs);
    bool progressShown = false;
    driver.click(QStringLiteral("roomCalibration"), QStringLiteral("pb_calibrate"))
        .on(QStringLiteral("CalibrationProgressDialog"), [&](QWidget*) { progressShown = true; })
        .click(QStringLiteral("RoomCalibrationResultDialog"), QStringLiteral("pushButton_2"));
    host.openDialog();
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join('\n')));
    QVERIFY(progressShown);
    QVERIFY(!QApplication::activeModalWidget());
    // The default scenario has a room adjustment, which an accepted calibration resets.
    QCOMPARE(host.moduleLog(), QStringList({QStringLiteral("calibration started"),
                                            QStringLiteral("room adjustment reset"),
                                            QStringLiteral("calibration accepted")}));
    QCOMPARE(host.transport().requests.count("morvek2 roomcal accept_new_calibration"), 1);

    RecordBlock block;
    QVERIFY2(parseRecord(host.record(), 6, &block, &error), qPrintable(error));
    QVERIFY2(QRegularExpression(QStringLiteral("^# Roomcalibration  created \\S.*$"))
                 .match(block.lines.at(0))
                 .hasMatch(),
             qPrintable(block.lines.at(0)));
    QCOMPARE(block.lines.at(1), QStringLiteral("# Wand residual: 0.124   wand range 0.853"));
    QVERIFY2(block.lines.at(2).startsWith(QStringLiteral("# Cam residual C01 (0x0b01 20417): ")),
             qPrintable(block.lines.at(2)));
    QVERIFY2(block.lines.at(7).startsWith(QStringLiteral("# Cam residual C06 (0x0c03 113): ")),
             qPrintable(block.lines.at(7)));
    QCOMPARE(block.lines.at(8), QStringLiteral("#") + QString(69, QLatin1Char('-')));
    QCOMPARE(block.lines.at(9), QString());
    for (int i = 0; i < 6; ++i)
        QVERIFY2(block.commands.at(i).startsWith(QStringLiteral("morvek2 set tracking room ") +
                                                 QString::fromLatin1(cameraName(i + 1)) + ' '),
                 qPrintable(block.commands.at(i)));

    checkAdoptedAfterRestart(sim, block, before, dateBefore);
    const QJsonObject adjustment =
        readState(sim.statePath()).value(QStringLiteral("roomAdjustment")).toObject();
    QCOMPARE(adjustment.value(QStringLiteral("translation")).toArray(),
             QJsonArray({0.0, 0.0, 0.0}));
    QCOMPARE(adjustment.value(QStringLiteral("scaling")).toDouble(), 1.0);
}

void E2eWorkflowTest::recalibrationKeepsTheChosenStaticCameras()
{
    SimServer sim;
    QString error;
    // Cameras 1 and 2 are static in the scenario; three are needed. Only models outside the
    // TESSERA family are counted by the dialog itself.
    QVERIFY2(sim.useScenarioJson(scenario(R"("controller": { "model": "VEGA" },
        "roomcal": { "duration": 1, "fixedCameraMinNumber": 3 },
        "run": { "stepPause": 0, "calculationMs": 300 })"),
                                 &error),
             qPrintable(error));
    QVERIFY2(sim.start(&error), qPrintable(error));
    const QList<QByteArray> before = sim.rooms(6);
    const QByteArray dateBefore = sim.value("roomcal last_date");

    HostFixture host(sim.port(), sim.versions());
    QVERIFY2(host.attach(&error), qPrintable(error));
    ModalDriver driver(StepTimeoutMs);
    QString warning;
    QStringList statusAfterChoice;
    driver
        .on(QStringLiteral("roomCalibration"),
            [](QWidget* dialog) {
                dialog->findChild<QCheckBox*>(QStringLiteral("checkBox_recal"))->click();
                dialog->findChild<QAbstractButton*>(QStringLiteral("pb_calibrate"))->click();
            })
        .answer(QMessageBox::Ok, nullptr, &warning)
        .on(QStringLiteral("roomCalibration"),
            [&](QWidget* dialog) {
                auto* table =
                    dialog->findChild<QTableWidget*>(QStringLiteral("tableStaticCameras"));
                for (const QString& camera : {QStringLiteral("c04"), QStringLiteral("c05")})
                    if (QTableWidgetItem* item = rowItem(table, camera, 0))
                        item->setCheckState(Qt::Checked);
                for (int row = 0; table && row < table->rowCount(); ++row)
                    statusAfterChoice << table->item(row, 1)->text();
                dialog->findChild<QAbstractButton*>(QStringLiteral("pb_calibrate"))->click();
            })
        .click(QStringLiteral("RoomCalibrationResultDialog"), QStringLiteral("pushButton_2"));
    host.openDialog();
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join('\n')));
    QCOMPARE(warning, QStringLiteral("At least 3 cameras must be static"));
    QCOMPARE(statusAfterChoice,
             QStringList({"static", "static", "moved", "static", "static", "moved"}));
    // A re-calibration leaves the room adjustment alone.
    QCOMPARE(host.moduleLog(), QStringList({QStringLiteral("calibration started"),
                                            QStringLiteral("calibration accepted")}));

    // Static-camera choices are not kept across a restart: ask before it.
    QCOMPARE(sim.value("roomcal type"), QByteArray("wand_no_angle"));
    QByteArrayList fixed;
    for (int c = 1; c <= 6; ++c)
        fixed << sim.value("roomcal fixed_camera " + cameraName(c));
    QCOMPARE(fixed, QByteArrayList({"yes", "yes", "no", "yes", "yes", "no"}));

    RecordBlock block;
    QVERIFY2(parseRecord(host.record(), 6, &block, &error), qPrintable(error));
    checkAdoptedAfterRestart(sim, block, before, dateBefore);
    const QJsonObject adjustment =
        readState(sim.statePath()).value(QStringLiteral("roomAdjustment")).toObject();
    QCOMPARE(adjustment.value(QStringLiteral("translation")).toArray(),
             QJsonArray({12.5, -4.0, 0.0}));
}

void E2eWorkflowTest::transferCopiesTheActiveCalibration()
{
    SimServer sim;
    QString error;
    QVERIFY2(sim.useScenarioFile(QStringLiteral("default"), &error), qPrintable(error));
    QVERIFY2(sim.start(&error), qPrintable(error));
    const QStringList ids = {QStringLiteral("lab_main"), QStringLiteral("demo_area"),
                             QStringLiteral("service"), QStringLiteral("backup_2026")};
    const auto roomsOfEach = [&] {
        QHash<QString, QList<QByteArray>> result;
        for (const QString& id : ids) {
            result.insert(id, sim.rooms(6, id.toLatin1()));
        }
        sim.ask("morvek2 set config active_config lab_main");
        return result;
    };
    const QHash<QString, QList<QByteArray>> before = roomsOfEach();
    for (const QString& id : ids.mid(1))
        QVERIFY2(before.value(id) != before.value(QStringLiteral("lab_main")), qPrintable(id));

    HostFixture host(sim.port(), sim.versions());
    QVERIFY2(host.attach(&error), qPrintable(error));
    ModalDriver driver(StepTimeoutMs);
    bool serviceSelectable = true;
    QString success;
    driver.click(QStringLiteral("roomCalibration"), QStringLiteral("pushButton_advanced"))
        .on(QStringLiteral("RoomcalPortDlgClass"),
            [&](QWidget* dialog) {
                selectTargets(dialog, {QStringLiteral("demo_area"), QStringLiteral("backup_2026")});
                auto* table =
                    dialog->findChild<QTableWidget*>(QStringLiteral("tableWidget_configs"));
                const QTableWidgetItem* service = rowItem(table, QStringLiteral("service"), 4);
                serviceSelectable = !service || service->flags() != Qt::NoItemFlags;
                dialog->findChild<QAbstractButton*>(QStringLiteral("pushButton_apply"))->click();
            })
        .on(QStringLiteral("transferConfirmation"),
            [](QWidget* box) { qobject_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click(); })
        .answer(QMessageBox::Ok, nullptr, &success)
        .click(QStringLiteral("RoomcalPortDlgClass"), QStringLiteral("pushButton_exit"))
        .click(QStringLiteral("roomCalibration"), QStringLiteral("pb_exit"));
    host.openDialog();
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join('\n')));
    QVERIFY(!serviceSelectable);
    QCOMPARE(success, QStringLiteral("Room calibration successfully transferred to the following "
                                     "configuration(s):\n\t- Backup 2026\n\t- Demo area\n\t"));
    QCOMPARE(host.moduleLog(), QStringList());

    QVERIFY2(sim.restart(&error), qPrintable(error));
    QCOMPARE(sim.value("config active_config"), QByteArray("lab_main"));
    const QHash<QString, QList<QByteArray>> after = roomsOfEach();
    const QList<QByteArray> active = before.value(QStringLiteral("lab_main"));
    QCOMPARE(after.value(QStringLiteral("lab_main")), active);
    QCOMPARE(after.value(QStringLiteral("demo_area")), active);
    QCOMPARE(after.value(QStringLiteral("backup_2026")), active);
    QCOMPARE(after.value(QStringLiteral("service")), before.value(QStringLiteral("service")));
}

ROOMCAL_TEST_MAIN(E2eWorkflowTest)
#include "tst_e2e_workflows.moc"
