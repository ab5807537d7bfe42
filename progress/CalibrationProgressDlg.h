#pragma once

#include <QDialog>

class IOManager;
struct BackendVersions;

// Placeholder until the calibration run lands: the public operations that the room calibration
// dialog and the module rely on.
class CalibrationProgressDlg : public QDialog
{
    Q_OBJECT

public:
    CalibrationProgressDlg(IOManager* io, QWidget* parent, BackendVersions* versions,
                           bool stepwise);
    int run_calibration(const char* type);
    void detach_receiver();

private:
    IOManager* m_io;
    BackendVersions* m_versions;
};
