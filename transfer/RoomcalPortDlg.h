#pragma once

#include <QDialog>

class IOManager;

// Placeholder until the calibration transfer lands.
class RoomcalPortDlg : public QDialog
{
    Q_OBJECT

public:
    RoomcalPortDlg(QWidget* parent, IOManager* io);
    int fill_and_exec();

private:
    IOManager* m_io;
};
