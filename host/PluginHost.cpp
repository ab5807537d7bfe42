#include "PluginHost.h"

#include "plugin/BackendVersions.h"
#include "plugin/IOManager.h"
#include "plugin/ModuleInterface.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QVariant>
#include <QWidget>

// Outside any namespace, as the resource initialiser requires.
static void initHostResources()
{
    Q_INIT_RESOURCE(host);
}

PluginHost::PluginHost() = default;

PluginHost::~PluginHost()
{
    shutdown();
}

QString PluginHost::defaultPluginPath()
{
    const QString fromEnvironment = QString::fromLocal8Bit(qgetenv("ROOMCAL_PLUGIN"));
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/" ROOMCAL_PLUGIN_FROM_BIN));
}

void PluginHost::registerHostResources()
{
    static const bool registered = [] {
        initHostResources();
        return true;
    }();
    Q_UNUSED(registered);
}

bool PluginHost::load(const QString& path, QString* error)
{
    const auto failed = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (m_instance)
        return failed(QStringLiteral("a plug-in is already loaded"));
    const QFileInfo file(path);
    if (path.isEmpty() || !file.exists())
        return failed(QStringLiteral("plug-in file \"%1\" not found").arg(path));
    // An absolute path keeps the loader from searching the library path for another copy.
    m_loader.setFileName(file.absoluteFilePath());
    QObject* instance = m_loader.instance();
    if (!instance)
        return failed(QStringLiteral("cannot load \"%1\": %2")
                          .arg(file.absoluteFilePath(), m_loader.errorString()));
    auto* module = qobject_cast<ModuleInterface*>(instance);
    if (!module)
        return failed(QStringLiteral("\"%1\" is no room calibration module (interface %2 missing)")
                          .arg(file.absoluteFilePath(), QStringLiteral(ModuleInterface_iid)));
    m_instance = instance;
    m_module = module;
    return true;
}

QList<QAction*> PluginHost::attach(IOManager* io, QWidget* parent, BackendVersions* versions,
                                   bool observer)
{
    if (!m_instance)
        return {};
    registerHostResources();
    m_module->setContextProperty(QStringLiteral("CommandManager"), QVariant::fromValue(io));
    m_module->setContextProperty(QStringLiteral("ModuleParent"),
                                 QVariant::fromValue<QWidget*>(parent));
    m_module->setContextProperty(QStringLiteral("BackendVersions"), QVariant::fromValue(versions));
    m_module->setContextProperty(QStringLiteral("ObserverMode"), QVariant(observer));
    m_actions = m_module->menuActions();
    return m_actions;
}

void PluginHost::shutdown()
{
    m_actions.clear();
    if (!m_instance) {
        m_module = nullptr;
        return;
    }
    m_module->detachFromHost();
    m_module->releaseResources();
    delete m_module;
    m_module = nullptr;
    // The library stays mapped: meta-types and connections registered from its code may still
    // be referenced until the process ends.
}
