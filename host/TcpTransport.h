#pragma once

#include "ControllerTransport.h"

#include <QString>
#include <memory>

class QTcpSocket;

// The controller over TCP: each request is a line, each answer the next line the controller
// sends. Exchanges are synchronous with a timeout. After any failure the connection is dropped,
// so that a late answer can never be taken for the answer to the next request; the next
// exchange connects anew.
class TcpTransport : public ControllerTransport
{
public:
    static constexpr int DefaultTimeoutMs = 2000;
    // Longer lines are no answer of this protocol.
    static constexpr int MaxAnswerLine = 1024;

    TcpTransport(const QString& host, quint16 port);
    ~TcpTransport() override;

    // "HOST:PORT", with the host in brackets for IPv6 ("[::1]:7000").
    static bool parseAddress(const QString& text, QString* host, quint16* port, QString* error);

    bool transact(const QByteArray& request, QByteArray* answer) override;
    void setTimeout(int milliseconds) override;
    int timeout() const override { return m_timeoutMs; }
    QString lastError() const override { return m_lastError; }
    QString description() const override;

    bool isConnected() const;
    void disconnectFromController();

private:
    bool ensureConnected(int timeoutMs);
    bool failAndDrop(const QString& reason);

    QString m_host;
    quint16 m_port;
    int m_timeoutMs = DefaultTimeoutMs;
    std::unique_ptr<QTcpSocket> m_socket;
    QString m_lastError;
};
