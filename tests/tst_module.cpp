#include "dialog/RoomCalibrationDialog.h"
#include "kit/FakeIOManager.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "plugin/IOManager.h"
#include "plugin/MessageReceiver.h"
#include "plugin/ModuleInterface.h"
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
template <typename F> int position(F function) { return vtableEntry(function) - 1; }

QVariant channel(IOManager* io) { return QVariant::fromValue(io); }
QVariant versions(BackendVersions* v) { return QVariant::fromValue(v); }
} // namespace

class ModuleTest : public QObject
{
    Q_OBJECT

private slots:
    void hostInterfacesKeepTheirPositions();
    void versionGate_data();
    void versionGate();
    void identifiesItself();
    void observerModeDefersTheMenu();
    void contextConversions();
    void teardownInAnyOrder();
    void hostWindowMayDestroyTheDialogFirst();
};

void ModuleTest::hostInterfacesKeepTheirPositions()
{
    QCOMPARE(position(&IOManager::reserved1), 1);
    QCOMPARE(position(&IOManager::setChannelOption), 2);
    QCOMPARE(position(&IOManager::sendCommand), 3);
    QCOMPARE(position(&IOManager::reserved4), 4);
    QCOMPARE(position(&IOManager::getString), 5);
    QCOMPARE(position(&IOManager::getInt), 6);
    QCOMPARE(position(&IOManager::getDouble), 7);
    QCOMPARE(position(&IOManager::getFlag), 8);
    QCOMPARE(position(&IOManager::getDoubles), 9);
    QCOMPARE(position(&IOManager::reserved10), 10);
    QCOMPARE(position(&IOManager::setParameter), 11);
    QCOMPARE(position(&IOManager::reserved12), 12);
    QCOMPARE(position(&IOManager::reserved15), 15);
    QCOMPARE(position(&IOManager::logMessage), 16);
    QCOMPARE(position(&IOManager::registerReceiver), 17);
    QCOMPARE(position(&IOManager::unregisterReceiver), 18);
    QCOMPARE(IOManager::AnswerBufferSize, 200);

    // MessageReceiver has one operation and no data, so it sits at the start of the table.
    QCOMPARE(vtableEntry(&MessageReceiver::receiveMessage), 0);
    QCOMPARE(sizeof(MessageReceiver), sizeof(void*));

    QCOMPARE(position(&ModuleInterface::detachFromHost), 1);
    QCOMPARE(position(&ModuleInterface::releaseResources), 2);
    QCOMPARE(position(&ModuleInterface::moduleName), 3);
    QCOMPARE(position(&ModuleInterface::moduleVersion), 4);
    QCOMPARE(position(&ModuleInterface::menuActions), 5);
    QCOMPARE(position(&ModuleInterface::setContextProperty), 6);

    // The unused host operations answer failure rather than pretending to work.
    FakeIOManager io;
    IOManager& base = io;
    QCOMPARE(base.reserved1(), -1);
    QCOMPARE(base.reserved13(), -1);
}

void ModuleTest::versionGate_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("patch");
    QTest::addColumn<bool>("atLeast1_9");
    QTest::addColumn<bool>("atLeast0_16");
    QTest::newRow("1.9.-1 pre-release") << 1 << 9 << -1 << true << true;
    QTest::newRow("1.9.0") << 1 << 9 << 0 << true << true;
    QTest::newRow("1.8.99") << 1 << 8 << 99 << false << true;
    QTest::newRow("1.23.0") << 1 << 23 << 0 << true << true;
    QTest::newRow("0.16.-2") << 0 << 16 << -2 << false << false;
    QTest::newRow("0.15.9") << 0 << 15 << 9 << false << false;
    QTest::newRow("2.0.0") << 2 << 0 << 0 << true << true;
}

void ModuleTest::versionGate()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, patch);
    const BackendVersions v{major, minor, patch, QString()};
    QTEST(v.atLeast(1, 9), "atLeast1_9");
    QTEST(v.atLeast(0, 16), "atLeast0_16");
}

