#include "RoomCalModule.h"

#include "BackendVersions.h"
#include "IOManager.h"
#include "ModuleVersion.h"
#include "dialog/RoomCalibrationDialog.h"
#include "progress/CalibrationProgressDlg.h"

#include <QAction>
#include <QKeySequence>
#include <QWidget>

namespace {
void registerHostTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<IOManager*>("IOManager*");
        qRegisterMetaType<BackendVersions*>("BackendVersions*");
        return true;
    }();
    Q_UNUSED(registered);
}
} // namespace

RoomCalModule::RoomCalModule() = default;

RoomCalModule::~RoomCalModule()
{
    // A dialog without a host window has no other owner.
    if (m_dialog && !m_dialog->parent())
        delete m_dialog.data();
}

void RoomCalModule::detachFromHost()
{
    if (auto* dialog = qobject_cast<RoomCalibrationDialog*>(m_dialog.data()))
        dialog->progressDialog()->detach_receiver();
}

void RoomCalModule::releaseResources()
{
    delete m_dialog.data();
    m_dialog = nullptr;
    m_actions.clear();
}

QString RoomCalModule::moduleName()
{
    return tr("GUI Room Calibration");
}

QString RoomCalModule::moduleVersion()
{
    return QStringLiteral("v%1.%2.%3")
        .arg(ROOMCAL_VERSION_MAJOR, 0, 10)
        .arg(ROOMCAL_VERSION_MINOR, 0, 10)
        .arg(ROOMCAL_VERSION_PATCH, 0, 10);
}

QList<QAction*> RoomCalModule::menuActions()
{
    if (!m_actions.isEmpty() || m_observer)
        return m_actions;

    m_dialog = new RoomCalibrationDialog(m_io, m_parent, m_versions);
    m_menuTitle = tr("&Tracking");
    m_menuPosition = 300;
    m_menuGroup = 10;
    m_toolbarPosition = 0;

    m_action = new QAction(tr("&Room calibration"), this);
    m_action->setShortcut(QKeySequence(tr("F5")));
    m_action->setStatusTip(tr("Perform a new room calibration"));
    m_action->setWhatsThis(tr("Perform a new room calibration"));
    connect(m_action, &QAction::triggered, m_dialog.data(),
            &RoomCalibrationDialog::update_and_exec);
    m_actions.append(m_action);
    return m_actions;
}

void RoomCalModule::setContextProperty(QString key, QVariant value)
{
    registerHostTypes();
    if (key == QLatin1String("CommandManager")) {
        m_io = value.value<IOManager*>();
    } else if (key == QLatin1String("ModuleParent")) {
        // A QObject that is not a widget cannot parent a dialog: the dialog is then top-level.
        if (value.canConvert<QObject*>())
            m_parent = qobject_cast<QWidget*>(value.value<QObject*>());
        else
            m_parent = value.value<QWidget*>();
    } else if (key == QLatin1String("BackendVersions")) {
        m_versions = value.value<BackendVersions*>();
    } else if (key == QLatin1String("ObserverMode")) {
        m_observer = value.canConvert<bool>() && value.toBool();
    }
}
