#include "TestWatchdog.h"

#include "ModalDriver.h"

#include <QApplication>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
// What the alarm handler says, written ahead, since a handler may only write what is there.
char g_stuckMessage[512];

void onAlarm(int)
{
    const ssize_t written = ::write(STDERR_FILENO, g_stuckMessage, std::strlen(g_stuckMessage));
    Q_UNUSED(written);
    std::_Exit(3);
}

QByteArray currentRow()
{
    const char* function = QTest::currentTestFunction();
    if (!function)
        return QByteArrayLiteral("the suite");
    const char* tag = QTest::currentDataTag();
    return QByteArray(function) + '(' + (tag ? tag : "") + ')';
}

} // namespace

TestWatchdog::TestWatchdog()
{
    const int seconds = qEnvironmentVariableIntValue("ROOMCAL_TEST_HANG_SECONDS");
    m_hangSeconds = seconds > 0 ? seconds : 45;
    std::signal(SIGALRM, onAlarm);
    m_timer.setInterval(50);
    connect(&m_timer, &QTimer::timeout, this, &TestWatchdog::beat);
    m_timer.start();
    beat();
}

TestWatchdog::~TestWatchdog()
{
    ::alarm(0);
}

void TestWatchdog::beat()
{
    // Armed once per row, the alarm ends a row that blocks the event loop as well as a busy one.
    const QByteArray row = currentRow();
    if (row != m_row) {
        m_row = row;
        std::snprintf(g_stuckMessage, sizeof g_stuckMessage,
                      "FAIL: watchdog: %s did not end within %d s\n", row.constData(),
                      m_hangSeconds);
        ::alarm(unsigned(m_hangSeconds));
    }

    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || ModalDriver::anyWaiting() || modal != m_modal) {
        m_modal = modal;
        m_modalSince.restart();
        return;
    }
    if (m_modalSince.elapsed() < m_closeAfterMs)
        return;
    const QString message = QStringLiteral("watchdog: closed %1, which nothing answered for %2 ms")
                                .arg(ModalDriver::describe(modal))
                                .arg(m_closeAfterMs);
    ModalDriver::closeAllModals();
    m_modal = nullptr;
    m_closeAfterMs = qMin(m_closeAfterMs, 500);
    if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(message), __FILE__, __LINE__);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}
