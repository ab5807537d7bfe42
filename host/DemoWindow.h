#pragma once

#include "EventLog.h"

#include <QList>
#include <QMainWindow>

class IOManager;
class MessageBus;
class QAction;
class QCheckBox;
class QLabel;
class QTime;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSpinBox;
class QVBoxLayout;

// The stand-in frontend's main window: the "&Tracking" menu with the module's actions, the event
// log, and a small 2D monitor that announces its tab layout and most active cameras on the bus.
class DemoWindow : public QMainWindow
{
    Q_OBJECT

public:
    DemoWindow(EventLog* log, MessageBus* bus, QWidget* parent = nullptr);

    // Replaces the menu's module entries; an empty list shows why there are none.
    void setModuleActions(const QList<QAction*>& actions, bool observer);
    // One most-active check box per camera, c01 first.
    void setCameraCount(int count);
    void setControllerSummary(const QString& summary);
    // The state of the command channel, kept in the status bar beside the summary.
    void setChannelState(bool answering, const QTime& since);

    QMenu* trackingMenu() const { return m_trackingMenu; }
    QPlainTextEdit* logView() const { return m_logView; }

    // The texts the monitor panel sends, for the current state of its inputs.
    QByteArray tabMessage() const;
    QByteArray mostActiveMessage() const;

public slots:
    void sendTabLayout();
    void sendMostActive();
    // Checks exactly these cameras' boxes (0-based) and sends the message once.
    void showMostActive(const QList<int>& cameras);

private slots:
    void showEntry(const EventLog::Entry& entry);

private:
    QWidget* makeMonitorPanel();

    EventLog* m_log;
    MessageBus* m_bus;
    QMenu* m_trackingMenu = nullptr;
    QPlainTextEdit* m_logView = nullptr;
    QSpinBox* m_camerasPerTab = nullptr;
    QLineEdit* m_order = nullptr;
    QVBoxLayout* m_activeLayout = nullptr;
    QList<QCheckBox*> m_activeBoxes;
    QLabel* m_channelState = nullptr;
};
