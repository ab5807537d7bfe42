#include "TestWatchdog.h"

#include "ModalDriver.h"

#include <QApplication>
#include <QMessageBox>
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
        return {};
    const char* tag = QTest::currentDataTag();
    return QByteArray(function) + '(' + (tag ? tag : "") + ')';
}

QString describe(QWidget* w)
{
    QString text = w->objectName() + QLatin1Char('/') + QLatin1String(w->metaObject()->className());
    if (auto* box = qobject_cast<QMessageBox*>(w))
        text += QStringLiteral(" \"%1\": %2").arg(box->windowTitle(), box->text());
    return text;
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
    // Every beat puts the alarm off: it goes off only when the main thread stops processing
    // events for that long.
    ::alarm(unsigned(m_hangSeconds));
    const QByteArray row = currentRow();
    if (row != m_row || !m_rowSince.isValid()) {
        m_row = row;
        m_rowSince.restart();
        std::snprintf(g_stuckMessage, sizeof g_stuckMessage,
                      "FAIL: watchdog: %s stopped processing events for over %d s\n",
                      row.isEmpty() ? "the suite" : row.constData(), m_hangSeconds);
    }
    if (!m_row.isEmpty() && m_rowSince.elapsed() > 1000 * qint64(m_hangSeconds)) {
        std::fprintf(stderr, "FAIL: watchdog: %s ran for over %d s\n", m_row.constData(),
                     m_hangSeconds);
        std::fflush(stderr);
        std::_Exit(3);
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
                                .arg(describe(modal))
                                .arg(m_closeAfterMs);
    ModalDriver::closeAllModals();
    m_modal = nullptr;
    m_closeAfterMs = qMin(m_closeAfterMs, 500);
    if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(message), __FILE__, __LINE__);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}
