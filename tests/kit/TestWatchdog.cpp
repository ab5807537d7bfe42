#include "TestWatchdog.h"

#include "ModalDriver.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QThread>
#include <cstdio>
#include <cstdlib>

namespace {
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
    m_hangMs = 1000 * qint64(seconds > 0 ? seconds : 45);
    m_rowSince.start();
    m_lastBeat.start();
    m_timer.setInterval(50);
    connect(&m_timer, &QTimer::timeout, this, &TestWatchdog::beat);
    m_timer.start();
    m_thread = QThread::create([this] { watch(); });
    m_thread->start();
}

TestWatchdog::~TestWatchdog()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stopping = true;
        m_stop.wakeAll();
    }
    m_thread->wait();
    delete m_thread;
}

void TestWatchdog::beat()
{
    {
        QMutexLocker lock(&m_mutex);
        const QByteArray row = currentRow();
        if (row != m_row) {
            m_row = row;
            m_rowSince.restart();
        }
        m_lastBeat.restart();
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

void TestWatchdog::watch()
{
    QMutexLocker lock(&m_mutex);
    while (!m_stopping) {
        m_stop.wait(&m_mutex, 250);
        const bool stuck = m_lastBeat.elapsed() > m_hangMs;
        if (!m_stopping && (stuck || (!m_row.isEmpty() && m_rowSince.elapsed() > m_hangMs))) {
            std::fprintf(stderr, "FAIL: watchdog: %s %s for over %lld s\n",
                         m_row.isEmpty() ? "the suite" : m_row.constData(),
                         stuck ? "stopped processing events" : "ran",
                         static_cast<long long>(m_hangMs / 1000));
            std::fflush(stderr);
            std::_Exit(3);
        }
    }
}
