#pragma once

#include "ControllerTransport.h"
#include "LineSocket.h"

#include <QDeadlineTimer>
#include <QString>

// The controller over TCP: each request is a line, each answer the next line the controller
// sends. Exchanges are synchronous with a timeout. After any failure the connection is dropped,
// so that a late answer can never be taken for the answer to a later request; the next exchange
// connects anew. Bytes that arrive while the line is idle, or together with an answer, also cost
// the connection: the two sides no longer agree which answer belongs to which request.
//
// Once the controller did not answer in time or refused the connection, exchanges fail at once
// for a short while instead of each waiting out the timeout; then one attempt, with a short
// limit, tells whether it is back.
class TcpTransport : public ControllerTransport
{
public:
    static constexpr int DefaultTimeoutMs = 1000;
    static constexpr int RetryAfterMs = 500;
    static constexpr int RetryTimeoutMs = 200;
    // Longer lines are no answer of this protocol.
    static constexpr int MaxAnswerLine = 1024;

    TcpTransport(const QString& host, quint16 port);

    // "HOST:PORT", with the host in brackets for IPv6 ("[::1]:7000").
    static bool parseAddress(const QString& text, QString* host, quint16* port, QString* error);

    bool transact(const QByteArray& request, QByteArray* answer) override;
    void setTimeout(int milliseconds) override;
    int timeout() const override { return m_timeoutMs; }
    QString lastError() const override { return m_lastError; }
    QString description() const override;
    void dropConnection() override;

    bool isConnected() const { return m_socket.isOpen(); }

private:
    bool fail(const QString& reason, bool unreachable);

    QString m_host;
    quint16 m_port;
    int m_timeoutMs = DefaultTimeoutMs;
    LineSocket m_socket;
    bool m_unreachable = false;
    QDeadlineTimer m_retryAt;
    QString m_lastError;
};
