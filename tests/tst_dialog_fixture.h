#pragma once

// Shared set-up of the room calibration dialog suites: a controller that answers like a healthy
// system with three cameras, and a way to open the dialog and look at it while it is shown.

#include "dialog/RoomCalibrationDialog.h"
#include "kit/FakeIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"

#include <QDialog>
#include <functional>

namespace DialogFixture {

inline BackendVersions version(int major, int minor, const QString& model = "VANTA")
{
    BackendVersions v;
    v.versionMajor = major;
    v.versionMinor = minor;
    v.modelName = model;
    return v;
}

// "text=answer" sets an answer, "!text" makes that exchange fail.
inline void override(FakeIOManager& io, const QStringList& answers)
{
    for (const QString& a : answers) {
        if (a.startsWith('!'))
            io.fail(a.mid(1));
        else
            io.answer(a.section('=', 0, 0), a.section('=', 1));
    }
}

// Tracking idle but available, kit "Reference Set P" on a 410 mm wand, the "powerwall" system,
// a normal calibration, three cameras of which 1 and 3 are fixed.
inline void answerHealthy(FakeIOManager& io)
{
    override(io, {"roomcal number_of_available_coordinate_types=2",
                  "roomcal available_coordinate_type t01=normal",
                  "roomcal available_coordinate_type_desc normal=\"Normal\"",
                  "roomcal available_coordinate_type t02=powerwall",
                  "roomcal available_coordinate_type_desc powerwall=\"Powerwall\"",
                  "config is_changeable=yes",
                  "roomcal last_date='2023-05-04 10:20:30'",
                  "tracking available=yes",
                  "roomcal duration=30",
                  "roomcal has_type wand_no_angle=yes",
                  "status active=none",
                  "morvek2 tracking start=morvek2 ok",
                  "roomcal wand_length=410",
                  "roomcal angle=278 163 83",
                  "roomcal angle_height=55",
                  "roomcal coordinate_type=powerwall",
                  "roomcal type=wand",
                  "cal available room=yes",
                  "camera number_of_cameras=3",
                  "camera camera c01=0x0c01",
                  "morvek2 get camera model_desc 0x0c01=a b c d e \"M1\""});
    for (int i = 1; i <= 3; ++i) {
        const QString c = QStringLiteral("c0%1").arg(i);
        io.answer("morvek2 get camera camera " + c, "a b c d " + c + " 0x0c01 100" + c.back());
        io.answer("roomcal fixed_camera " + c, i == 2 ? "no" : "yes");
        io.answer("roomcal has_reference " + c, "yes");
    }
}

// Runs update_and_exec() and calls inspect while the dialog is shown; the dialog is then closed
// without its own exit handling, so the recorded exchanges are exactly those of the opening.
inline int open(FakeIOManager& io, RoomCalibrationDialog& dialog,
                const std::function<void()>& inspect = {})
{
    io.clearCalls();
    ModalDriver driver;
    driver.on(QStringLiteral("roomCalibration"), [&](QWidget* w) {
        if (inspect)
            inspect();
        static_cast<QDialog*>(w)->done(QDialog::Rejected);
    });
    const int result = dialog.update_and_exec();
    if (!driver.done() || !driver.errors().isEmpty())
        QTest::qFail(qPrintable("dialog not driven: " + driver.errors().join("; ")), __FILE__,
                     __LINE__);
    return result;
}

} // namespace DialogFixture