void ModuleTest::identifiesItself()
{
    RoomCalModule module;
    QCOMPARE(module.moduleVersion(), QStringLiteral("v1.5.5"));
    QCOMPARE(module.moduleName(), QStringLiteral("GUI Room Calibration"));
    QCOMPARE(module.qt_metacast("RoomCalModule"), static_cast<void*>(&module));
    void* asInterface = static_cast<ModuleInterface*>(&module);
    QCOMPARE(module.qt_metacast("ModuleInterface"), asInterface);
    QCOMPARE(module.qt_metacast(ModuleInterface_iid), asInterface);
    QVERIFY(QByteArray(ModuleInterface_iid).endsWith(".morvek2.gui.Module/0.2.0"));
    QCOMPARE(module.qt_metacast("SomethingElse"), nullptr);
    QCOMPARE(qobject_cast<ModuleInterface*>(&module), static_cast<ModuleInterface*>(&module));
}

void ModuleTest::observerModeDefersTheMenu()
{
    FakeIOManager io;
    BackendVersions v{1, 23, 0, QStringLiteral("TESSERA2")};
    RoomCalModule module;
    module.setContextProperty(QStringLiteral("CommandManager"), channel(&io));
    module.setContextProperty(QStringLiteral("BackendVersions"), versions(&v));
    module.setContextProperty(QStringLiteral("ObserverMode"), true);

    QVERIFY(module.menuActions().isEmpty());
    QVERIFY(!module.dialog());

    module.setContextProperty(QStringLiteral("ObserverMode"), false);
    const QList<QAction*> first = module.menuActions();
    QCOMPARE(first.size(), 1);
    QAction* action = first.first();
    QCOMPARE(action->text(), QStringLiteral("&Room calibration"));
    QCOMPARE(action->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(action->statusTip(), QStringLiteral("Perform a new room calibration"));
    QCOMPARE(action->whatsThis(), QStringLiteral("Perform a new room calibration"));
    QCOMPARE(action->parent(), &module);
    QCOMPARE(module.menuTitle(), QStringLiteral("&Tracking"));
    QVERIFY(module.dialog());

    // Later calls hand back the same single action, even in observer mode.
    module.setContextProperty(QStringLiteral("ObserverMode"), true);
    QCOMPARE(module.menuActions(), first);
    RoomCalibrationDialog* dialog = module.dialog();
    module.setContextProperty(QStringLiteral("ObserverMode"), false);
    QCOMPARE(module.menuActions(), first);
    QCOMPARE(module.dialog(), dialog);
}

void ModuleTest::contextConversions()
{
    FakeIOManager io;
    BackendVersions v;
    QMainWindow window;
    QObject notAWidget;
    RoomCalModule module;

    module.setContextProperty(QStringLiteral("CommandManager"), channel(&io));
    QCOMPARE(module.commandChannel(), static_cast<IOManager*>(&io));
    module.setContextProperty(QStringLiteral("commandmanager"), QVariant()); // keys are exact
    QCOMPARE(module.commandChannel(), static_cast<IOManager*>(&io));
    module.setContextProperty(QStringLiteral("CommandManager"), QStringLiteral("not a pointer"));
    QCOMPARE(module.commandChannel(), nullptr);
    QCOMPARE(QMetaType::type("IOManager*"), qMetaTypeId<IOManager*>());
    QCOMPARE(QMetaType::type("BackendVersions*"), qMetaTypeId<BackendVersions*>());

    module.setContextProperty(QStringLiteral("BackendVersions"), versions(&v));
    QCOMPARE(module.backendVersions(), &v);
    module.setContextProperty(QStringLiteral("BackendVersions"), 42);
    QCOMPARE(module.backendVersions(), nullptr);

    module.setContextProperty(QStringLiteral("ModuleParent"),
                              QVariant::fromValue(static_cast<QWidget*>(&window)));
    QCOMPARE(module.parentWidget(), &window);
    module.setContextProperty(QStringLiteral("ModuleParent"),
                              QVariant::fromValue(static_cast<QObject*>(&window)));
    QCOMPARE(module.parentWidget(), &window);
    module.setContextProperty(QStringLiteral("ModuleParent"), QVariant::fromValue(&notAWidget));
    QCOMPARE(module.parentWidget(), nullptr);
    module.setContextProperty(QStringLiteral("ModuleParent"), QStringLiteral("window"));
    QCOMPARE(module.parentWidget(), nullptr);

    module.setContextProperty(QStringLiteral("ObserverMode"), QStringLiteral("true"));
    QVERIFY(module.observerMode());
    module.setContextProperty(QStringLiteral("ObserverMode"),
                              QVariant::fromValue(static_cast<QObject*>(&notAWidget)));
    QVERIFY(!module.observerMode());

    // A non-widget parent leaves the dialog top-level.
    module.setContextProperty(QStringLiteral("ModuleParent"), QVariant::fromValue(&notAWidget));
    module.setContextProperty(QStringLiteral("CommandManager"), channel(&io));
    module.setContextProperty(QStringLiteral("BackendVersions"), versions(&v));
    module.menuActions();
    QVERIFY(module.dialog());
    QVERIFY(module.dialog()->isWindow());
    QCOMPARE(module.dialog()->parentWidget(), nullptr);
}

void ModuleTest::teardownInAnyOrder()
{
    BackendVersions v{1, 23, 0, QStringLiteral("TESSERA2")};
    for (int order = 0; order < 4; ++order) {
        FakeIOManager io;
        QMainWindow window;
        QPointer<RoomCalibrationDialog> dialog;
        {
            auto* module = new RoomCalModule;
            module->setContextProperty(QStringLiteral("CommandManager"), channel(&io));
            module->setContextProperty(QStringLiteral("BackendVersions"), versions(&v));
            if (order != 3)
                module->setContextProperty(QStringLiteral("ModuleParent"),
                                           QVariant::fromValue(static_cast<QWidget*>(&window)));
            // Detach and release before anything exists must be harmless.
            if (order == 0) {
                module->detachFromHost();
                module->releaseResources();
            }
            QPointer<QAction> action = module->menuActions().value(0);
            dialog = module->dialog();
            QVERIFY(dialog);
            QCOMPARE(io.receivers.size(), 1); // the progress dialog listens to the monitor
            switch (order) {
            case 0:
            case 3:
                module->detachFromHost();
                module->releaseResources();
                QVERIFY(!dialog);
                break;
            case 1:
                module->releaseResources();
                module->detachFromHost();
                QVERIFY(!dialog);
                break;
            case 2:
                break; // destroyed without release: the host window still owns the dialog
            }
            delete module;
            QVERIFY(!action);
        }
        if (order == 2)
            QVERIFY(dialog); // owned by the window until it goes
        else
            QVERIFY(io.receivers.isEmpty());
    }
}

void ModuleTest::hostWindowMayDestroyTheDialogFirst()
{
    FakeIOManager io;
    BackendVersions v{1, 23, 0, QStringLiteral("TESSERA2")};
    RoomCalModule module;
    auto* window = new QMainWindow;
    module.setContextProperty(QStringLiteral("CommandManager"), channel(&io));
    module.setContextProperty(QStringLiteral("BackendVersions"), versions(&v));
    module.setContextProperty(QStringLiteral("ModuleParent"),
                              QVariant::fromValue(static_cast<QWidget*>(window)));
    QAction* action = module.menuActions().value(0);
    QVERIFY(action);
    QCOMPARE(module.dialog()->parentWidget(), window);
    delete window;
    QVERIFY(!module.dialog());
    module.detachFromHost();
    module.releaseResources();
    action->trigger(); // the connection went with the dialog
}

ROOMCAL_TEST_MAIN(ModuleTest)
#include "tst_module.moc"
