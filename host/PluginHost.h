#pragma once

#include <QList>
#include <QPluginLoader>
#include <QPointer>
#include <QString>

struct BackendVersions;
class IOManager;
class ModuleInterface;
class QAction;
class QObject;
class QWidget;

// Loads the room calibration plug-in and drives it the way the frontend does: context first,
// then the menu actions; at the end detach, release and destroy, in that order.
class PluginHost
{
public:
    PluginHost();
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // The plug-in file at its place relative to the program (../lib/roomcal/ by default), in the
    // build tree as in an installation, unless ROOMCAL_PLUGIN names another. Needs a
    // QCoreApplication.
    static QString defaultPluginPath();
    // Makes the images that modules expect from their host available.
    static void registerHostResources();

    bool load(const QString& path, QString* error);
    // Hands over the context and asks for the menu actions; observer mode yields none.
    QList<QAction*> attach(IOManager* io, QWidget* parent, BackendVersions* versions,
                           bool observer);
    // detachFromHost, releaseResources, destroy the module. Safe to call twice.
    void shutdown();

    ModuleInterface* module() const { return m_module; }
    QList<QAction*> actions() const { return m_actions; }
    QString fileName() const { return m_loader.fileName(); }

private:
    QPluginLoader m_loader;
    QPointer<QObject> m_instance;
    ModuleInterface* m_module = nullptr;
    QList<QAction*> m_actions;
};
