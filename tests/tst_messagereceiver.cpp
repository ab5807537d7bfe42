#include "kit/TestMain.h"
#include "progress/RoomCalMessageReceiver.h"

class TestMessageReceiver : public QObject
{
    Q_OBJECT

private slots:
    void routesMonitorMessages_data();
    void routesMonitorMessages();
    void castsToTheHostInterface();
};

void TestMessageReceiver::routesMonitorMessages_data()
{
    // A null expectation means the signal must not be emitted at all.
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("tabs");
    QTest::addColumn<QString>("mostActive");

    QTest::newRow("tab change") << QByteArray("Monitor2dTabChanged 4 0,1,2,3,4,5")
                                << QStringLiteral("4 0,1,2,3,4,5") << QString();
    QTest::newRow("most active") << QByteArray("Monitor2dMostActive 3,1") << QString()
                                 << QStringLiteral("3,1");
    QTest::newRow("most active, no payload")
        << QByteArray("Monitor2dMostActive") << QString() << QStringLiteral("");
    QTest::newRow("name glued to payload")
        << QByteArray("Monitor2dTabChangedX 2 0") << QStringLiteral("2 0") << QString();
    QTest::newRow("latin-1 payload")
        << QByteArray("Monitor2dMostActive \xe9,1") << QString() << QStringLiteral("\u00e9,1");
    QTest::newRow("other kind") << QByteArray("Monitor3dTabChanged 4 0,1") << QString()
                                << QString();
    QTest::newRow("letter case") << QByteArray("monitor2dmostactive 1") << QString() << QString();
}

void TestMessageReceiver::routesMonitorMessages()
{
    QFETCH(QByteArray, message);
    QFETCH(QString, tabs);
    QFETCH(QString, mostActive);

    RoomCalMessageReceiver receiver;
    QSignalSpy tabSpy(&receiver, &RoomCalMessageReceiver::CameraTabChanges);
    QSignalSpy activeSpy(&receiver, &RoomCalMessageReceiver::MostActiveChanges);
    MessageReceiver* host = &receiver;

    QCOMPARE(host->receiveMessage("Monitor2d", 7, message.constData()), 0);

    QCOMPARE(tabSpy.count(), tabs.isNull() ? 0 : 1);
    if (!tabs.isNull())
        QCOMPARE(tabSpy.at(0).at(0).toString(), tabs);
    QCOMPARE(activeSpy.count(), mostActive.isNull() ? 0 : 1);
    if (!mostActive.isNull())
        QCOMPARE(activeSpy.at(0).at(0).toString(), mostActive);
}

void TestMessageReceiver::castsToTheHostInterface()
{
    QObject parent;
    auto* receiver = new RoomCalMessageReceiver(&parent);
    QObject* object = receiver;

    // The host finds the interface part by name; it is not at the start of the object.
    auto* part = static_cast<MessageReceiver*>(object->qt_metacast("MessageReceiver"));
    QCOMPARE(part, static_cast<MessageReceiver*>(receiver));
    QVERIFY(static_cast<void*>(part) != static_cast<void*>(receiver));
    QCOMPARE(object->qt_metacast("RoomCalMessageReceiver"), static_cast<void*>(receiver));
    QCOMPARE(qobject_cast<MessageReceiver*>(object), part);
    QVERIFY(!object->qt_metacast("ModuleInterface"));

    QSignalSpy tabSpy(receiver, &RoomCalMessageReceiver::CameraTabChanges);
    QSignalSpy activeSpy(receiver, &RoomCalMessageReceiver::MostActiveChanges);
    QCOMPARE(part->receiveMessage(nullptr, 0, nullptr), 0);
    QCOMPARE(tabSpy.count() + activeSpy.count(), 0);
}

ROOMCAL_TEST_MAIN(TestMessageReceiver)
#include "tst_messagereceiver.moc"
