#include "SimServer.h"

#include "host/TcpTransport.h"
#include "sim/SimController.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>

namespace {
constexpr int StartTimeoutMs = 10000;
constexpr int StopTimeoutMs = 3000;
} // namespace

SimServer::SimServer()
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

SimServer::~SimServer()
{
    stop();
}

QString SimServer::serverProgram()
{
    return qEnvironmentVariable("MORVEK_SIM");
}

QString SimServer::statePath() const
{
    return m_scenario.isEmpty() ? QString() : SimController::stateFilePath(m_scenario);
}

bool SimServer::useScenarioFile(const QString& name, QString* error)
{
    const QString source = qEnvironmentVariable("ROOMCAL_SOURCE_DIR") +
                           QStringLiteral("/sim/scenarios/") + name + QStringLiteral(".json");
    const QString target = m_dir.filePath(name + QStringLiteral(".json"));
    QFile::remove(target);
    if (!m_dir.isValid() || !QFile::copy(source, target)) {
        *error = QStringLiteral("cannot copy %1 to %2").arg(source, target);
        return false;
    }
    m_scenario = target;
    return readVersions(error);
}

bool SimServer::useScenarioJson(const QByteArray& json, QString* error)
{
    const QString target = m_dir.filePath(QStringLiteral("scenario.json"));
    QFile file(target);
    if (!m_dir.isValid() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(json) != json.size()) {
        *error = QStringLiteral("cannot write %1").arg(target);
        return false;
    }
    file.close();
    m_scenario = target;
    return readVersions(error);
}

bool SimServer::readVersions(QString* error)
{
    // The in-process controller reads the same file the server will, so a scenario that does
    // not load is reported here with its reason rather than as a server that never starts.
    SimController reader;
    if (!reader.loadScenario(m_scenario, error))
        return false;
    m_versions.versionMajor = reader.versionMajor();
    m_versions.versionMinor = reader.versionMinor();
    m_versions.versionPatch = reader.versionPatch();
    m_versions.modelName = reader.modelName();
    return true;
}

bool SimServer::start(QString* error)
{
    if (isRunning()) {
        *error = QStringLiteral("the server is already running");
        return false;
    }
    if (serverProgram().isEmpty() || !QFile::exists(serverProgram())) {
        *error = QStringLiteral("MORVEK_SIM does not name the server program (\"%1\")")
                     .arg(serverProgram());
        return false;
    }
    m_process.start(serverProgram(), {QStringLiteral("--port"), QString::number(m_port),
                                      QStringLiteral("--scenario"), m_scenario});
    if (!m_process.waitForStarted(StartTimeoutMs)) {
        *error =
            QStringLiteral("cannot start %1: %2").arg(serverProgram(), m_process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() ||
            !m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            *error = QStringLiteral("no banner from the server: %1")
                         .arg(QString::fromLocal8Bit(m_process.readAllStandardError()));
            stop();
            return false;
        }
    }
    const QString banner = QString::fromLatin1(m_process.readLine()).trimmed();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$")).match(banner);
    const uint port = match.hasMatch() ? match.captured(1).toUInt() : 0;
    if (port == 0 || port > 65535 || (m_port != 0 && port != m_port)) {
        *error = QStringLiteral("unexpected banner \"%1\"").arg(banner);
        stop();
        return false;
    }
    m_port = quint16(port);
    m_client = std::make_unique<TcpTransport>(QStringLiteral("127.0.0.1"), m_port);
    return true;
}

void SimServer::stop()
{
    m_client.reset();
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(StopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(StopTimeoutMs);
    }
}

void SimServer::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(StopTimeoutMs);
}

bool SimServer::restart(QString* error)
{
    stop();
    return start(error);
}

bool SimServer::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

QByteArray SimServer::ask(const QByteArray& request)
{
    QByteArray answer;
    if (!m_client || !m_client->transact(request, &answer))
        return QByteArray();
    return answer;
}

QByteArray SimServer::value(const QByteArray& name)
{
    const QByteArray answer = ask("morvek2 get " + name);
    const QByteArray prefix = "morvek2 set " + name + ' ';
    return answer.startsWith(prefix) ? answer.mid(prefix.size()) : QByteArray();
}

QList<QByteArray> SimServer::rooms(int count, const QByteArray& configuration)
{
    if (!configuration.isEmpty() &&
        ask("morvek2 set config active_config " + configuration) != "morvek2 ok")
        return {};
    QList<QByteArray> answers;
    for (int camera = 1; camera <= count; ++camera)
        answers << ask("morvek2 get tracking room c" +
                       QByteArray::number(camera).rightJustified(2, '0'));
    return answers;
}
