// The demo frontend loading the module with the simulated controller, and the host's message
// bus with receivers that change the subscriptions while they are being called.
#include "host/DemoOptions.h"
#include "host/DemoSession.h"
#include "host/DemoWindow.h"
#include "kit/TestMain.h"
#include "plugin/MessageReceiver.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
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
    void loadsTheModuleIntoTheTrackingMenu()
    {
        DemoSession session;
        QString error;
        QVERIFY2(session.start(DemoOptions(), &error), qPrintable(error));
        const QList<QAction*> actions = session.window()->trackingMenu()->actions();
        QVERIFY(actions.size() == 1 && actions.at(0)->isEnabled());
        QCOMPARE(actions.at(0)->text() + ' ' + actions.at(0)->shortcut().toString(),
                 QString("&Room calibration F5"));
        // The module registered its monitor receiver and took it away again at shutdown.
        QCOMPARE(session.bus()->receiverCount(), 1);
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
