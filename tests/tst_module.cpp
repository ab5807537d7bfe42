#include "dialog/RoomCalibrationDialog.h"
#include "kit/FakeIOManager.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "plugin/MessageReceiver.h"
#include "plugin/RoomCalModule.h"

#include <QAction>
#include <QMainWindow>
#include <QPointer>
#include <cstring>

namespace {
// Itanium C++ ABI: a pointer to a virtual member function stores 1 + the byte offset of its entry
// in the table of virtual functions. The destructor occupies two entries (complete and deleting).
template <typename F> int vtableEntry(F function)
{
    static_assert(sizeof(F) == 2 * sizeof(std::ptrdiff_t), "Itanium member function pointer");
    std::ptrdiff_t raw[2];
    std::memcpy(raw, &function, sizeof raw);
    return (raw[0] & 1) ? int((raw[0] - 1) / std::ptrdiff_t(sizeof(void*))) : -1;
}
// The host counts the destructor as one position.
template <typename F> int position(F function)
{
    return vtableEntry(function) - 1;
}

void setContext(RoomCalModule& module, IOManager* io, BackendVersions* v, QWidget* parent = nullptr)
{
    module.setContextProperty("CommandManager", QVariant::fromValue(io));
    module.setContextProperty("BackendVersions", QVariant::fromValue(v));
    if (parent)
        module.setContextProperty("ModuleParent", QVariant::fromValue(parent));
}
} // namespace

class ModuleTest : public QObject
{
    Q_OBJECT

private slots:
    void hostInterfacesKeepTheirPositions()
    {
        using IO = IOManager;
        const QList<int> io = {position(&IO::setChannelOption),  position(&IO::sendCommand),
                               position(&IO::getString),         position(&IO::getInt),
                               position(&IO::getDouble),         position(&IO::getFlag),
                               position(&IO::getDoubles),        position(&IO::setParameter),
                               position(&IO::logMessage),        position(&IO::registerReceiver),
                               position(&IO::unregisterReceiver)};
        QCOMPARE(io, (QList<int>{2, 3, 5, 6, 7, 8, 9, 11, 16, 17, 18}));
        QCOMPARE(IOManager::AnswerBufferSize, 200);
        // MessageReceiver has one operation and no data, so it sits at the start of the table.
        QCOMPARE(vtableEntry(&MessageReceiver::receiveMessage), 0);
        QCOMPARE(sizeof(MessageReceiver), sizeof(void*));
        using MI = ModuleInterface;
        QCOMPARE((QList<int>{position(&MI::detachFromHost), position(&MI::releaseResources),
                             position(&MI::moduleName), position(&MI::moduleVersion),
                             position(&MI::menuActions), position(&MI::setContextProperty)}),
                 (QList<int>{1, 2, 3, 4, 5, 6}));
    }

    void observerModeDefersTheMenu()
    {
        FakeIOManager io;
        BackendVersions v{1, 23, 0, "TESSERA2"};
        RoomCalModule module;
        setContext(module, &io, &v);
        module.setContextProperty("ObserverMode", true);
        QVERIFY(module.menuActions().isEmpty() && !module.dialog());

        module.setContextProperty("ObserverMode", false);
        const QList<QAction*> first = module.menuActions();
        QCOMPARE(first.size(), 1);
        QAction* action = first.first();
        QCOMPARE((QStringList{action->text(), action->shortcut().toString(), action->statusTip(),
                              action->whatsThis(), module.menuTitle()}),
                 (QStringList{"&Room calibration", "F5", "Perform a new room calibration",
                              "Perform a new room calibration", "&Tracking"}));
        QCOMPARE(action->parent(), &module);
        RoomCalibrationDialog* dialog = module.dialog();
        QVERIFY(dialog);

        // Later calls hand back the same single action, even in observer mode.
        module.setContextProperty("ObserverMode", true);
        QCOMPARE(module.menuActions(), first);
        module.setContextProperty("ObserverMode", false);
        QCOMPARE(module.menuActions(), first);
        QCOMPARE(module.dialog(), dialog);
    }

    void contextConversions()
    {
        FakeIOManager io;
        BackendVersions v;
        QMainWindow window;
        QObject notAWidget;
        RoomCalModule module;
        setContext(module, &io, &v);
        module.setContextProperty("commandmanager", QVariant()); // keys are exact
        QVERIFY(module.commandChannel() == &io && module.backendVersions() == &v);
        QCOMPARE(QMetaType::type("IOManager*"), qMetaTypeId<IOManager*>());
        QCOMPARE(QMetaType::type("BackendVersions*"), qMetaTypeId<BackendVersions*>());
        // A value of the wrong type stores nothing.
        module.setContextProperty("CommandManager", "not a pointer");
        module.setContextProperty("BackendVersions", 42);
        QVERIFY(!module.commandChannel() && !module.backendVersions());

        module.setContextProperty("ModuleParent", QVariant::fromValue<QObject*>(&window));
        QCOMPARE(module.parentWidget(), &window);
        module.setContextProperty("ModuleParent", "window");
        QCOMPARE(module.parentWidget(), nullptr);
        module.setContextProperty("ObserverMode", "true");
        QVERIFY(module.observerMode());
        module.setContextProperty("ObserverMode", QVariant::fromValue(&notAWidget));
        QVERIFY(!module.observerMode());

        // A non-widget parent leaves the dialog top-level.
        module.setContextProperty("ModuleParent", QVariant::fromValue(&notAWidget));
        QCOMPARE(module.parentWidget(), nullptr);
        setContext(module, &io, &v);
        module.menuActions();
        QVERIFY(module.dialog() && module.dialog()->isWindow() && !module.dialog()->parentWidget());
    }

    // Whatever the order of the host's teardown, nothing stays registered or dangling.
    void teardownInAnyOrder()
    {
        BackendVersions v{1, 23, 0, "TESSERA2"};
        for (const QString order :
             {"early release", "release first", "module only", "window first", "no window"}) {
            FakeIOManager io;
            QPointer<QMainWindow> window = new QMainWindow;
            auto* module = new RoomCalModule;
            setContext(*module, &io, &v, order == "no window" ? nullptr : window);
            if (order == "early release") { // before anything exists: harmless
                module->detachFromHost();
                module->releaseResources();
            }
            QPointer<QAction> action = module->menuActions().value(0);
            QPointer<RoomCalibrationDialog> dialog = module->dialog();
            QVERIFY(dialog && dialog->parentWidget() == (order == "no window" ? nullptr : window));
            QCOMPARE(io.receivers.size(), 1); // the progress dialog listens to the monitor
            if (order == "window first") {
                delete window;
                QVERIFY(!dialog && !module->dialog());
            }
            if (order == "release first") {
                module->releaseResources();
                // A host that asks again gets a new action on a new dialog.
                QVERIFY(module->menuActions().value(0) != action && module->dialog());
            }
            if (order != "module only") {
                module->detachFromHost();
                QVERIFY(io.receivers.isEmpty());
                module->releaseResources();
                QVERIFY(!dialog);
                action->trigger(); // the connection went with the dialog
            }
            delete module;
            QVERIFY(!action);
            QCOMPARE(bool(dialog), order == "module only"); // the window still owns it
            delete window;
            QVERIFY2(io.receivers.isEmpty(), qPrintable(order));
        }
    }
};

ROOMCAL_TEST_MAIN(ModuleTest)
#include "tst_module.moc"
