#pragma once

#include "host/ControllerIOManager.h"
#include "host/EventLog.h"
#include "host/MessageBus.h"
#include "host/PluginHost.h"
#include "host/TcpTransport.h"
#include "kit/ModalDriver.h"
#include "plugin/BackendVersions.h"

#include <QAction>
#include <QtTest> // with the whole of Qt Core

// The module's traffic on its way to the socket: every request is kept, and a test may act just
// before a chosen request goes out (for instance kill the controller at that point).
class RecordingTransport : public TcpTransport
{
public:
    using TcpTransport::TcpTransport;
    bool transact(const QByteArray& request, QByteArray* answer) override
    {
        requests.append(request);
        if (beforeRequest)
            beforeRequest(request);
        return TcpTransport::transact(request, answer);
    }

    QByteArrayList requests;
    std::function<void(const QByteArray& request)> beforeRequest;
};

// A host around the plug-in file (TCP channel, event log, bus, window) with a home folder of its
// own for the record; the versions are those of the simulator's default scenario.
class HostFixture
{
public:
    explicit HostFixture(quint16 port)
        : m_previousHome(qgetenv("HOME")), m_transport(QStringLiteral("127.0.0.1"), port),
          m_io(&m_transport, &m_log, &m_bus)
    {
        QDir(m_home.path()).mkpath(QStringLiteral(".OLV/MORVEK3"));
        qputenv("HOME", QFile::encodeName(m_home.path()));
        m_window.show();
    }
    ~HostFixture()
    {
        m_plugin.shutdown();
        qputenv("HOME", m_previousHome);
    }

    // Loads the plug-in named by ROOMCAL_PLUGIN with the context; returns what went wrong.
    QString attach()
    {
        QString error;
        if (m_plugin.load(PluginHost::defaultPluginPath(), &error) &&
            m_plugin.attach(&m_io, &m_window, &m_versions, false).size() != 1)
            error = QStringLiteral("the module offers no single menu action");
        return error;
    }
    // Runs the menu action until the dialog closes; returns what went wrong, a driver not done
    // within 10 s included.
    QString run(const ModalDriver& driver)
    {
        QElapsedTimer clock;
        clock.start();
        m_plugin.actions().value(0)->trigger();
        QStringList errors = driver.errors();
        if (!driver.done() || clock.elapsed() > 10000)
            errors
                << QStringLiteral("%1 ms, %2 steps").arg(clock.elapsed()).arg(driver.stepsTaken());
        return errors.join(QLatin1Char('\n'));
    }
    // Event-log texts that the module wrote, in order.
    QStringList moduleLog() const
    {
        QStringList texts;
        for (const EventLog::Entry& entry : m_log.entries())
            if (entry.source == QLatin1String("MORVEK3"))
                texts << entry.text;
        return texts;
    }
    QString recordPath() const { return m_home.filePath(".OLV/MORVEK3/roomcal_out.txt"); }
    RecordingTransport& transport() { return m_transport; }

private:
    QTemporaryDir m_home;
    QByteArray m_previousHome;
    EventLog m_log;
    MessageBus m_bus;
    RecordingTransport m_transport;
    ControllerIOManager m_io;
    BackendVersions m_versions{1, 23, 0, QStringLiteral("TESSERA2")};
    QWidget m_window;
    // Last, so that the module is gone before the window, the channel and the log it uses.
    PluginHost m_plugin;
};
