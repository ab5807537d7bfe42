#pragma once

#include "ControllerTransport.h"

#include <memory>

class SimController;

// The controller simulated in this process: every exchange answers at once.
class SimTransport : public ControllerTransport
{
public:
    // Owns a simulator that starts from its default scenario.
    SimTransport();
    // Uses a simulator that the caller owns and keeps alive.
    explicit SimTransport(SimController* controller);
    ~SimTransport() override;

    bool transact(const QByteArray& request, QByteArray* answer) override;
    QString description() const override { return QStringLiteral("simulated controller"); }

    SimController* controller() const { return m_controller; }

private:
    std::unique_ptr<SimController> m_owned;
    SimController* m_controller;
};
