// The host's message bus, including receivers that change the subscriptions while they are
// being called.
#include "host/MessageBus.h"
#include "kit/TestMain.h"
#include "plugin/MessageReceiver.h"

#include <functional>
#include <memory>

namespace {
class Receiver : public MessageReceiver
{
public:
    virtual ~Receiver() = default;
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

class HostBusTest : public QObject
{
    Q_OBJECT

private slots:
    void deliversToEachRegisteredReceiver();
    void subscriptionsChangedDuringDelivery();
};

void HostBusTest::deliversToEachRegisteredReceiver()
{
    MessageBus bus;
    Receiver first, second;
    QCOMPARE(bus.registerReceiver("RoomCalModule", &first), 0);
    QCOMPARE(bus.registerReceiver("Other", &second), 0);
    // The same pair twice would hear every message twice; a null receiver cannot hear any.
    QVERIFY(bus.registerReceiver("RoomCalModule", &first) != 0);
    QVERIFY(bus.registerReceiver("RoomCalModule", nullptr) != 0);
    QCOMPARE(bus.receiverCount(), 2);

    bus.deliver("Monitor2dTabChanged 4 0,1,2,3", "Monitor2d", 5);
    QCOMPARE(first.seen, QList<QByteArray>{"Monitor2d|5|Monitor2dTabChanged 4 0,1,2,3"});
    QCOMPARE(second.seen, first.seen);

    // Unregistering needs the name it was registered under.
    QVERIFY(bus.unregisterReceiver("Other", &first) != 0);
    QCOMPARE(bus.unregisterReceiver("RoomCalModule", &first), 0);
    bus.deliver("Monitor2dMostActive");
    QCOMPARE(first.seen.size(), 1);
    QCOMPARE(second.seen.size(), 2);
    QCOMPARE(second.seen.last(), QByteArray("host|0|Monitor2dMostActive"));
}

void HostBusTest::subscriptionsChangedDuringDelivery()
{
    MessageBus bus;
    Receiver self;
    auto victim = std::make_unique<Receiver>();
    Receiver late;
    Receiver echo;

    // The first receiver leaves, throws out the next one (which is then destroyed, so a call
    // would touch freed memory) and brings in a newcomer.
    self.onMessage = [&] {
        bus.unregisterReceiver("self", &self);
        bus.unregisterReceiver("victim", victim.get());
        victim.reset();
        bus.registerReceiver("late", &late);
    };
    // A receiver that answers with a message of its own while the first is still delivered.
    echo.onMessage = [&] {
        if (echo.seen.size() == 1)
            bus.deliver("reply");
    };
    bus.registerReceiver("self", &self);
    bus.registerReceiver("victim", victim.get());
    bus.registerReceiver("echo", &echo);

    bus.deliver("first");
    QCOMPARE(self.seen.size(), 1);
    QCOMPARE(echo.seen, (QList<QByteArray>{"host|0|first", "host|0|reply"}));
    QCOMPARE(late.seen, QList<QByteArray>{"host|0|reply"});

    bus.deliver("second");
    QCOMPARE(self.seen.size(), 1);
    QCOMPARE(late.seen.size(), 2);
    QCOMPARE(bus.receiverCount(), 2);
}

ROOMCAL_TEST_MAIN(HostBusTest)
#include "tst_host_bus.moc"
