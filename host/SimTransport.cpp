#include "SimTransport.h"

#include "sim/SimController.h"

SimTransport::SimTransport()
    : m_owned(std::make_unique<SimController>()), m_controller(m_owned.get())
{
}

SimTransport::SimTransport(SimController* controller) : m_controller(controller) {}

SimTransport::~SimTransport() = default;

bool SimTransport::transact(const QByteArray& request, QByteArray* answer)
{
    *answer = m_controller->handle(QString::fromLatin1(request)).toLatin1();
    return true;
}
