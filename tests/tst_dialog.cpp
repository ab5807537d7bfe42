// The room calibration dialog: form, inputs, opening, leaving and a run up to the record file.
#include "dialog/RoomCalibrationDialog.h"
#include "kit/FakeIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"

#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>

namespace {
// "1.23" or "1.23 TESSERA3"; the model defaults to one with the standard kit table.
BackendVersions version(const QString& text)
{
    const QString number = text.section(' ', 0, 0), model = text.section(' ', 1);
    return BackendVersions{number.section('.', 0, 0).toInt(), number.section('.', 1).toInt(), 0,
                           model.isEmpty() ? QStringLiteral("VANTA") : model};
}

// "text=answer" sets an answer, "!text" makes that exchange fail.
void override(FakeIOManager& io, const QStringList& answers)
{
    for (const QString& a : answers)
        a.startsWith('!') ? io.fail(a.mid(1)) : io.answer(a.section('=', 0, 0), a.section('=', 1));
}

// Tracking idle but available, kit "Reference Set P" on a 410 mm wand, the "powerwall" system,
// a normal calibration, three cameras of which 1 and 3 are fixed, and what a run reports.
void answerHealthy(FakeIOManager& io)
{
    override(io, QString("roomcal number_of_available_coordinate_types=2|"
                         "roomcal available_coordinate_type t01=normal|"
                         "roomcal available_coordinate_type_desc normal=\"Normal\"|"
                         "roomcal available_coordinate_type t02=powerwall|"
                         "roomcal available_coordinate_type_desc powerwall=\"Powerwall\"|"
                         "config is_changeable=yes|roomcal last_date='2023-05-04 10:20:30'|"
                         "tracking available=yes|roomcal duration=30|status active=none|"
                         "roomcal has_type wand_no_angle=yes|morvek2 tracking start=morvek2 ok|"
                         "roomcal wand_length=410|roomcal angle=278 163 83|roomcal angle_height=55|"
                         "roomcal coordinate_type=powerwall|roomcal type=wand|"
                         "cal available room=yes|camera number_of_cameras=3|"
                         "morvek2 get camera model_desc 0x0c01=a b c d e \"M1\"")
                     .split('|'));
    for (int i = 1; i <= 3; ++i) {
        const QString c = QString("c0%1").arg(i);
        io.answer("morvek2 get camera camera " + c,
                  QString("a b c d %1 0x0c01 100%2").arg(c).arg(i));
        io.answer("roomcal fixed_camera " + c, i == 2 ? "no" : "yes");
        io.answer("roomcal has_reference " + c, "yes");
        io.answer("camera camera " + c, QString("0x0c01 100%1").arg(i));
        io.answer("roomcal cam_residual " + c, QString("0.%1").arg(i * 111));
        io.answer("roomcal new " + c, QString("%1 0 0 %2% %3").arg(i).arg(i * 10).arg("%1"));
    }
}

// Calls inspect while update_and_exec() shows the dialog, then closes it past its exit handling.
void open(FakeIOManager& io, RoomCalibrationDialog& dialog, const std::function<void()>& inspect)
{
    io.clearCalls();
    ModalDriver driver;
    driver.on(QStringLiteral("roomCalibration"), [&](QWidget* w) {
        inspect();
        static_cast<QDialog*>(w)->done(QDialog::Rejected);
    });
    dialog.update_and_exec();
    if (!driver.done())
        QTest::qFail("the dialog was not shown", __FILE__, __LINE__);
}

// Opening reads whose order matters (one needs another's answer); the rest need only happen.
const QList<QStringList> OrderedReads = {
    {"getInt roomcal number_of_available_coordinate_types",
     "getString roomcal available_coordinate_type t01",
     "getString roomcal available_coordinate_type_desc normal",
     "getString roomcal available_coordinate_type t02",
     "getString roomcal available_coordinate_type_desc powerwall"},
    {"getString status active", "getString tracking available",
     "sendCommand morvek2 tracking start"},
    {"getString roomcal has_type wand_no_angle", "getString roomcal type"},
    {"getInt camera number_of_cameras", "sendCommand morvek2 get camera camera c01",
     "sendCommand morvek2 get camera model_desc 0x0c01"}};

// Whether the calls hold each ordered group, as far as it is expected, in its order.
bool orderedAsExpected(const QStringList& calls, const QStringList& expected)
{
    for (const QStringList& group : OrderedReads) {
        int next = 0;
        QStringList order;
        for (const QString& read : group)
            if (expected.contains(read))
                order << read;
        for (const QString& call : calls)
            next += next < order.size() && call == order.at(next);
        if (next < order.size())
            return false;
    }
    return true;
}

QString numbers(const QVariantList& values)
{
    QStringList n;
    for (const QVariant& value : values)
        n << QString::number(value.toDouble());
    return n.join(' ');
}
} // namespace

