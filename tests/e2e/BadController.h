#pragma once

#include <QThread>
#include <atomic>
#include <memory>

class BadControllerWorker;

// A controller on a socket that can be switched between answering properly and a number of
// ways of misbehaving. It serves from its own thread, since the host's channel blocks the
// test's thread while it waits for an answer.
class BadController
{
public:
    enum class Mode {
        Healthy,     // answers at once, from the default simulated controller
        Silent,      // reads requests, never answers
        Slow,        // answers properly, but only after SlowDelayMs
        Garbage,     // a line of noise for every request
        FormatText,  // well-formed answers whose values are printf directives
        Oversized,   // a line of 10 000 bytes for every request
        CloseAtOnce, // accepts connections and closes them straight away
    };
    static constexpr int SlowDelayMs = 400;

    BadController();
    ~BadController();
    BadController(const BadController&) = delete;
    BadController& operator=(const BadController&) = delete;

    // Port 0 picks a free port. Returns the port, or 0 when listening failed.
    quint16 listen(quint16 port = 0);
    // Stops accepting: afterwards connecting to the port is refused.
    void close();
    void setMode(Mode mode) { m_mode = int(mode); }
    Mode mode() const { return Mode(m_mode.load()); }
    int requestCount() const { return m_requests; }

private:
    friend class BadControllerWorker;
    std::atomic<int> m_mode{int(Mode::Healthy)};
    std::atomic<int> m_requests{0};
    QThread m_thread;
    BadControllerWorker* m_worker = nullptr;
};
