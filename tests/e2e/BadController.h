#pragma once

#include "LineServer.h"
#include "sim/SimController.h"

#include <atomic>

// A controller on a socket that can be switched between answering properly and misbehaving.
class BadController : public LineServer
{
public:
    // Healthy answers at once from the default simulator, FormatText with printf directives in
    // well-formed answers.
    enum class Mode { Healthy, FormatText };

    BadController() : LineServer([this](QTcpSocket* s, const QByteArray& r) { answer(s, r); }) {}
    ~BadController() { stop(); }

    void setMode(Mode mode) { m_mode = mode; }

private:
    void answer(QTcpSocket* socket, const QByteArray& request)
    {
        const auto proper = [&] {
            return m_sim.handle(QString::fromLatin1(request)).toLatin1() + '\n';
        };
        if (m_mode == Mode::Healthy)
            socket->write(proper());
        else
            socket->write(request.startsWith("morvek2 get ")
                              ? "morvek2 set " + request.mid(12) + " %s%n%s%n%p\n"
                              : QByteArray("%n%s%n%x\n"));
    }

    std::atomic<Mode> m_mode{Mode::Healthy};
    SimController m_sim; // used in the serving thread only
};