class TestDialog : public QObject
{
    Q_OBJECT

private slots:
    // Hosts and forms reach the slots by name; only the one the menu action runs is public.
    void slotsKeepTheirNamesAndOrder()
    {
        const QMetaObject& mo = RoomCalibrationDialog::staticMetaObject;
        QStringList methods;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            methods << mo.method(i).name();
            QCOMPARE(mo.method(i).access() == QMetaMethod::Public, i == mo.methodOffset());
        }
        QCOMPARE(methods.join(' '),
                 QString("update_and_exec on_pushButton_advanced_clicked "
                         "on_doubleSpinBox_duration_valueChanged "
                         "on_pushButton_durationDefault_clicked on_pushButton_details_clicked "
                         "on_tableStaticCameras_cellChanged "
                         "on_cb_calibrationSet_currentIndexChanged "
                         "on_cb_coordinateType_currentIndexChanged on_pb_calibrate_clicked "
                         "on_checkBox_recal_stateChanged on_dsb_wand_valueChanged "
                         "on_dsb_a_valueChanged on_dsb_b_valueChanged on_dsb_c_valueChanged "
                         "keyPressEvent on_pb_exit_clicked"));
    }

    // The user's choice of a kit (the program's is part of the opening), then of a coordinate type.
    void userInputs_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("kit");
        QTest::addColumn<QString>("shown"); // A B C height wand, "focus" when the wand has it
        QTest::addColumn<QString>("type");
        QTest::addColumn<QSize>("picture");

        QTest::newRow("S active, standing") << "1.23" << 2 << "192 57 112.5 15.5 204.63"
                                            << "powerwall_standing" << QSize(166, 124);
        QTest::newRow("expert, mid camera") << "1.23" << 6 << "240 90 150 40 999 focus"
                                            << "mid_camera" << QSize(164, 124);
        // A longer model name gets the full list but the short list's wand mapping.
        QTest::newRow("longer name, S, mid camera")
            << "1.23 TESSERA3" << 1 << "192 57 112.5 15.6 999 focus"
            << "mid_camera" << QSize(164, 102);
        QTest::newRow("L, normal") << "1.23" << 5 << "710 200 550 43 710"
                                   << "normal" << QSize(166, 124);
        QTest::newRow("M flat, normal") << "1.23" << 3 << "384 114 225 15.5 410"
                                        << "normal" << QSize(166, 124);
        QTest::newRow("short list, M, normal") << "1.23 TESSERA" << 0 << "384 114 225 40 410"
                                               << "normal" << QSize(166, 124);
    }

    void userInputs()
    {
        QFETCH(QString, version);
        QFETCH(int, kit);
        QFETCH(QString, type);
        FakeIOManager io;
        BackendVersions v = ::version(version);
        RoomCalibrationDialog dialog(&io, nullptr, &v);
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.cb_calibrationSet->setCurrentIndex(kit == 0 ? 1 : 0);
        dialog.dsb_wand->setValue(999.0);
        dialog.cb_calibrationSet->setFocus();
        dialog.cb_calibrationSet->setCurrentIndex(kit);
        QString shown =
            numbers({dialog.dsb_a->value(), dialog.dsb_b->value(), dialog.dsb_c->value(),
                     dialog.doubleSpinBox_heightAboveFloor->value(), dialog.dsb_wand->value()});
        auto* edit = dialog.dsb_wand->findChild<QLineEdit*>();
        if (dialog.dsb_wand->hasFocus())
            shown += edit->selectedText() == edit->text() ? " focus" : " focus, not selected";
        QTEST(shown, "shown");
        // Only the expert row lets the user type the angle tool.
        QCOMPARE(dialog.dsb_a->isEnabled(), kit == dialog.cb_calibrationSet->count() - 1);

        dialog.cb_coordinateType->addItem("first", "powerwall");
        dialog.cb_coordinateType->addItem("second", type);
        dialog.cb_coordinateType->setCurrentIndex(1);
        QTEST(dialog.l_CoordinateSystem->pixmap(Qt::ReturnByValue).size(), "picture");
        // The grid holds the ten widgets of the angle tool.
        auto visible = [&] {
            int shown = 0;
            for (int i = 0; i < dialog.gridLayout->count(); ++i)
                shown += !dialog.gridLayout->itemAt(i)->widget()->isHidden();
            return shown;
        };
        QCOMPARE(visible(), type == "mid_camera" ? 0 : 10);
        QCOMPARE(dialog.checkBox_recal->isEnabled(), type != "mid_camera");
        dialog.cb_coordinateType->setCurrentIndex(0);
        QVERIFY(visible() == 10 && dialog.checkBox_recal->isEnabled());

        // The transfer dialog runs with tracking stopped, and tracking runs again after it.
        io.answer("status active", "none");
        io.answer("tracking available", "yes");
        ModalDriver transfer;
        transfer.reject("RoomcalPortDlgClass");
        io.clearCalls();
        dialog.pushButton_advanced->click();
        QVERIFY(transfer.done());
        QCOMPARE(io.callsOf("sendCommand"), QStringList{"morvek2 tracking start"});
        // Esc stops tracking that runs, and closes the dialog.
        io.answer("status active", "cal");
        io.clearCalls();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(io.calls.join('|'), "getString status active|sendCommand morvek2 tracking stop");
        QVERIFY(dialog.isHidden() && dialog.result() == QDialog::Rejected);
    }

    void opening_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QStringList>("answers"); // "text=answer", or "!text" for a failed read
        QTest::addColumn<QString>("changes");     // what differs from a healthy opening
        QTest::addColumn<QString>("calls");       // every exchange, where given

        QString fill = "getInt camera number_of_cameras";
        for (const QString c : {"c01", "c02", "c03"})
            fill += "|sendCommand morvek2 get camera camera " + c +
                    "|sendCommand morvek2 get camera model_desc 0x0c01|getFlag roomcal "
                    "fixed_camera " +
                    c + "|getFlag roomcal has_reference " + c;
        // Checking re-calibration fills the table once, and the end of the opening again.
        const QString opening =
            "getString roomcal has_type wand_no_angle|getString status active|%1"
            "sendCommand morvek2 tracking start|getDouble roomcal wand_length|getDoubles roomcal "
            "angle|%2getString roomcal coordinate_type|getString roomcal type|%3|getString cal "
            "available room|%3";
        auto row = [](const char* name, const QStringList& answers, const QString& changes,
                      const char* version = "1.23", const QString& calls = {}) {
            QTest::newRow(name) << version << answers << changes << calls;
        };
        row("healthy", {}, "", "1.23",
            "getInt roomcal number_of_available_coordinate_types|getString roomcal "
            "available_coordinate_type t01|getString roomcal available_coordinate_type_desc "
            "normal|getString roomcal available_coordinate_type t02|getString roomcal "
            "available_coordinate_type_desc powerwall|getString config is_changeable|getString "
            "roomcal last_date|getString tracking available|getDouble roomcal duration|" +
                opening.arg("getString tracking available|", "getDouble roomcal angle_height|",
                            fill));
        fill.remove(QRegularExpression("\\|getFlag roomcal has_reference c0."));
        // The duration is the controller's only from 0.12 on; before, it is fixed at 30 s.
        row("before 0.12", {"roomcal duration=45"},
            "types=3|date=-|duration=30-|kit=6|angle=278 163 83 0|expert=?|inputs=10000", "0.11",
            opening.arg("", "", fill));
        row("longer duration", {"roomcal duration=45"}, "duration=45+|details=Hide &details");

        const QString types = "log=Error: Cannot get information room calibration coordinate type";
        row("type count fails", {"!roomcal number_of_available_coordinate_types"},
            "type=|types=0|" + types + "s");
        row("type name and duration fail",
            {"!roomcal available_coordinate_type t02", "!roomcal duration"},
            "types=3|" + types + " name;Error: Cannot get information room calibration duration");
        row("wand fails", {"!roomcal wand_length"}, "wand=0|calibrate=000");
        row("angle fails", {"!roomcal angle"}, "calibrate=000|kit=6|angle=0 0 0 55|expert=?");
        row("type fails", {"!roomcal type"}, "recal=0+|table=|toggle=|inputs=11111");
        row("last date and tracking fail", {"!roomcal last_date", "!tracking available"},
            "date=-|tracking=0");
        // The controller's "never" in either spelling.
        row("epoch date", {"roomcal last_date=1970-01-01T00:00:00"}, "date=-");
        row("tracking runs", {"status active=cal"},
            "tracking=0|exit=getString status active;sendCommand morvek2 tracking stop");
        row("read-only", {"config is_changeable=no"},
            "calibrate=000|duration=30-|recal=1-|inputs=00001");
        row("tracking not available", {"tracking available=no"},
            "wand=410|calibrate=000|type=normal|recal=0-|tracking=0|duration=30-|angle=0 0 0 0|"
            "table=|toggle=|inputs=00000");
        row("cal not available", {"cal available room=Yes"}, "calibrate=000");
        row("zero B", {"roomcal angle=278 163 0"},
            "calibrate=001|kit=6|angle=278 163 0 55|expert=?");
        // The height takes no part in the zero rule, but a kit must match it exactly.
        row("zero height", {"roomcal angle_height=0"}, "kit=6|angle=278 163 83 0|expert=?");
        // The program's selection of a matching kit applies none of its values.
        row("S active, not S", {"roomcal angle=192 112.5 57", "roomcal angle_height=15.5"},
            "kit=2|angle=192 112.5 57 15.5");
        row("P in A B C order", {"roomcal angle=278 83 163"}, "kit=6|angle=278 83 163 55|expert=?");
        // The static cameras table: name with check state, status, model, serial, enabled.
        const QString one = "camera number_of_cameras=1";
        const QString c01 = "morvek2 get camera camera c01=a b c d c01 ";
        row("no cameras", {"camera number_of_cameras=0"}, "table=|toggle=");
        row("type code only", {one, c01 + "0x0c01"}, "table=c01x,static,M1,,1");
        row("serials looked up",
            {"camera number_of_cameras=2", c01 + "0x0B01 77 x",
             "morvek2 get camera camera c02=a b c d c02 0x0d02 99",
             "morvek2 get camera model_desc 0x0B01=a b c d e B",
             "camera serial_desc 0x0B01 77=\"SN 77\"", "camera serial_desc 0x0d02 99=SN 99"},
            "table=c01x,static,B,SN 77,1;c02-,moved,,SN 99,1");
        // The mid-camera type is offered for up to two cameras.
        const QStringList mid = {"roomcal number_of_available_coordinate_types=3",
                                 "roomcal available_coordinate_type t03=mid_camera",
                                 "roomcal available_coordinate_type_desc mid_camera=Mid"};
        row("mid camera, two cameras", mid + QStringList{"camera number_of_cameras=2"},
            "types=3|table=c01x,static,M1,1001,1;c02-,moved,M1,1002,1");
        row("mid camera, three cameras", mid, "");
        row("no reference", {"roomcal has_reference c02=no"},
            "table=c01x,static,M1,1001,1;c02-,moved,M1,1002,0;c03x,static,M1,1003,1");
        row("flags unreadable", {one, "!roomcal fixed_camera c01", "!roomcal has_reference c01"},
            "table=c01-,moved,M1,1001,1");
        // Three-digit names, and a garbled count that must not stall the GUI in millions of rows
        // and exchanges.
        row("absurd camera count", {"camera number_of_cameras=100000"},
            "table=c01x,static,M1,1001,1;...;c999-,moved,,,1");
    }

    void opening()
    {
        QFETCH(QString, version);
        QFETCH(QStringList, answers);
        QFETCH(QString, changes);
        QFETCH(QString, calls);
        FakeIOManager io;
        answerHealthy(io);
        override(io,
                 QStringList{"roomcal type=wand_no_angle", "roomcal wand_length=500"} + answers);
        BackendVersions v = ::version(version);
        RoomCalibrationDialog d(&io, nullptr, &v);
        QString opened, angle;
        QStringList shown;
        open(io, d, [&] {
            opened = io.calls.join('|');
            const auto on = [](const QWidget* w) { return QString::number(w->isEnabled()); };
            angle = numbers({d.dsb_a->value(), d.dsb_c->value(), d.dsb_b->value(),
                             d.doubleSpinBox_heightAboveFloor->value()});
            QTableWidget* t = d.tableStaticCameras;
            QStringList table;
            for (int r = 0; r < t->rowCount(); ++r)
                table << QString("%1%2,%3,%4,%5,%6")
                             .arg(t->item(r, 0)->text(),
                                  t->item(r, 0)->checkState() == Qt::Checked ? "x" : "-",
                                  t->item(r, 1)->text(), t->item(r, 2)->text(),
                                  t->item(r, 3)->text(), t->item(r, 0)->flags() ? "1" : "0");
            if (table.size() > 3)
                table = QStringList{table.first(), "...", table.last()};
            shown << "wand=" + QString::number(d.dsb_wand->value())
                  << "type=" + d.cb_coordinateType->currentData().toString()
                  << "types=" + QString::number(d.cb_coordinateType->count())
                  << "recal=" + QString::number(d.checkBox_recal->isChecked()) +
                         (d.checkBox_recal->isEnabled() ? "+" : "-")
                  << "tracking=" + QString::number(opened.contains("morvek2 tracking start"))
                  << "date=" + d.label_lastRoomcal->text().section(": ", 1)
                  << "duration=" + QString::number(d.doubleSpinBox_duration->value()) +
                         (d.doubleSpinBox_duration->isEnabled() ? "+" : "-")
                  << "details=" + d.pushButton_details->text()
                  << "kit=" + QString::number(d.cb_calibrationSet->currentIndex())
                  << "angle=" + angle
                  << "expert=" + numbers(d.cb_calibrationSet->itemData(6).toList())
                  << "table=" + table.join(';') << "log=" + io.logLines.join(';')
                  << "inputs=" + on(d.dsb_wand) + on(d.cb_calibrationSet) +
                         on(d.cb_coordinateType) + on(d.pushButton_durationDefault) +
                         on(d.label_duration);
            // One measured height serves all rows; it must be what measuring each would give.
            const int height = t->verticalHeader()->length();
            t->resizeRowsToContents();
            QCOMPARE(t->verticalHeader()->length(), height);
            // The status follows the user's check box at once; partly checked counts as static.
            QString toggle = "toggle=";
            for (Qt::CheckState state : {Qt::Unchecked, Qt::PartiallyChecked})
                if (t->rowCount() > 0) {
                    t->item(0, 0)->setCheckState(state);
                    toggle += t->item(0, 1)->text() + ' ';
                }
            // Then the guard while typing: B 0, then B 57.
            QString calibrate = "calibrate=" + on(d.pb_calibrate);
            d.dsb_b->setValue(0.0);
            calibrate += on(d.pb_calibrate);
            d.dsb_b->setValue(57.0);
            // Exit stops tracking that runs, and closes the dialog.
            io.clearCalls();
            shown << toggle.trimmed() << calibrate + on(d.pb_calibrate);
            d.pb_exit->click();
            shown << "exit=" + io.calls.join(';') + (d.isVisible() ? " (still open)" : "");
        });
        if (!calls.isEmpty()) {
            QStringList got = opened.split('|'), expected = calls.split('|');
            QVERIFY2(orderedAsExpected(got, expected), qPrintable(opened));
            std::sort(got.begin(), got.end());
            std::sort(expected.begin(), expected.end());
            QCOMPARE(got, expected);
        }
        // The fields show what was read, and only the expert row takes values that match no kit.
        QStringList expected =
            QString("wand=500|type=powerwall|types=2|recal=1+|tracking=1|"
                    "date=2023-05-04T10:20:30|duration=30+|details=Show &details|kit=0|"
                    "angle=278 163 83 55|expert=240 150 90 40|table=c01x,static,M1,1001,1;"
                    "c02-,moved,M1,1002,1;c03x,static,M1,1003,1|log=|inputs=10011|"
                    "toggle=moved static|calibrate=101|exit=getString status active")
                .split('|');
        for (const QString& change : changes.split('|', Qt::SkipEmptyParts)) {
            const int at = expected.indexOf(QRegularExpression(change.section('=', 0, 0) + "=.*"));
            QVERIFY2(at >= 0, qPrintable(change));
            expected[at] = change == "expert=?" ? "expert=" + angle : change;
        }
        QCOMPARE(shown, expected);
        // Opening again lists every coordinate type once.
        const int types = d.cb_coordinateType->count();
        open(io, d, [] {});
        QCOMPARE(d.cb_coordinateType->count(), types);
    }

    void calibrate_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("cameras"); // check box per camera (x ~ -); none: normal run
        QTest::addColumn<QStringList>("answers");
        // How it ends: the run refused, a warning that stops it, or the user's judgement.
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("expected"); // up to the start of the run

        const QString duration = "getDouble roomcal duration|setParameter roomcal duration 45.0|";
        const QString tail = "setParameter roomcal angle 278.000 163.000 83.000|setParameter "
                             "roomcal angle_height 55.000|setParameter roomcal wand_length "
                             "410.000|setParameter roomcal coordinate_type powerwall|"
                             "logMessage calibration started";
        const QString normal = "setParameter roomcal type wand|" + tail;
        const QString minimum = duration + "getInt roomcal fixed_camera_min_number";
        const QString recal =
            minimum + "|setParameter roomcal type wand_no_angle|getString camera camera c01|";
        const QString fixed = "sendCommand morvek2 set roomcal fixed_camera c0%1 %2|";
        auto table = [&](const char* c01, const char* c02, const char* c03) {
            return recal + fixed.arg(1).arg(c01) + fixed.arg(2).arg(c02) + fixed.arg(3).arg(c03) +
                   tail;
        };
        const QString one = "roomcal fixed_camera_min_number=1",
                      two = "roomcal fixed_camera_min_number=2";
        const QStringList run = {"cal step_pause room s01=no", "morvek2 cal room start=morvek2 ok",
                                 "roomcal wand_residual=0.12345 1.5",
                                 "morvek2 roomcal accept_new_calibration=morvek2 ok"};
        auto row = [](const char* name, const char* cameras, const QStringList& answers,
                      const QString& expected, const QString& ending = {},
                      const char* version = "1.23") {
            QTest::newRow(name) << version << cameras << answers << ending << expected;
        };

        row("new duration", "", {}, duration + normal);
        row("same duration", "", {"roomcal duration=45"}, "getDouble roomcal duration|" + normal);
        row("duration unreadable", "", {"!roomcal duration"},
            "getDouble roomcal duration|logMessage Error: Cannot get information room "
            "calibration duration|setParameter roomcal duration 45.0|" +
                normal);
        row("duration refused", "", {"!roomcal duration 45.0"},
            duration + "logMessage Error: Cannot set room calibration duration|" + normal);
        row("before 0.12", "", {},
            QString(normal).remove("setParameter roomcal angle_height 55.000|"), {}, "0.11");
        row("disabled row still sent", "xxx", {two, "roomcal has_reference c02=no"},
            table("yes", "yes", "yes"));
        row("partly checked, first camera unreadable", "x~x", {two, "!camera camera c01"},
            table("yes", "no", "yes"));
        row("first camera pairs with the second", "x--",
            {one, "camera camera c01=0X07ff", "!roomcal fixed_camera c02 yes"},
            recal +
                "setParameter roomcal fixed_camera c01 yes|setParameter roomcal fixed_camera "
                "c02 yes|logMessage Error: Cannot set fixed camera for room recalibration|" +
                tail);
        row("one static too few", "x--", {two}, minimum, "At least 2 cameras must be static");
        row("one needed", "---", {one}, minimum, "At least one camera must be static");
        row("minimum unreadable", "x--", {},
            minimum + "|logMessage Error: Cannot get information of minimum number of fixed camera",
            "At least 2 cameras must be static");
        row("model family not counted", "---", {two}, table("no", "no", "no"), {}, "1.23 TESSERA3");
        row("discarded", "", run, duration + normal, "discarded");
        row("accepted", "", run, duration + normal, "accepted");
        row("accepted without folder", "", run, duration + normal, "accepted, no folder");
    }

    void calibrate()
    {
        QFETCH(QString, version);
        QFETCH(QString, cameras);
        QFETCH(QStringList, answers);
        QFETCH(QString, ending);
        const bool warned = ending.startsWith("At least"), accepted = ending.startsWith("accepted");
        QTemporaryDir home; // the record file's folder lies there
        qputenv("HOME", home.path().toLocal8Bit());
        QFile file(home.path() + "/.OLV/MORVEK3/roomcal_out.txt");
        if (!ending.endsWith("no folder"))
            QVERIFY(QDir(home.path()).mkpath(".OLV/MORVEK3") && file.open(QIODevice::WriteOnly) &&
                    file.write("# an earlier block\n") > 0);
        file.close();
        FakeIOManager io;
        answerHealthy(io);
        override(io, answers);
        BackendVersions v = ::version(version);
        RoomCalibrationDialog dialog(&io, nullptr, &v);
        QString title, text;
        ModalDriver driver;
        if (warned)
            driver.answer(QMessageBox::Ok, &title, &text);
        else if (!ending.isEmpty())
            driver.click("RoomCalibrationResultDialog", accepted ? "pushButton_2" : "pushButton_3");
        QString state;
        open(io, dialog, [&] {
            dialog.doubleSpinBox_duration->setValue(45.0);
            dialog.checkBox_recal->setChecked(!cameras.isEmpty());
            for (int row = 0; row < cameras.size(); ++row)
                dialog.tableStaticCameras->item(row, 0)->setCheckState(
                    Qt::CheckState(QString("-~x").indexOf(cameras[row])));
            io.clearCalls();
            io.answer("roomcal last_date", "2024-01-02 03:04:05");
            QMetaObject::invokeMethod(&dialog, "on_pb_calibrate_clicked");
            state = dialog.isVisible() ? "open" : dialog.result() ? "accepted" : "rejected";
        });
        QVERIFY(driver.done() && driver.errors().isEmpty());

        // A warning leaves nothing after it.
        const int started = io.calls.indexOf("logMessage calibration started");
        QTEST(io.calls.mid(0, started < 0 ? -1 : started + 1).join('|'), "expected");
        QCOMPARE(title + text, warned ? "MORVEK3" + ending : QString());
        const QString outcome = ending.isEmpty() ? "canceled" : ending.section(',', 0, 0);
        QCOMPARE(io.logLines.filter(QRegularExpression("^calibration ")).join('|'),
                 warned ? "" : "calibration started|calibration " + outcome);
        QCOMPARE(state, QString(accepted ? "accepted" : "open"));
        // Only an accepted result is adopted, and then tracking is not restarted.
        if (!warned)
            QCOMPARE(io.calls.mid(io.calls.lastIndexOf(QRegularExpression("^sendCommand .*")))
                         .filter(QRegularExpression("^(?!logMessage)")),
                     (accepted ? QStringList{"sendCommand morvek2 roomcal accept_new_calibration",
                                             "getString roomcal last_date"}
                               : QStringList{"sendCommand morvek2 tracking start"}));
        QCOMPARE(dialog.label_lastRoomcal->text().endsWith("2024-01-02T03:04:05"), accepted);
        // The folder is never created. An earlier block stays in front of the new one, which
        // ends in the commands that would restore this calibration.
        QCOMPARE(QDir(home.path() + "/.OLV").exists(), file.exists());
        if (!file.exists())
            return;
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QString record = QString::fromLatin1(file.readAll());
        record.replace(
            QRegularExpression("created \\w{3} \\w{3} \\d{1,2} \\d\\d:\\d\\d:\\d\\d \\d{4}\n"),
            "created DATE\n");
        const QString block = "# Roomcalibration  created DATE\n"
                              "# Wand residual: 0.123   wand range 1.500\n"
                              "# Cam residual C01 (0x0c01 1001): 0.111\n"
                              "# Cam residual C02 (0x0c01 1002): 0.222\n"
                              "# Cam residual C03 (0x0c01 1003): 0.333\n#" +
                              QString(69, '-') +
                              "\n\n"
                              "morvek2 set tracking room c01 1 0 0 10% %1\n"
                              "morvek2 set tracking room c02 2 0 0 20% %1\n"
                              "morvek2 set tracking room c03 3 0 0 30% %1\n";
        QCOMPARE(record, "# an earlier block\n" + (accepted ? block : QString()));
    }
};

ROOMCAL_TEST_MAIN(TestDialog)
#include "tst_dialog.moc"
