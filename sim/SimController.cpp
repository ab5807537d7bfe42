#include "sim/SimController.h"

#include <QElapsedTimer>

class SimState
{
public:
    std::function<qint64()> m_clock;
    int m_major = 1;
    int m_minor = 23;
    int m_patch = 0;
    QString m_model = QStringLiteral("TESSERA2");
};

SimController::SimController() : m_state(std::make_unique<SimState>())
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_state->m_clock = [timer] { return timer->elapsed(); };
}

SimController::~SimController() = default;

bool SimController::loadScenario(const QString& path, QString* error)
{
    Q_UNUSED(path);
    if (error)
        *error = QStringLiteral("not implemented yet");
    return false;
}

bool SimController::loadScenarioJson(const QByteArray& json, QString* error)
{
    Q_UNUSED(json);
    if (error)
        *error = QStringLiteral("not implemented yet");
    return false;
}

QString SimController::handle(const QString& request)
{
    Q_UNUSED(request);
    return QStringLiteral("morvek2 err 1 \"not implemented yet\"");
}

void SimController::setClock(std::function<qint64()> clock)
{
    m_state->m_clock = std::move(clock);
}

int SimController::versionMajor() const
{
    return m_state->m_major;
}
int SimController::versionMinor() const
{
    return m_state->m_minor;
}
int SimController::versionPatch() const
{
    return m_state->m_patch;
}
QString SimController::modelName() const
{
    return m_state->m_model;
}

void SimController::setVersion(int major, int minor, int patch)
{
    m_state->m_major = major;
    m_state->m_minor = minor;
    m_state->m_patch = patch;
}

void SimController::setModelName(const QString& name)
{
    m_state->m_model = name;
}
