#pragma once

#include <QByteArray>
#include <QString>

class QHostAddress;

// A connected TCP socket that exchanges text lines synchronously, with as few system calls as a
// plain C client: a request costs one send and, when the answer is there in time, one receive.
// The descriptor is blocking with receive and send timeouts, so no event loop ever reads from it
// behind the channel's back.
class LineSocket
{
public:
    enum class Idle { Quiet, Closed, Stray };
    enum class Read { Line, Timeout, Closed, TooLong, Extra, Failed };

    explicit LineSocket(int maxLine);
    ~LineSocket();
    LineSocket(const LineSocket&) = delete;
    LineSocket& operator=(const LineSocket&) = delete;

    // Resolves the host (a literal address costs no lookup) and connects within the timeout.
    bool open(const QString& host, quint16 port, int timeoutMs, QString* error);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // One non-blocking look at the idle connection: did the peer close it or send something
    // nobody asked for? Stray bytes are consumed.
    Idle checkIdle();
    // The request and its line end in one system call.
    bool sendLine(const QByteArray& request, QString* error);
    // The next line without its terminator. A line that does not end in time, exceeds the
    // limit or is followed by further bytes in the same delivery is not taken.
    Read readLine(int timeoutMs, QByteArray* line);
    QString errorText() const;

private:
    bool connectTo(const QHostAddress& address, quint16 port, int timeoutMs, QString* error);
    bool setTimeout(int option, int milliseconds);

    int m_fd = -1;
    int m_maxLine;
    int m_receiveTimeoutMs = -1;
    int m_errno = 0;
    // Bytes received and not yet taken; empty between exchanges.
    QByteArray m_buffer;
    int m_filled = 0;
};
