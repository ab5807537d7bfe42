#include "LineSocket.h"

#include <QHostAddress>
#include <QHostInfo>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

bool toSockaddr(const QHostAddress& address, quint16 port, sockaddr_storage* storage,
                socklen_t* length)
{
    std::memset(storage, 0, sizeof *storage);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* in = reinterpret_cast<sockaddr_in*>(storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        *length = sizeof *in;
        return true;
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        in6->sin6_scope_id = address.scopeId().toUInt();
        *length = sizeof *in6;
        return true;
    }
    return false;
}
} // namespace

LineSocket::LineSocket(int maxLine) : m_maxLine(maxLine), m_buffer(maxLine + 2, '\0') {}

LineSocket::~LineSocket()
{
    close();
}

void LineSocket::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_filled = 0;
    m_receiveTimeoutMs = -1;
}

QString LineSocket::errorText() const
{
    return QString::fromLocal8Bit(std::strerror(m_errno));
}

bool LineSocket::open(const QString& host, quint16 port, int timeoutMs, QString* error)
{
    close();
    QHostAddress literal;
    const QList<QHostAddress> addresses = literal.setAddress(host)
                                              ? QList<QHostAddress>{literal}
                                              : QHostInfo::fromName(host).addresses();
    if (addresses.isEmpty()) {
        *error = QStringLiteral("host %1 not found").arg(host);
        return false;
    }
    // A name may stand for an IPv6 and an IPv4 address of which only one is served.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (const QHostAddress& address : addresses) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (connectTo(address, port, int(qMax<qint64>(1, left.count())), error))
            return true;
    }
    return false;
}

bool LineSocket::connectTo(const QHostAddress& address, quint16 port, int timeoutMs, QString* error)
{
    sockaddr_storage peer;
    socklen_t length = 0;
    if (!toSockaddr(address, port, &peer, &length)) {
        *error = QStringLiteral("%1 is no IP address").arg(address.toString());
        return false;
    }
    m_fd = ::socket(peer.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0) {
        m_errno = errno;
        *error = errorText();
        return false;
    }
    // Non-blocking only while connecting, so that the wait is bounded.
    int result = ::connect(m_fd, reinterpret_cast<sockaddr*>(&peer), length);
    if (result < 0 && errno == EINPROGRESS) {
        pollfd waiting = {m_fd, POLLOUT, 0};
        do
            result = ::poll(&waiting, 1, timeoutMs);
        while (result < 0 && errno == EINTR);
        int failure = result == 0 ? ETIMEDOUT : result < 0 ? errno : 0;
        socklen_t size = sizeof failure;
        if (result > 0)
            ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &failure, &size);
        errno = failure;
        result = failure == 0 ? 0 : -1;
    }
    const int noDelay = 1;
    if (result < 0 || ::fcntl(m_fd, F_SETFL, 0) < 0 || !setTimeout(SO_SNDTIMEO, timeoutMs) ||
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay) < 0) {
        m_errno = errno;
        *error = errorText();
        close();
        return false;
    }
    return true;
}

bool LineSocket::setTimeout(int option, int milliseconds)
{
    // Zero would mean no limit at all.
    milliseconds = qMax(1, milliseconds);
    const timeval limit = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    return ::setsockopt(m_fd, SOL_SOCKET, option, &limit, sizeof limit) == 0;
}

LineSocket::Idle LineSocket::checkIdle()
{
    if (m_filled > 0)
        return Idle::Stray;
    for (;;) {
        const ssize_t got = ::recv(m_fd, m_buffer.data(), size_t(m_buffer.size()), MSG_DONTWAIT);
        if (got > 0)
            return Idle::Stray;
        if (got == 0)
            return Idle::Closed;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Idle::Quiet;
        if (errno != EINTR)
            return Idle::Closed;
    }
}

bool LineSocket::sendLine(const QByteArray& request, QString* error)
{
    char end = '\n';
    iovec parts[2] = {{const_cast<char*>(request.constData()), size_t(request.size())}, {&end, 1}};
    msghdr message = {};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    size_t left = size_t(request.size()) + 1;
    while (left > 0) {
        const ssize_t sent = ::sendmsg(m_fd, &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0) {
            m_errno = sent < 0 ? errno : EPIPE;
            *error = errorText();
            return false;
        }
        // A short send of a short line is rare; skip what went out and send the rest.
        left -= size_t(sent);
        for (size_t done = size_t(sent); done > 0 && message.msg_iovlen > 0;) {
            const size_t step = qMin(done, message.msg_iov->iov_len);
            message.msg_iov->iov_base = static_cast<char*>(message.msg_iov->iov_base) + step;
            message.msg_iov->iov_len -= step;
            done -= step;
            if (message.msg_iov->iov_len == 0) {
                ++message.msg_iov;
                --message.msg_iovlen;
            }
        }
    }
    return true;
}

LineSocket::Read LineSocket::readLine(int timeoutMs, QByteArray* line)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int waitMs = timeoutMs;
    for (;;) {
        if (const void* end = std::memchr(m_buffer.constData(), '\n', size_t(m_filled))) {
            int length = int(static_cast<const char*>(end) - m_buffer.constData());
            const bool extra = length + 1 < m_filled;
            m_filled = 0;
            if (extra)
                return Read::Extra;
            if (length > 0 && m_buffer.at(length - 1) == '\r')
                --length;
            *line = QByteArray(m_buffer.constData(), length);
            return Read::Line;
        }
        if (m_filled >= m_buffer.size())
            return Read::TooLong;
        if (waitMs <= 0)
            return Read::Timeout;
        // The socket keeps its limit, so the usual exchange sets it no more than once.
        if (waitMs != m_receiveTimeoutMs) {
            if (!setTimeout(SO_RCVTIMEO, waitMs)) {
                m_errno = errno;
                return Read::Failed;
            }
            m_receiveTimeoutMs = waitMs;
        }
        const ssize_t got =
            ::recv(m_fd, m_buffer.data() + m_filled, size_t(m_buffer.size() - m_filled), 0);
        if (got > 0) {
            m_filled += int(got);
        } else if (got == 0) {
            return Read::Closed;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return Read::Timeout;
        } else if (errno != EINTR) {
            m_errno = errno;
            return errno == ECONNRESET ? Read::Closed : Read::Failed;
        }
        waitMs = int(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    }
}
