#pragma once

#include "EventLog.h"
#include "HostTranslations.h"
#include "MessageBus.h"
#include "PluginHost.h"
#include "plugin/BackendVersions.h"

#include <QString>
#include <memory>

class ControllerIOManager;
class ControllerTransport;
class DemoWindow;
class MonitorFeed;
class HistoryWindow;
class SimController;
struct DemoOptions;

// Everything the demo frontend is made of, set up from its options and torn down in the order
// the module expects: the module goes before the window, the command channel and the bus.
class DemoSession
{
public:
    DemoSession();
    ~DemoSession();
    DemoSession(const DemoSession&) = delete;
    DemoSession& operator=(const DemoSession&) = delete;

    // Connects the controller, opens the window's parts and loads the module into it.
    bool start(const DemoOptions& options, QString* error);
    void shutdown();

    DemoWindow* window() const { return m_window.get(); }
    EventLog* eventLog() { return &m_log; }
    MessageBus* bus() { return &m_bus; }
    ControllerIOManager* io() const { return m_io.get(); }
    BackendVersions* versions() { return &m_versions; }
    PluginHost* pluginHost() { return &m_plugin; }
    // Null when a controller is reached over TCP.
    SimController* simulator() const { return m_simulator; }
    MonitorFeed* monitorFeed() const { return m_feed.get(); }
    // The calibration history on the module's record and this session's controller; opened
    // from the menu, null until then.
    HistoryWindow* historyWindow() const { return m_history.get(); }
    void openHistory();

private:
    void logHost(const QString& text);
    void ensureRecordFolder();

    EventLog m_log;
    MessageBus m_bus;
    std::unique_ptr<ControllerTransport> m_transport;
    SimController* m_simulator = nullptr;
    std::unique_ptr<ControllerIOManager> m_io;
    BackendVersions m_versions;
    std::unique_ptr<DemoWindow> m_window;
    std::unique_ptr<HistoryWindow> m_history;
    PluginHost m_plugin;
    // Holds data of the plug-in's resources: removed before the plug-in goes.
    HostTranslations m_translations;
    std::unique_ptr<MonitorFeed> m_feed;
};
