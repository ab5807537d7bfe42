#pragma once

#include "host/ControllerTransport.h"

#include <QtGlobal>

// Passes every exchange on to another transport and keeps how many there were and how long
// they took, so that a figure measured end to end can be split into the time spent waiting for
// the controller and the rest.
class MeteredTransport : public ControllerTransport
{
public:
    explicit MeteredTransport(ControllerTransport* inner) : m_inner(inner) {}

    bool transact(const QByteArray& request, QByteArray* answer) override;
    void setTimeout(int milliseconds) override { m_inner->setTimeout(milliseconds); }
    int timeout() const override { return m_inner->timeout(); }
    QString lastError() const override { return m_inner->lastError(); }
    QString description() const override { return m_inner->description(); }

    int exchanges() const { return m_exchanges; }
    qint64 nanoseconds() const { return m_ns; }
    void reset();

private:
    ControllerTransport* m_inner;
    int m_exchanges = 0;
    qint64 m_ns = 0;
};
