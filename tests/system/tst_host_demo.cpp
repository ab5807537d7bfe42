// The demo frontend's options and its plug-in loading, with the simulated controller.
#include "host/ControllerIOManager.h"
#include "host/DemoOptions.h"
#include "host/DemoSession.h"
#include "host/DemoWindow.h"
#include "host/MessageBus.h"
#include "kit/TestMain.h"
#include "plugin/MessageReceiver.h"
#include "plugin/ModuleInterface.h"

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {
class Recorder : public MessageReceiver
{
public:
    int receiveMessage(const char*, int, const char* message) override
    {
        seen << message;
        return 0;
    }
    QList<QByteArray> seen;
};

DemoOptions options(const QStringList& arguments)
{
    DemoOptions result;
    QString error;
    if (!DemoOptions::parse(QStringList{"roomcal-demo"} + arguments, &result, &error))
        qWarning("options refused: %s", qPrintable(error));
    return result;
}
} // namespace

class HostDemoTest : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void loadsTheModuleIntoTheTrackingMenu();
    void observerModeAndBadPlugin();
    void monitorPanelSpeaksOnTheBus();
};

void HostDemoTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("summary"); // version, model, observer, controller

    QTest::newRow("defaults") << QStringList{} << true << "- |  | 0 | ";
    QTest::newRow("version") << QStringList{"--version", "1.9"} << true << "1.9.0 |  | 0 | ";
    QTest::newRow("pre-release") << QStringList{"--version=0.17.-1", "--model", "TESSERA3",
                                                "--observer"}
                                 << true << "0.17.-1 | TESSERA3 | 1 | ";
    QTest::newRow("ipv6 controller")
        << QStringList{"--controller", "[::1]:7000"} << true << "- |  | 0 | ::1:7000";
    QTest::newRow("controller") << QStringList{"--controller", "localhost:7000"} << true
                                << "- |  | 0 | localhost:7000";
    QTest::newRow("bad version") << QStringList{"--version", "1.x"} << false << "";
    QTest::newRow("version too short") << QStringList{"--version", "1"} << false << "";
    QTest::newRow("port zero") << QStringList{"--controller", "localhost:0"} << false << "";
    QTest::newRow("no port") << QStringList{"--controller", "localhost"} << false << "";
    QTest::newRow("scenario with controller")
        << QStringList{"--controller", "localhost:7000", "--scenario", "a.json"} << false << "";
    QTest::newRow("unknown option") << QStringList{"--verbose"} << false << "";
    QTest::newRow("stray argument") << QStringList{"extra"} << false << "";
}

void HostDemoTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, accepted);
    QFETCH(QString, summary);

    DemoOptions parsed;
    QString error;
    const bool ok = DemoOptions::parse(QStringList{"roomcal-demo"} + arguments, &parsed, &error);
    QCOMPARE(ok, accepted);
    if (!ok) {
        QVERIFY(!error.isEmpty());
        return;
    }
    const QString version = parsed.versionGiven ? QStringLiteral("%1.%2.%3")
                                                      .arg(parsed.versionMajor)
                                                      .arg(parsed.versionMinor)
                                                      .arg(parsed.versionPatch)
                                                : QStringLiteral("-");
    const QString controller =
        parsed.controllerHost.isEmpty()
            ? QString()
            : QStringLiteral("%1:%2").arg(parsed.controllerHost).arg(parsed.controllerPort);
    QCOMPARE(QStringLiteral("%1 | %2 | %3 | %4")
                 .arg(version, parsed.modelName, QString::number(parsed.observer), controller),
             summary);
}

void HostDemoTest::loadsTheModuleIntoTheTrackingMenu()
{
    DemoSession session;
    QString error;
    QVERIFY2(session.start(options({"--version", "1.18.2", "--model", "TESSERA3"}), &error),
             qPrintable(error));

    // The context the module was handed, and the controller agreeing with it.
    QCOMPARE(session.versions()->versionMinor, 18);
    QCOMPARE(session.versions()->modelName, QString("TESSERA3"));
    QVERIFY(session.simulator());
    QCOMPARE(session.pluginHost()->module()->moduleVersion(), QString("v1.5.5"));

    const QList<QAction*> actions = session.window()->trackingMenu()->actions();
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions.at(0)->text(), QString("&Room calibration"));
    QCOMPARE(actions.at(0)->shortcut(), QKeySequence(Qt::Key_F5));
    QVERIFY(actions.at(0)->isEnabled());

    // The images the module loads from its host.
    QCOMPARE(QImage(":/lock.png").size(), QSize(48, 48));
    QCOMPARE(QImage(":/images/icons/morvek_16x16.png").size(), QSize(16, 16));

    // What the module logs shows in the window, as data.
    session.io()->logMessage("standard", "MORVEK3", 1, "calibration %s started");
    QVERIFY(session.window()->logView()->toPlainText().contains("MORVEK3/standard 1  calibration "
                                                                "%s started"));

    session.shutdown();
    QVERIFY(!session.pluginHost()->module());
    // The module's monitor receiver, if it registered one, is gone from the bus.
    QCOMPARE(session.bus()->receiverCount(), 0);
}

void HostDemoTest::observerModeAndBadPlugin()
{
    {
        DemoSession session;
        QString error;
        QVERIFY2(session.start(options({"--observer"}), &error), qPrintable(error));
        const QList<QAction*> actions = session.window()->trackingMenu()->actions();
        QCOMPARE(actions.size(), 1);
        QVERIFY(!actions.at(0)->isEnabled());
        QVERIFY(session.pluginHost()->actions().isEmpty());
    }
    for (const QString& path :
         {QStringLiteral("/nonexistent/libroomcal.so"),
          QString::fromLocal8Bit(qgetenv("ROOMCAL_SOURCE_DIR")) + "/host/images/lock.png"}) {
        DemoSession session;
        QString error;
        QVERIFY(!session.start(options({"--plugin", path}), &error));
        QVERIFY2(error.contains(path) || error.contains("not found"), qPrintable(error));
    }
}

void HostDemoTest::monitorPanelSpeaksOnTheBus()
{
    DemoSession session;
    QString error;
    QVERIFY2(session.start(options({}), &error), qPrintable(error));
    Recorder recorder;
    session.bus()->registerReceiver("recorder", &recorder);
    DemoWindow* window = session.window();

    window->findChild<QSpinBox*>("spinBox_camerasPerTab")->setValue(3);
    window->findChild<QLineEdit*>("lineEdit_order")->setText(" 2,0,1 ");
    window->findChild<QPushButton*>("pushButton_sendTabs")->click();
    QCOMPARE(recorder.seen.value(0), QByteArray("Monitor2dTabChanged 3 2,0,1"));

    window->setCameraCount(4);
    window->findChild<QCheckBox*>("checkBox_active_3")->setChecked(true);
    window->findChild<QCheckBox*>("checkBox_active_1")->setChecked(true);
    window->findChild<QCheckBox*>("checkBox_active_3")->setChecked(false);
    QCOMPARE(recorder.seen.mid(1),
             (QList<QByteArray>{"Monitor2dMostActive 3", "Monitor2dMostActive 1,3",
                                "Monitor2dMostActive 1"}));
    QVERIFY(!window->findChild<QCheckBox*>("checkBox_active_4"));
    session.bus()->unregisterReceiver("recorder", &recorder);
}

ROOMCAL_TEST_MAIN(HostDemoTest)
#include "tst_host_demo.moc"
