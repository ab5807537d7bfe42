#pragma once

#include "host/ControllerIOManager.h"
#include "host/EventLog.h"
#include "host/MessageBus.h"
#include "host/PluginHost.h"
#include "host/TcpTransport.h"
#include "kit/ModalDriver.h"
#include "plugin/BackendVersions.h"

#include <QAbstractButton>
#include <QLabel>
#include <QAction>
#include <QTableWidget>
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

// A host frontend around the plug-in file: command channel over TCP, event log, message bus,
// main window, and a home folder of its own that holds the calibration record folder. The
// versions default to those of the simulator's default scenario.
class HostFixture
{
public:
    explicit HostFixture(quint16 port, const BackendVersions& versions = {1, 23, 0, "TESSERA2"},
                         int timeoutMs = TcpTransport::DefaultTimeoutMs)
        : m_previousHome(qgetenv("HOME")), m_transport(QStringLiteral("127.0.0.1"), port),
          m_io(&m_transport, &m_log, &m_bus), m_versions(versions)
    {
        m_transport.setTimeout(timeoutMs);
        QDir(m_home.path()).mkpath(QStringLiteral(".OLV/MORVEK3"));
        qputenv("HOME", QFile::encodeName(m_home.path()));
        m_window.show();
    }
    ~HostFixture()
    {
        m_plugin.shutdown();
        qputenv("HOME", m_previousHome);
    }

    // Loads the plug-in named by ROOMCAL_PLUGIN and hands it the context; returns what went
    // wrong, empty for nothing.
    QString attach()
    {
        QString error;
        if (m_plugin.load(PluginHost::defaultPluginPath(), &error) &&
            m_plugin.attach(&m_io, &m_window, &m_versions, false).size() != 1)
            error = QStringLiteral("the module offers no single menu action");
        return error;
    }
    // Runs the menu action, which returns when the room calibration dialog has closed; the driver
    // must have taken all its steps within limitMs. Returns what went wrong, empty for nothing.
    QString run(const ModalDriver& driver, qint64 limitMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        m_plugin.actions().value(0)->trigger();
        QStringList errors = driver.errors();
        if (!driver.done() || clock.elapsed() > limitMs)
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
    // Empty when there is no record file.
    QByteArray record() const
    {
        QFile file(recordPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    RecordingTransport& transport() { return m_transport; }

    // Transfers to the given configurations as the operator does, and keeps the summary's text.
    static ModalDriver& transfer(ModalDriver& driver, const QStringList& ids, QString* summary)
    {
        const auto apply = [ids](QWidget* dialog) {
            // The box changes and the cell is clicked, which is what updates the Apply button.
            auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("tableWidget_configs"));
            for (int row = 0; row < table->rowCount(); ++row) {
                QTableWidgetItem* select = table->item(row, 4);
                if (select && ids.contains(table->item(row, 0)->text())) {
                    select->setCheckState(Qt::Checked);
                    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                                      table->visualItemRect(select).center());
                }
            }
            dialog->findChild<QAbstractButton*>(QStringLiteral("pushButton_apply"))->click();
        };
        return driver.click("roomCalibration", "pushButton_advanced")
            .on("RoomcalPortDlgClass", apply)
            .answer(QMessageBox::Ok)
            .answer(QMessageBox::Ok, nullptr, summary)
            .click("RoomcalPortDlgClass", "pushButton_exit")
            .click("roomCalibration", "pb_exit");
    }

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
