#include "CalibrationProgressDlg.h"

CalibrationProgressDlg::CalibrationProgressDlg(IOManager* io, QWidget* parent,
                                               BackendVersions* versions, bool stepwise)
    : QDialog(nullptr), m_io(io), m_versions(versions)
{
    Q_UNUSED(parent);
    Q_UNUSED(stepwise);
}

int CalibrationProgressDlg::run_calibration(const char* type)
{
    Q_UNUSED(type);
    return 0;
}

void CalibrationProgressDlg::detach_receiver() {}
