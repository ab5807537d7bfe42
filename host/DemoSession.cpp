#include "DemoSession.h"

#include "ControllerIOManager.h"
#include "DemoOptions.h"
#include "DemoWindow.h"
#include "MonitorFeed.h"
#include "SimTransport.h"
#include "TcpTransport.h"
#include "history/HistoryWindow.h"
#include "history/RecordParser.h"
#include "plugin/ModuleInterface.h"
#include "sim/SimController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTime>

namespace {
// Used when the controller cannot say how many cameras it has.
constexpr int FallbackCameraCount = 8;
} // namespace

DemoSession::DemoSession() = default;

DemoSession::~DemoSession()
{
    shutdown();
}

void DemoSession::logHost(const QString& text)
{
    m_log.append(QStringLiteral("standard"), QLatin1String(ControllerIOManager::HostSource), 1,
                 text);
}

void DemoSession::ensureRecordFolder()
{
    // The module appends accepted calibrations only to an existing folder and creates none; on a
    // fresh account the record would silently stay empty.
    const QString folder = QFileInfo(RecordParser::defaultPath()).absolutePath();
    if (QFileInfo::exists(folder))
        return;
    logHost(
        QDir().mkpath(folder)
            ? QCoreApplication::translate("DemoSession", "created the calibration record folder %1")
                  .arg(QDir::toNativeSeparators(folder))
            : QCoreApplication::translate("DemoSession",
                                          "Error: cannot create the calibration record "
                                          "folder %1; accepted calibrations are not recorded")
                  .arg(QDir::toNativeSeparators(folder)));
}

void DemoSession::openHistory()
{
    if (!m_history) {
        m_history = std::make_unique<HistoryWindow>(RecordParser::defaultPath(), m_io.get());
        m_history->setLogger([this](const QString& text) {
            m_log.append(QStringLiteral("standard"), QStringLiteral("HISTORY"),
                         text.startsWith(QLatin1String("Error: ")) ? 2 : 1, text);
        });
    }
    m_history->show();
    m_history->raise();
    m_history->activateWindow();
}

bool DemoSession::start(const DemoOptions& options, QString* error)
{
    if (m_window) {
        *error = QStringLiteral("the session is already running");
        return false;
    }

    // The simulator's own defaults are the defaults for a remote controller as well.
    SimController defaults;
    m_versions.versionMajor = defaults.versionMajor();
    m_versions.versionMinor = defaults.versionMinor();
    m_versions.versionPatch = defaults.versionPatch();
    m_versions.modelName = defaults.modelName();

    if (options.controllerHost.isEmpty()) {
        auto transport = std::make_unique<SimTransport>();
        m_simulator = transport->controller();
        if (!options.scenarioFile.isEmpty()) {
            QString reason;
            if (!m_simulator->loadScenario(options.scenarioFile, &reason)) {
                *error = QStringLiteral("scenario \"%1\": %2").arg(options.scenarioFile, reason);
                return false;
            }
            logHost(QCoreApplication::translate("DemoSession", "the state of %1 is kept in %2")
                        .arg(QDir::toNativeSeparators(options.scenarioFile),
                             QDir::toNativeSeparators(
                                 SimController::stateFilePath(options.scenarioFile))));
        }
        // A scenario may bring its own version and model; options override both.
        if (options.versionGiven)
            m_simulator->setVersion(options.versionMajor, options.versionMinor,
                                    options.versionPatch);
        if (!options.modelName.isEmpty())
            m_simulator->setModelName(options.modelName);
        m_versions.versionMajor = m_simulator->versionMajor();
        m_versions.versionMinor = m_simulator->versionMinor();
        m_versions.versionPatch = m_simulator->versionPatch();
        m_versions.modelName = m_simulator->modelName();
        m_transport = std::move(transport);
    } else {
        m_transport =
            std::make_unique<TcpTransport>(options.controllerHost, options.controllerPort);
        if (options.versionGiven) {
            m_versions.versionMajor = options.versionMajor;
            m_versions.versionMinor = options.versionMinor;
            m_versions.versionPatch = options.versionPatch;
        }
        if (!options.modelName.isEmpty())
            m_versions.modelName = options.modelName;
    }
    m_io = std::make_unique<ControllerIOManager>(m_transport.get(), &m_log, &m_bus);

    PluginHost::registerHostResources();
    m_window = std::make_unique<DemoWindow>(&m_log, &m_bus);
    ensureRecordFolder();
    QMenu* tools =
        m_window->menuBar()->addMenu(QCoreApplication::translate("DemoSession", "T&ools"));
    QAction* history =
        tools->addAction(QCoreApplication::translate("DemoSession", "Calibration history…"),
                         [this] { openHistory(); });
    history->setObjectName(QStringLiteral("action_calibrationHistory"));
    m_io->setStateHandler([window = m_window.get()](bool answering) {
        window->setChannelState(answering, QTime::currentTime());
    });

    const QString path =
        options.pluginPath.isEmpty() ? PluginHost::defaultPluginPath() : options.pluginPath;
    if (!m_plugin.load(path, error))
        return false;
    // The module's catalogue comes with the plug-in, and its texts are set when it attaches.
    const QString language =
        options.language.isEmpty() ? HostTranslations::systemLanguage() : options.language;
    QString note;
    if (!m_translations.install(language, error, &note))
        return false;
    if (!note.isEmpty())
        logHost(note);
    const QList<QAction*> actions =
        m_plugin.attach(m_io.get(), m_window.get(), &m_versions, options.observer);
    m_window->setModuleActions(actions, options.observer);

    const QString controller = QStringLiteral("%1, version %2.%3.%4, model %5")
                                   .arg(m_transport->description())
                                   .arg(m_versions.versionMajor)
                                   .arg(m_versions.versionMinor)
                                   .arg(m_versions.versionPatch)
                                   .arg(m_versions.modelName);
    const QString module =
        m_plugin.module()->moduleName() + QLatin1Char(' ') + m_plugin.module()->moduleVersion();
    logHost(QStringLiteral("controller: %1").arg(controller));
    logHost(QStringLiteral("loaded %1 from %2").arg(module, m_plugin.fileName()));
    if (options.observer)
        logHost(QStringLiteral("observer mode: the module offers no actions"));

    int cameras = 0;
    if (m_io->getInt(&cameras, "%s", "camera number_of_cameras") != 0 || cameras < 0) {
        logHost(QStringLiteral("the controller did not tell its number of cameras; the monitor "
                               "shows %1")
                    .arg(FallbackCameraCount));
        cameras = FallbackCameraCount;
    }
    m_window->setCameraCount(cameras);
    m_feed = std::make_unique<MonitorFeed>(m_io.get(), m_window.get(), cameras);
    m_feed->start();
    logHost(QStringLiteral("language: %1").arg(language));
    m_window->setControllerSummary(
        module + QStringLiteral("  |  ") + controller +
        (options.observer ? QStringLiteral("  |  observer mode") : QString()));
    return true;
}

void DemoSession::shutdown()
{
    m_feed.reset();
    m_translations.remove();
    m_plugin.shutdown();
    m_history.reset();
    if (m_io)
        m_io->setStateHandler(nullptr);
    m_window.reset();
    m_io.reset();
    m_transport.reset();
    m_simulator = nullptr;
}
