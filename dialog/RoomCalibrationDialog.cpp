#include "RoomCalibrationDialog.h"

#include "progress/CalibrationProgressDlg.h"

#include <QKeyEvent>

RoomCalibrationDialog::RoomCalibrationDialog(IOManager* io, QWidget* parent,
                                             BackendVersions* versions)
    : QDialog(parent), m_io(io), m_parent(parent), m_versions(versions)
{
    setupUi(this);
    m_lockIcon = QIcon(QStringLiteral(":/lock.png"));
    m_progress = new CalibrationProgressDlg(m_io, this, m_versions, false);
}

RoomCalibrationDialog::~RoomCalibrationDialog() { delete m_progress; }

int RoomCalibrationDialog::update_and_exec() { return exec(); }

void RoomCalibrationDialog::on_pushButton_advanced_clicked() {}
void RoomCalibrationDialog::on_doubleSpinBox_duration_valueChanged(double) {}
void RoomCalibrationDialog::on_pushButton_durationDefault_clicked() {}
void RoomCalibrationDialog::on_pushButton_details_clicked() {}
void RoomCalibrationDialog::on_tableStaticCameras_cellChanged(int, int) {}
void RoomCalibrationDialog::on_cb_calibrationSet_currentIndexChanged(int) {}
void RoomCalibrationDialog::on_cb_coordinateType_currentIndexChanged(int) {}
void RoomCalibrationDialog::on_pb_calibrate_clicked() {}
void RoomCalibrationDialog::on_checkBox_recal_stateChanged(int) {}
void RoomCalibrationDialog::on_dsb_wand_valueChanged(double) {}
void RoomCalibrationDialog::on_dsb_a_valueChanged(double) {}
void RoomCalibrationDialog::on_dsb_b_valueChanged(double) {}
void RoomCalibrationDialog::on_dsb_c_valueChanged(double) {}
void RoomCalibrationDialog::keyPressEvent(QKeyEvent* event) { QDialog::keyPressEvent(event); }
void RoomCalibrationDialog::on_pb_exit_clicked() { reject(); }
