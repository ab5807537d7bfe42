#include "sim/SimLineServer.h"

#include "sim/SimController.h"
#include "sim/SimLineReader.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char TooManyConnections[] = "morvek2 err 4 \"Too many connections, try again later\"\n";
const char IdleClose[] = "morvek2 err 4 \"Idle for too long, closing the connection\"\n";
const char RequestTooLong[] = "morvek2 err 8 \"Request too long\"";

qint64 monotonicMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

int connectionCapFromFileLimit()
{
    struct rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 256;
    return int(qBound<rlim_t>(4, limit.rlim_cur / 4, 256));
}

} // namespace

struct SimLineServer::Connection
{
    Connection(int fd, int maxRequestBytes)
        : fd(fd), reader(maxRequestBytes), readable(fd, QSocketNotifier::Read),
          writable(fd, QSocketNotifier::Write)
    {
        writable.setEnabled(false);
        // Reserved buffers keep their memory when emptied, so a request allocates none here.
        line.reserve(256);
        out.reserve(4096);
    }
    ~Connection() { ::close(fd); }

    int fd;
    SimLineReader reader;
    QSocketNotifier readable;
    QSocketNotifier writable;
    QByteArray line;       // reused for every request
    QByteArray out;        // answers not yet taken by the kernel
    bool peerDone = false; // the client closed its side: answer what came, then close
    bool queued = false;   // a serve() pass is waiting in the event loop
    bool gone = false;     // dropped, deleted once the event loop is back
    qint64 lastInput = 0;
};

SimLineServer::SimLineServer(SimController* sim, const Limits& limits, QObject* parent)
    : QTcpServer(parent), m_sim(sim), m_limits(limits), m_idleTimer(new QTimer(this))
{
    if (m_limits.maxConnections <= 0)
        m_limits.maxConnections = connectionCapFromFileLimit();
    m_limits.linesPerPass = qMax(1, m_limits.linesPerPass);
    if (m_limits.idleTimeoutSeconds > 0) {
        connect(m_idleTimer, &QTimer::timeout, this, &SimLineServer::closeIdle);
        m_idleTimer->start(qMin(1000 * m_limits.idleTimeoutSeconds / 4, 10000));
    }
}

SimLineServer::~SimLineServer() = default;

void SimLineServer::incomingConnection(qintptr descriptor)
{
    const int fd = int(descriptor);
    if (int(m_connections.size()) >= m_limits.maxConnections) {
        // Said once, without waiting: the client learns why before the close.
        [[maybe_unused]] const ssize_t sent = ::send(
            fd, TooManyConnections, sizeof TooManyConnections - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(fd);
        return;
    }
    auto c = std::make_unique<Connection>(fd, m_limits.maxRequestBytes);
    Connection* raw = c.get();
    raw->lastInput = monotonicMs();
    connect(&raw->readable, &QSocketNotifier::activated, this, [this, raw] { serve(raw); });
    connect(&raw->writable, &QSocketNotifier::activated, this, [this, raw] {
        if (!raw->gone && send(raw))
            serve(raw);
    });
    m_connections[fd] = std::move(c);
}

// Answers the client's complete requests until its unsent answers reach the cap, the pass has
// used its share, or more input is needed. Answers leave in the same pass.
void SimLineServer::serve(Connection* c)
{
    if (c->gone)
        return;
    c->queued = false;
    int budget = m_limits.linesPerPass;
    bool needInput = false;
    // A receive that filled less than its buffer took all the kernel had: asking again before the
    // next readiness would only return EAGAIN, one system call per request for nothing.
    bool drained = false;
    for (;;) {
        if (c->out.size() > m_limits.maxUnsentBytes) {
            if (!send(c))
                return;
            if (c->out.size() > m_limits.maxUnsentBytes)
                break; // resumed once the client reads
        }
        if (budget == 0) {
            c->queued = true;
            QMetaObject::invokeMethod(
                &c->readable, [this, c] { serve(c); }, Qt::QueuedConnection);
            break;
        }
        const SimLineReader::Result result = c->reader.next(&c->line);
        if (result == SimLineReader::NeedMore) {
            if (c->peerDone)
                break;
            if (drained) {
                needInput = true;
                break;
            }
            char chunk[4096];
            const ssize_t got = ::recv(c->fd, chunk, sizeof chunk, MSG_DONTWAIT);
            if (got > 0) {
                c->lastInput = monotonicMs();
                c->reader.append(chunk, int(got));
                drained = size_t(got) < sizeof chunk;
                continue;
            }
            if (got == 0) {
                c->peerDone = true;
                break;
            }
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                needInput = true;
                break;
            }
            drop(c);
            return;
        }
        --budget;
        QString answer;
        if (result == SimLineReader::TooLong)
            answer = QLatin1String(RequestTooLong);
        else
            answer = m_sim->handle(QString::fromLatin1(c->line.constData(), c->line.size()));
        // Answers are Latin-1 by construction; written straight into the output buffer.
        const int at = c->out.size();
        c->out.resize(at + answer.size() + 1);
        char* to = c->out.data() + at;
        for (const QChar ch : qAsConst(answer))
            *to++ = char(ch.unicode());
        *to = '\n';
    }
    if (!send(c))
        return;
    // Reading resumes only when this client's answers are taken and its turn is not queued.
    c->readable.setEnabled(needInput && !c->peerDone);
    if (c->peerDone && c->out.isEmpty() && !c->queued)
        drop(c);
}

// Hands the unsent answers to the kernel. Returns false when the connection is gone.
bool SimLineServer::send(Connection* c)
{
    while (!c->out.isEmpty()) {
        const ssize_t sent =
            ::send(c->fd, c->out.constData(), size_t(c->out.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            c->out.remove(0, int(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        drop(c);
        return false;
    }
    c->writable.setEnabled(!c->out.isEmpty());
    return true;
}

void SimLineServer::drop(Connection* c)
{
    // Deleted once the event loop is back: the caller may still be inside one of its notifiers.
    auto it = m_connections.find(c->fd);
    if (it == m_connections.end())
        return;
    if (m_dropped.empty())
        QTimer::singleShot(0, this, [this] { m_dropped.clear(); });
    m_dropped.push_back(std::move(it->second));
    m_connections.erase(it);
    c->gone = true;
    c->readable.setEnabled(false);
    c->writable.setEnabled(false);
}

void SimLineServer::closeIdle()
{
    const qint64 limit = monotonicMs() - qint64(m_limits.idleTimeoutSeconds) * 1000;
    std::vector<Connection*> idle;
    for (const auto& entry : m_connections) {
        if (entry.second->lastInput < limit)
            idle.push_back(entry.second.get());
    }
    for (Connection* c : idle) {
        c->out += IdleClose;
        send(c);
        drop(c);
    }
}
