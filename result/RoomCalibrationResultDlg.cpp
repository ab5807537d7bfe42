#include "RoomCalibrationResultDlg.h"

RoomCalibrationResultDlg::RoomCalibrationResultDlg(IOManager* io, QWidget* parent,
                                                   BackendVersions* versions, bool recalibration)
    : QDialog(parent), m_io(io), m_versions(versions), m_recalibration(recalibration)
{
}

int RoomCalibrationResultDlg::update_and_exec() { return exec(); }
