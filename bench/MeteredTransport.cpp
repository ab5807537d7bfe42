#include "MeteredTransport.h"

#include <QElapsedTimer>

bool MeteredTransport::transact(const QByteArray& request, QByteArray* answer)
{
    QElapsedTimer timer;
    timer.start();
    const bool ok = m_inner->transact(request, answer);
    m_ns += timer.nsecsElapsed();
    ++m_exchanges;
    return ok;
}

void MeteredTransport::reset()
{
    m_exchanges = 0;
    m_ns = 0;
}
