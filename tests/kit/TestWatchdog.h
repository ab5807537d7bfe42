#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

// Keeps every suite bounded (installed by ROOMCAL_TEST_MAIN). A modal window that nothing waits
// for (an unexpected message box, say) is closed after closeAfterMs, shorter for later ones, and
// fails the running test. A row still running after ROOMCAL_TEST_HANG_SECONDS (default 45, below
// the CTest timeout) ends the process with the row's name.
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
