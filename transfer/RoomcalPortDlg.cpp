#include "RoomcalPortDlg.h"

RoomcalPortDlg::RoomcalPortDlg(QWidget* parent, IOManager* io) : QDialog(parent), m_io(io) {}

int RoomcalPortDlg::fill_and_exec() { return exec(); }
