#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QtPlugin>

class QAction;

// What the host frontend drives in each of its plug-in modules.
class ModuleInterface
{
public:
    virtual ~ModuleInterface() = default;
    virtual void detachFromHost() = 0;
    virtual void releaseResources() = 0;
    virtual QString moduleName() = 0;
    virtual QString moduleVersion() = 0;
    virtual QList<QAction*> menuActions() = 0;
    virtual void setContextProperty(QString key, QVariant value) = 0;
};

#define ModuleInterface_iid "de.olv.morvek2.gui.Module/0.2.0"
Q_DECLARE_INTERFACE(ModuleInterface, ModuleInterface_iid)
