#include "ServerProcess.h"

namespace {
const int StartTimeoutMs = 10000;
const QByteArray ListeningPrefix("listening on 127.0.0.1:");
} // namespace

ServerProcess::ServerProcess(const QString& program, const QStringList& arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(StartTimeoutMs)) {
        m_error = QStringLiteral("%1 did not start: %2").arg(program, m_process.errorString());
        return;
    }
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(StartTimeoutMs)) {
            m_error = QStringLiteral("%1 printed no port").arg(program);
            return;
        }
    }
    const QByteArray line = m_process.readLine().trimmed();
    bool ok = false;
    const uint port =
        line.startsWith(ListeningPrefix) ? line.mid(ListeningPrefix.size()).toUInt(&ok) : 0;
    if (ok && port > 0 && port <= 65535)
        m_port = quint16(port);
    else
        m_error = QStringLiteral("%1 printed \"%2\"").arg(program, QString::fromLatin1(line));
}

ServerProcess::~ServerProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(StartTimeoutMs))
        m_process.kill();
    m_process.waitForFinished(StartTimeoutMs);
}
