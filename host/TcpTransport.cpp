#include "TcpTransport.h"

TcpTransport::TcpTransport(const QString& host, quint16 port)
    : m_host(host), m_port(port), m_socket(MaxAnswerLine)
{
}

bool TcpTransport::parseAddress(const QString& text, QString* host, quint16* port, QString* error)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    QString name = colon > 0 ? text.left(colon) : QString();
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    bool numeric = false;
    const uint number = colon > 0 ? text.mid(colon + 1).toUInt(&numeric) : 0;
    if (name.isEmpty() || name.contains(QLatin1Char(':')) != text.startsWith(QLatin1Char('[')) ||
        !numeric || number == 0 || number > 65535) {
        if (error)
            *error = QStringLiteral("\"%1\" is no HOST:PORT address").arg(text);
        return false;
    }
    *host = name;
    *port = quint16(number);
    return true;
}

void TcpTransport::setTimeout(int milliseconds)
{
    m_timeoutMs = milliseconds > 0 ? milliseconds : DefaultTimeoutMs;
}

QString TcpTransport::description() const
{
    const QString host =
        m_host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(m_host) : m_host;
    return QStringLiteral("%1:%2").arg(host).arg(m_port);
}

void TcpTransport::dropConnection()
{
    m_socket.close();
}

bool TcpTransport::fail(const QString& reason, bool unreachable)
{
    m_lastError = reason;
    m_socket.close();
    if (unreachable) {
        m_unreachable = true;
        m_retryAt.setRemainingTime(RetryAfterMs);
    }
    return false;
}

bool TcpTransport::transact(const QByteArray& request, QByteArray* answer)
{
    if (m_unreachable && !m_retryAt.hasExpired()) {
        m_lastError = QStringLiteral("%1 is not reachable; next attempt in %2 ms")
                          .arg(description())
                          .arg(m_retryAt.remainingTime());
        return false;
    }
    const int timeoutMs = m_unreachable ? qMin(m_timeoutMs, RetryTimeoutMs) : m_timeoutMs;

    // A connection the controller closed while idle is replaced before the request goes out
    // instead of failing this exchange; bytes nobody asked for must not be read as the answer.
    if (m_socket.isOpen() && m_socket.checkIdle() != LineSocket::Idle::Quiet)
        m_socket.close();
    QString reason;
    if (!m_socket.isOpen() && !m_socket.open(m_host, m_port, timeoutMs, &reason))
        return fail(QStringLiteral("cannot connect to %1: %2").arg(description(), reason), true);
    if (!m_socket.sendLine(request, &reason))
        return fail(QStringLiteral("cannot send to %1: %2").arg(description(), reason), false);

    QByteArray line;
    switch (m_socket.readLine(timeoutMs, &line)) {
    case LineSocket::Read::Line:
        break;
    case LineSocket::Read::Timeout:
        return fail(
            QStringLiteral("no answer from %1 within %2 ms").arg(description()).arg(timeoutMs),
            true);
    case LineSocket::Read::Closed:
        return fail(QStringLiteral("%1 closed the connection").arg(description()), false);
    case LineSocket::Read::TooLong:
        return fail(QStringLiteral("answer from %1 is longer than %2 bytes")
                        .arg(description())
                        .arg(MaxAnswerLine),
                    false);
    case LineSocket::Read::Extra:
        return fail(QStringLiteral("%1 sent more than one answer line").arg(description()), false);
    case LineSocket::Read::Failed:
        return fail(
            QStringLiteral("cannot receive from %1: %2").arg(description(), m_socket.errorText()),
            false);
    }
    if (line.contains('\0'))
        return fail(QStringLiteral("answer from %1 contains a NUL byte").arg(description()), false);
    *answer = line;
    m_unreachable = false;
    m_lastError.clear();
    return true;
}
