#include "TcpTransport.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

TcpTransport::TcpTransport(const QString& host, quint16 port) : m_host(host), m_port(port) {}

TcpTransport::~TcpTransport()
{
    disconnectFromController();
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

bool TcpTransport::isConnected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void TcpTransport::disconnectFromController()
{
    if (!m_socket)
        return;
    m_socket->abort();
    m_socket.reset();
}

bool TcpTransport::failAndDrop(const QString& reason)
{
    m_lastError = reason;
    disconnectFromController();
    return false;
}

bool TcpTransport::ensureConnected(int timeoutMs)
{
    if (m_socket) {
        // Let the socket notice a close or bytes nobody asked for while it was idle: a closed
        // connection is replaced before the request goes out instead of failing this exchange,
        // and unsolicited bytes must not be read as the answer.
        m_socket->waitForReadyRead(0);
        if (isConnected() && m_socket->bytesAvailable() == 0)
            return true;
        disconnectFromController();
    }
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->connectToHost(m_host, m_port);
    if (m_socket->waitForConnected(timeoutMs))
        return true;
    return failAndDrop(
        QStringLiteral("cannot connect to %1: %2").arg(description(), m_socket->errorString()));
}

bool TcpTransport::transact(const QByteArray& request, QByteArray* answer)
{
    const QDeadlineTimer deadline(m_timeoutMs);
    const auto remaining = [&deadline] { return int(qMax<qint64>(0, deadline.remainingTime())); };

    if (!ensureConnected(m_timeoutMs))
        return false;
    if (m_socket->write(request + '\n') != request.size() + 1)
        return failAndDrop(
            QStringLiteral("cannot send to %1: %2").arg(description(), m_socket->errorString()));
    m_socket->flush();

    while (!m_socket->canReadLine()) {
        if (m_socket->bytesAvailable() > MaxAnswerLine)
            return failAndDrop(QStringLiteral("answer from %1 is longer than %2 bytes")
                                   .arg(description())
                                   .arg(MaxAnswerLine));
        if (!m_socket->waitForReadyRead(remaining())) {
            if (m_socket->state() != QAbstractSocket::ConnectedState ||
                m_socket->error() == QAbstractSocket::RemoteHostClosedError)
                return failAndDrop(QStringLiteral("%1 closed the connection").arg(description()));
            return failAndDrop(QStringLiteral("no answer from %1 within %2 ms")
                                   .arg(description())
                                   .arg(m_timeoutMs));
        }
    }

    QByteArray line = m_socket->readLine();
    if (line.size() > MaxAnswerLine + 1)
        return failAndDrop(QStringLiteral("answer from %1 is longer than %2 bytes")
                               .arg(description())
                               .arg(MaxAnswerLine));
    line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.contains('\0'))
        return failAndDrop(QStringLiteral("answer from %1 contains a NUL byte").arg(description()));
    // One request, one line: anything more means the two sides no longer agree which answer
    // belongs to which request.
    if (m_socket->bytesAvailable() > 0)
        return failAndDrop(QStringLiteral("%1 sent more than one answer line").arg(description()));
    *answer = line;
    m_lastError.clear();
    return true;
}
