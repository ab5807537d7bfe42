#include "sim/SimProcess.h"

#include <csignal>

namespace {
const int StartTimeoutMs = 10000;
const int StopTimeoutMs = 3000;
const QByteArray Banner("listening on 127.0.0.1:");
} // namespace

QString SimProcess::start(const QString& program, const QStringList& arguments)
{
    m_program = program;
    m_arguments = arguments;
    m_port = 0;
    return restart();
}

QString SimProcess::restart()
{
    stop();
    QStringList arguments = m_arguments;
    if (m_port != 0)
        arguments << QStringLiteral("--port") << QString::number(m_port);
    m_process.start(m_program, arguments);
    const bool started = m_process.waitForStarted(StartTimeoutMs);
    while (started && !m_process.canReadLine() && m_process.waitForReadyRead(StartTimeoutMs)) {
    }
    const QByteArray banner = m_process.readLine().trimmed();
    bool ok = false;
    const uint port = banner.startsWith(Banner) ? banner.mid(Banner.size()).toUInt(&ok) : 0;
    if (ok && port > 0 && port <= 65535 && (m_port == 0 || port == m_port)) {
        m_port = quint16(port);
        m_error.clear();
    } else if (!started) {
        m_error = QStringLiteral("%1 did not start: %2").arg(m_program, m_process.errorString());
    } else {
        stop();
        m_error = QStringLiteral("%1 printed \"%2\" instead of its port: %3")
                      .arg(m_program, QString::fromLatin1(banner),
                           QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed());
    }
    return m_error;
}

bool SimProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(StopTimeoutMs)) {
            kill();
            return false;
        }
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

void SimProcess::kill()
{
    m_process.kill();
    m_process.waitForFinished(StopTimeoutMs);
}

void SimProcess::pause(bool paused)
{
    // A process ID of 0 would signal this program's whole process group.
    if (m_process.processId() > 0)
        ::kill(pid_t(m_process.processId()), paused ? SIGSTOP : SIGCONT);
}
