#pragma once

#include "host/ControllerIOManager.h"
#include "host/ControllerTransport.h"
#include "host/EventLog.h"
#include "host/MessageBus.h"
#include "host/PluginHost.h"
#include "host/TcpTransport.h"
#include "plugin/BackendVersions.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>

class QAction;

// The module's traffic on its way to the socket: every request is kept, and a test may act
// just before a chosen request goes out (for instance kill the controller at that point).
class RecordingTransport : public ControllerTransport
{
public:
    RecordingTransport(const QString& host, quint16 port) : m_tcp(host, port) {}

    bool transact(const QByteArray& request, QByteArray* answer) override;
    void setTimeout(int milliseconds) override { m_tcp.setTimeout(milliseconds); }
    int timeout() const override { return m_tcp.timeout(); }
    QString lastError() const override { return m_tcp.lastError(); }
    QString description() const override { return m_tcp.description(); }

    QList<QByteArray> requests;
    std::function<void(const QByteArray& request)> beforeRequest;

private:
    TcpTransport m_tcp;
};

// A host frontend around the plug-in file: command channel over TCP, event log, message bus,
// main window, and a home folder of its own that holds the calibration record folder.
class HostFixture
{
public:
    HostFixture(quint16 port, const BackendVersions& versions,
                int timeoutMs = TcpTransport::DefaultTimeoutMs);
    ~HostFixture();
    HostFixture(const HostFixture&) = delete;
    HostFixture& operator=(const HostFixture&) = delete;

    // Loads the plug-in named by ROOMCAL_PLUGIN and hands it the context.
    bool attach(QString* error);
    QAction* action() const;
    // Runs the menu action: returns when the room calibration dialog has closed.
    void openDialog();

    // Event-log texts that the module wrote (source "MORVEK3"), in order.
    QStringList moduleLog() const;
    QString recordPath() const;
    // Empty when there is no record file.
    QByteArray record() const;

    RecordingTransport& transport() { return m_transport; }
    ControllerIOManager& io() { return m_io; }
    EventLog& eventLog() { return m_log; }

private:
    QTemporaryDir m_home;
    QByteArray m_previousHome;
    EventLog m_log;
    MessageBus m_bus;
    RecordingTransport m_transport;
    ControllerIOManager m_io;
    BackendVersions m_versions;
    QWidget m_window;
    // Last, so that the module is gone before the window, the channel and the log it uses.
    PluginHost m_plugin;
};
