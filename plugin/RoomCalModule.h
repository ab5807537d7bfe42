#pragma once

#include "ModuleInterface.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QWidget;
class IOManager;
struct BackendVersions;
class RoomCalibrationDialog;

// The object through which the host drives the room calibration module.
class RoomCalModule : public QObject, public ModuleInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "de.olv.Morvek2.RoomCalModule")
    Q_INTERFACES(ModuleInterface)

public:
    RoomCalModule();
    ~RoomCalModule() override;

    void detachFromHost() override;
    void releaseResources() override;
    QString moduleName() override;
    QString moduleVersion() override;
    QList<QAction*> menuActions() override;
    void setContextProperty(QString key, QVariant value) override;

    // For the host stand-in and the tests: what the context handed over.
    QWidget* parentWidget() const { return m_parent; }
    IOManager* commandChannel() const { return m_io; }
    BackendVersions* backendVersions() const { return m_versions; }
    bool observerMode() const { return m_observer; }
    RoomCalibrationDialog* dialog() const { return m_dialog; }
    QString menuTitle() const { return m_menuTitle; }

private:
    QWidget* m_parent = nullptr;
    QList<QAction*> m_actions;
    QAction* m_action = nullptr;
    int m_menuGroup = 0;
    QString m_menuTitle;
    int m_menuPosition = 0;
    // The host's window owns the dialog as its QWidget child and may delete it first.
    QPointer<RoomCalibrationDialog> m_dialog;
    int m_toolbarPosition = 0;
    // Held for the host's sake; the module never reads them.
    void* m_hostReserved1 = nullptr;
    QString m_hostReserved2;
    void* m_hostReserved3 = nullptr;
    IOManager* m_io = nullptr;
    BackendVersions* m_versions = nullptr;
    bool m_observer = false;
};
