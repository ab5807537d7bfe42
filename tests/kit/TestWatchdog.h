#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

// Keeps every suite bounded, installed by ROOMCAL_TEST_MAIN. The closer: a modal window that
// stays the active one for closeAfterMs while no ModalDriver waits for a window is one nothing
// will ever answer (an unexpected message box, say); it is closed and the running test fails,
// naming it, instead of the suite hanging. Later windows get a shorter grace, so that a fault
// that hangs every row does not cost seconds per row. The watchdog: a data row still running,
// busy or blocked, after ROOMCAL_TEST_HANG_SECONDS (default 45, below the CTest timeout) ends
// the process with the row's name.
class TestWatchdog : public QObject
{
    Q_OBJECT

public:
    TestWatchdog();
    ~TestWatchdog() override;

private:
    void beat();

    QTimer m_timer;
    int m_closeAfterMs = 3000;
    QPointer<QWidget> m_modal;
    QElapsedTimer m_modalSince;
    int m_hangSeconds;
    QByteArray m_row;
};
