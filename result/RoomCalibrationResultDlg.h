#pragma once

#include "plugin/ControllerText.h"

#include "ui_RoomCalibrationResultDialog.h"

#include <QDialog>

class IOManager;
class QShowEvent;
struct BackendVersions;

// Shows the outcome of a finished room calibration so that the user can keep or discard it.
// Keeping a calibration that is not a re-calibration also clears an active room adjustment,
// which the dialog announces before the user decides.
class RoomCalibrationResultDlg : public QDialog, public Ui::RoomCalibrationResultDialog
{
    Q_OBJECT

public:
    RoomCalibrationResultDlg(IOManager* io, QWidget* parent, BackendVersions* versions,
                             bool recalibration);

    static constexpr int MaxCameras = ControllerText::MaxCount;

public slots:
    int update_and_exec();
    void accept() override;

protected slots:
    void showEvent(QShowEvent* event) override;

private:
    bool check_room_adjustment();
    void reset_room_adjustment();
    // False when no camera used any frame, or none of their results could be read.
    bool fill_cameras();
    void warn_empty_result();

    IOManager* m_io;
    BackendVersions* m_versions;
    bool m_adjustmentFree = true;
    bool m_recalibration;
};
