// The demo frontend loading the module with the simulated controller, and the host's message
// bus with receivers that change the subscriptions while they are being called.
#include "history/HistoryWindow.h"
#include "host/ControllerIOManager.h"
#include "host/DemoOptions.h"
#include "host/DemoSession.h"
#include "host/DemoWindow.h"
#include "host/MonitorFeed.h"
#include "kit/ChildProcess.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/MessageReceiver.h"
#include "sim/SimController.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <functional>
#include <memory>

namespace {
struct Receiver : MessageReceiver
{
    int receiveMessage(const char* sender, int kind, const char* message) override
    {
        seen << QByteArray(sender) + '|' + QByteArray::number(kind) + '|' + message;
        if (onMessage)
            onMessage();
        return 0;
    }
    QList<QByteArray> seen;
    std::function<void()> onMessage;
};
} // namespace

class HostDemoTest : public QObject
{
    Q_OBJECT

private slots:
    // The demo program itself: what reaches the user first, and whether the options it reads
    // are the ones given. A plug-in file that does not exist makes a run end right after the
    // options were applied (the simulator and its scenario are set up before the plug-in).
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("display");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        const QString noPlugin = QStringLiteral("/nonexistent/libroomcal.so");
        const QString notFound = QStringLiteral("plug-in file \"%1\" not found").arg(noPlugin);
        QTest::newRow("no display") << QStringList() << false << 2 << "needs a display";
        QTest::newRow("unknown option before the display check")
            << QStringList{"--bogus"} << false << 1 << "Unknown option 'bogus'";
        QTest::newRow("bad version") << QStringList{"--version", "1.23.x"} << false << 1
                                     << "--version wants MAJOR.MINOR[.PATCH], not \"1.23.x\"";
        QTest::newRow("no such scenario")
            << QStringList{"--scenario", "nosuch"} << false << 1 << "no scenario \"nosuch\"";
        QTest::newRow("--plugin PATH")
            << QStringList{"--plugin", noPlugin} << true << 1 << notFound;
        QTest::newRow("bundled scenario by name, pre-release version")
            << QStringList{"--scenario", "stall", "--version", "1.23.-1", "--plugin", noPlugin}
            << true << 1 << notFound;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, display);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        int code = 0;
        const QString got = TestKit::runProgram(
            QCoreApplication::applicationDirPath() + "/roomcal-demo", arguments, display, &code);
        QVERIFY2(got.contains(output), qPrintable(got));
        QCOMPARE(code, exitCode);
    }

    // In German, and with the monitor's messages coming from the controller during a run.
    void monitorFollowsTheRunInGerman()
    {
        DemoOptions options;
        QString error;
        QVERIFY(!DemoOptions::parse({"demo", "--language", "xx"}, &options, &error) ||
                !DemoSession().start(options, &error));
        QVERIFY2(DemoOptions::parse({"demo", "--language", "de"}, &options, &error),
                 qPrintable(error));
        DemoSession session;
        QVERIFY2(session.start(options, &error), qPrintable(error));
        QCOMPARE(session.window()->trackingMenu()->actions().at(0)->text(),
                 QString("&Raumkalibrierung"));
        Receiver monitor;
        session.bus()->registerReceiver("watch", &monitor);
        qint64 now = 0;
        session.simulator()->setClock([&] { return now; });
        session.monitorFeed()->poll();
        QVERIFY(monitor.seen.isEmpty()); // no run, nothing to say
        char answer[200];
        session.io()->sendCommand(answer, "%s", "morvek2 cal room start");
        for (now = 3000; now <= 6000; now += 3000)
            session.monitorFeed()->poll();
        QCOMPARE(monitor.seen.size(), 3);
        QCOMPARE(monitor.seen.at(0), QByteArray("Monitor2d|0|Monitor2dTabChanged 4 0,1,2,3,4,5"));
        QVERIFY(monitor.seen.at(2).startsWith("Monitor2d|0|Monitor2dMostActive "));
        QVERIFY(!monitor.seen.at(2).endsWith(' '));
    }

    // A fresh account: the session makes the record folder and loads the module into the
    // tracking menu; the history it offers restores a record over the session's channel.
    void loadsTheModuleAndRestoresFromTheHistory()
    {
        QTemporaryDir home;
        const QByteArray previousHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        const auto restoreHome = qScopeGuard([&] { qputenv("HOME", previousHome); });
        DemoSession session;
        QString error;
        QVERIFY2(session.start(DemoOptions(), &error), qPrintable(error));
        QVERIFY(QFileInfo(home.filePath(".OLV/MORVEK3")).isDir());
        const QList<QAction*> actions = session.window()->trackingMenu()->actions();
        QVERIFY(actions.size() == 1 && actions.at(0)->isEnabled());
        // The module registered its monitor receiver (and takes it away again at shutdown).
        QCOMPARE(session.bus()->receiverCount(), 1);

        // A record of the simulator's cameras whose rooms differ in their last value.
        QByteArray record = "# Roomcalibration  created Mon Jan 5 09:00:00 2026\n"
                            "# Wand residual: 0.124   wand range 0.853\n";
        QByteArray commands;
        char text[IOManager::AnswerBufferSize];
        for (int c = 1; c <= 6; ++c) {
            const QByteArray slot = "c0" + QByteArray::number(c);
            QCOMPARE(session.io()->getString(text, "camera camera %s", slot.constData()), 0);
            record += "# Cam residual C0" + QByteArray::number(c) + " (" + QByteArray(text) +
                      "): 0.07 0.98\n";
            QCOMPARE(
                session.io()->sendCommand(text, "morvek2 get tracking room %s", slot.constData()),
                0);
            commands += QByteArray(text).left(QByteArray(text).lastIndexOf(' ')) + " 0.25\n";
        }
        QFile file(home.filePath(".OLV/MORVEK3/roomcal_out.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(record + "#" + QByteArray(69, '-') + "\n\n" + commands);
        file.close();

        session.window()->findChild<QAction*>("action_calibrationHistory")->trigger();
        QVERIFY(session.historyWindow() && session.historyWindow()->isVisible());
        QString summary;
        ModalDriver driver;
        driver.answer(QMessageBox::Yes).answer(QMessageBox::Ok, nullptr, &summary);
        session.historyWindow()->restoreSelected();
        QCOMPARE(summary, QString("calibration 1 of 2026-01-05 09:00:00 restored"));
        QCOMPARE(session.io()->sendCommand(text, "morvek2 get tracking room c06"), 0);
        QVERIFY2(QByteArray(text).endsWith(" 0.25"), text);
        session.shutdown();
        QCOMPARE(session.bus()->receiverCount(), 0);
    }

    void statusBarTellsTheControllerIsGone()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        DemoOptions options;
        options.controllerHost = QStringLiteral("127.0.0.1");
        options.controllerPort = closed.serverPort();
        closed.close();
        DemoSession session;
        QString error;
        QVERIFY2(session.start(options, &error), qPrintable(error));
        auto* state = session.window()->findChild<QLabel*>("label_channelState");
        QVERIFY(state);
        QVERIFY2(QRegularExpression("^controller not answering since \\d\\d:\\d\\d:\\d\\d$")
                     .match(state->text())
                     .hasMatch(),
                 qPrintable(state->text()));
    }

    void busDeliversWhileSubscriptionsChange()
    {
        MessageBus bus;
        Receiver self, late, echo;
        auto victim = std::make_unique<Receiver>();
        // The first receiver leaves, throws out the next one (which is then destroyed, so a
        // call would touch freed memory) and brings in a newcomer for the next message.
        self.onMessage = [&] {
            bus.unregisterReceiver("self", &self);
            bus.unregisterReceiver("victim", victim.get());
            victim.reset();
            bus.registerReceiver("late", &late);
        };
        // A receiver that sends a message of its own while the first is still delivered.
        echo.onMessage = [&] {
            if (echo.seen.size() == 1)
                bus.deliver("reply");
        };
        QCOMPARE(bus.registerReceiver("self", &self), 0);
        QCOMPARE(bus.registerReceiver("victim", victim.get()), 0);
        QCOMPARE(bus.registerReceiver("echo", &echo), 0);
        // Twice the same pair would hear every message twice; a null receiver can hear none.
        QVERIFY(bus.registerReceiver("echo", &echo) != 0);
        QVERIFY(bus.registerReceiver("null", nullptr) != 0);

        bus.deliver("Monitor2dMostActive 3", "Monitor2d", 5);
        QCOMPARE(self.seen, QList<QByteArray>{"Monitor2d|5|Monitor2dMostActive 3"});
        QCOMPARE(echo.seen, QList<QByteArray>({self.seen.at(0), "host|0|reply"}));
        QCOMPARE(late.seen, QList<QByteArray>{"host|0|reply"});
        // Unregistering needs the name it was registered under.
        QVERIFY(bus.unregisterReceiver("late", &echo) != 0);
        bus.deliver("second");
        QCOMPARE(self.seen.size(), 1);
        QCOMPARE(late.seen.size(), 2);
        QCOMPARE(echo.seen.size(), 3);
    }
};

ROOMCAL_TEST_MAIN(HostDemoTest)
#include "tst_host_demo.moc"
