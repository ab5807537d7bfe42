#pragma once

#include <QDialog>

class IOManager;
struct BackendVersions;

// Placeholder until the result review lands.
class RoomCalibrationResultDlg : public QDialog
{
    Q_OBJECT

public:
    RoomCalibrationResultDlg(IOManager* io, QWidget* parent, BackendVersions* versions,
                             bool recalibration);

public slots:
    int update_and_exec();

private:
    IOManager* m_io;
    BackendVersions* m_versions;
    bool m_recalibration;
};
