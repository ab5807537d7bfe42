// The host's command channel over a scripted line transport.
#include "host/ControllerIOManager.h"
#include "host/ControllerTransport.h"
#include "host/EventLog.h"
#include "host/MessageBus.h"
#include "kit/TestMain.h"

#include <QHash>
#include <cstring>

namespace {
class ScriptedTransport : public ControllerTransport
{
public:
    bool transact(const QByteArray& request, QByteArray* answer) override
    {
        requests << request;
        timeouts << timeoutMs;
        if (down || !answers.contains(request))
            return false;
        *answer = answers.value(request);
        return true;
    }
    void setTimeout(int milliseconds) override { timeoutMs = milliseconds; }
    int timeout() const override { return timeoutMs; }
    QString lastError() const override { return QStringLiteral("line down"); }
    QString description() const override { return QStringLiteral("script"); }

    QHash<QByteArray, QByteArray> answers;
    QList<QByteArray> requests;
    QList<int> timeouts;
    bool down = false;
    int timeoutMs = 2000;
};

constexpr int Guard = 16;
constexpr char Untouched = 'Z';
} // namespace

class HostIOManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void writesAndCommands();
    void channelOptionLastsOneExchange();
    void answersAreCutToTheBuffer();
    void eventLogEntries();
};

void HostIOManagerTest::reads_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QByteArray>("answer"); // empty: the transport fails
    QTest::addColumn<int>("result");        // 0, or the code expected; 1 means any failure
    QTest::addColumn<QString>("value");

    const QByteArray set = "morvek2 set p ";
    QTest::newRow("string") << "getString" << set + "wand 1" << 0 << "wand 1";
    QTest::newRow("string empty") << "getString" << QByteArray("morvek2 set p") << 0 << "";
    QTest::newRow("string other name") << "getString" << QByteArray("morvek2 set px 3") << 1 << "";
    QTest::newRow("string no prefix") << "getString" << QByteArray("p 3") << 1 << "";
    QTest::newRow("string refused")
        << "getString" << QByteArray("morvek2 err 7 \"no such\"") << 7 << "";
    QTest::newRow("string bare refusal") << "getString" << QByteArray("morvek2 err") << 1 << "";
    QTest::newRow("string line down") << "getString" << QByteArray() << 1 << "";
    QTest::newRow("int") << "getInt" << set + "-12" << 0 << "-12";
    QTest::newRow("int trailing text") << "getInt" << set + "12abc" << 1 << "";
    QTest::newRow("int empty") << "getInt" << QByteArray("morvek2 set p") << 1 << "";
    QTest::newRow("int overflow") << "getInt" << set + "99999999999" << 1 << "";
    QTest::newRow("int refused, no number") << "getInt" << QByteArray("morvek2 err x") << 1 << "";
    QTest::newRow("double") << "getDouble" << set + "1.25" << 0 << "1.25";
    QTest::newRow("double comma") << "getDouble" << set + "1,25" << 1 << "";
    QTest::newRow("double nan") << "getDouble" << set + "nan" << 1 << "";
    QTest::newRow("flag yes") << "getFlag" << set + "yes" << 0 << "true";
    QTest::newRow("flag no") << "getFlag" << set + "no" << 0 << "false";
    QTest::newRow("flag capital") << "getFlag" << set + "Yes" << 1 << "";
    QTest::newRow("flag number") << "getFlag" << set + "1" << 1 << "";
    QTest::newRow("doubles") << "getDoubles" << set + "1 -2.5 3e2" << 0 << "1 -2.5 300";
    QTest::newRow("doubles extra") << "getDoubles" << set + "1 2 3 4" << 0 << "1 2 3";
    QTest::newRow("doubles too few") << "getDoubles" << set + "1 2" << 1 << "";
    QTest::newRow("doubles malformed") << "getDoubles" << set + "1 x 3" << 1 << "";
}

void HostIOManagerTest::reads()
{
    QFETCH(QString, op);
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    QFETCH(QString, value);

    ScriptedTransport transport;
    if (!answer.isEmpty())
        transport.answers.insert("morvek2 get p", answer);
    ControllerIOManager io(&transport, nullptr, nullptr);

    // Every out value starts as a sentinel that a failed read must leave alone.
    char text[IOManager::AnswerBufferSize];
    std::memset(text, Untouched, sizeof text);
    int integer = 4242;
    double number = -77.0;
    bool flag = true;
    double numbers[3] = {-7, -7, -7};
    int code = 0;
    QString got;
    if (op == "getString") {
        code = io.getString(text, "%s", "p");
        got = code == 0 ? QString::fromLatin1(text) : QString();
    } else if (op == "getInt") {
        code = io.getInt(&integer, "%s", "p");
        got = QString::number(integer);
    } else if (op == "getDouble") {
        code = io.getDouble(&number, "%s", "p");
        got = QString::number(number);
    } else if (op == "getFlag") {
        code = io.getFlag(&flag, "%s", "p");
        got = flag ? "true" : "false";
    } else {
        code = io.getDoubles(numbers, 3, "%s", "p");
        got = QStringLiteral("%1 %2 %3").arg(numbers[0]).arg(numbers[1]).arg(numbers[2]);
    }
    QCOMPARE(transport.requests, QList<QByteArray>{"morvek2 get p"});
    if (result == 0) {
        QCOMPARE(code, 0);
        QCOMPARE(got, value);
        return;
    }
    QVERIFY(code != 0);
    if (result != 1)
        QCOMPARE(code, result);
    QVERIFY(!io.lastError().isEmpty());
    QCOMPARE(text[0], Untouched);
    QCOMPARE(integer, 4242);
    QCOMPARE(number, -77.0);
    QCOMPARE(flag, true);
    QCOMPARE(numbers[0], -7.0);
}

void HostIOManagerTest::writesAndCommands()
{
    ScriptedTransport transport;
    ControllerIOManager io(&transport, nullptr, nullptr);
    transport.answers.insert("morvek2 set roomcal duration 30.0", "morvek2 ok");
    transport.answers.insert("morvek2 set roomcal type wand", "morvek2 set roomcal type wand");
    transport.answers.insert("morvek2 set roomcal fixed_camera c03 yes",
                             "morvek2 err 12 \"camera c03 unknown\"");
    transport.answers.insert("morvek2 tracking start", "morvek2 ok");
    transport.answers.insert("morvek2 cal room stop", "morvek2 err 3 \"not running\"");

    // The values are formatted into the request; only the exact acknowledgement counts.
    QCOMPARE(io.setParameter("roomcal duration %.1f", 30.0), 0);
    QVERIFY(io.setParameter("roomcal type %s", "wand") != 0);
    QCOMPARE(io.setParameter("roomcal fixed_camera c%02d %s", 3, "yes"), 12);
    QVERIFY(io.lastError().contains("camera c03 unknown"));

    char answer[IOManager::AnswerBufferSize];
    std::memset(answer, Untouched, sizeof answer);
    QCOMPARE(io.sendCommand(answer, "morvek2 tracking %s", "start"), 0);
    QCOMPARE(QByteArray(answer), QByteArray("morvek2 ok"));
    std::memset(answer, Untouched, sizeof answer);
    QCOMPARE(io.sendCommand(answer, "morvek2 cal %s stop", "room"), 3);
    QCOMPARE(answer[0], Untouched);
    transport.answers.insert("morvek2 cal room start", "morvek2 err");
    QVERIFY(io.sendCommand(answer, "%s", "morvek2 cal room start") != 0);
    QCOMPARE(answer[0], Untouched);

    // A controller text with a line break must not become two requests.
    transport.requests.clear();
    QVERIFY(io.sendCommand(answer, "%s", "morvek2 tracking start\nmorvek2 cal room start") != 0);
    QVERIFY(transport.requests.isEmpty());
}

void HostIOManagerTest::channelOptionLastsOneExchange()
{
    // The raised timeout covers the slow switch only, even when that exchange fails or the
    // option came twice; every later read is back to the transport's own timeout.
    ScriptedTransport transport;
    ControllerIOManager io(&transport, nullptr, nullptr);
    QCOMPARE(io.setChannelOption(0, 20000, 0), 0);
    QCOMPARE(io.setChannelOption(0, 20000, 0), 0);
    transport.down = true;
    QVERIFY(io.setParameter("config active_config %s", "demo_area") != 0);
    transport.down = false;
    transport.answers.insert("morvek2 get p", "morvek2 set p 1");
    int value = 0;
    QCOMPARE(io.getInt(&value, "%s", "p"), 0);
    QCOMPARE(io.getInt(&value, "%s", "p"), 0);
    QCOMPARE(transport.timeouts, QList<int>({20000, 2000, 2000}));
}

void HostIOManagerTest::answersAreCutToTheBuffer()
{
    ScriptedTransport transport;
    ControllerIOManager io(&transport, nullptr, nullptr);
    const QByteArray value(500, 'v');
    transport.answers.insert("morvek2 get long", "morvek2 set long " + value);
    transport.answers.insert("morvek2 echo", value);
    transport.answers.insert("morvek2 get exact", "morvek2 set exact " + value.left(199));

    char memory[IOManager::AnswerBufferSize + Guard];
    for (const char* request : {"get", "command", "exact"}) {
        std::memset(memory, Untouched, sizeof memory);
        const QByteArray which(request);
        const int code = which == "get"       ? io.getString(memory, "%s", "long")
                         : which == "command" ? io.sendCommand(memory, "%s", "morvek2 echo")
                                              : io.getString(memory, "%s", "exact");
        QCOMPARE(code, 0);
        QCOMPARE(int(std::strlen(memory)), IOManager::AnswerBufferSize - 1);
        QCOMPARE(QByteArray(memory), value.left(199));
        for (int i = IOManager::AnswerBufferSize; i < IOManager::AnswerBufferSize + Guard; ++i)
            QCOMPARE(memory[i], Untouched);
    }
}

void HostIOManagerTest::eventLogEntries()
{
    ScriptedTransport transport;
    EventLog log;
    MessageBus bus;
    ControllerIOManager io(&transport, &log, &bus);
    QSignalSpy added(&log, &EventLog::entryAdded);

    QCOMPARE(io.logMessage("standard", "MORVEK3", 1, "calibration started %s"), 0);
    QCOMPARE(added.count(), 1);
    const EventLog::Entry entry = log.entries().constLast();
    QCOMPARE(entry.category, QString("standard"));
    QCOMPARE(entry.source, QString("MORVEK3"));
    QCOMPARE(entry.level, 1);
    QCOMPARE(entry.text, QString("calibration started %s"));

    // A lost controller is reported once, not once per failed read, and so is its return.
    transport.answers.insert("morvek2 get p", "morvek2 set p 1");
    transport.down = true;
    int value = 0;
    for (int i = 0; i < 5; ++i)
        QVERIFY(io.getInt(&value, "%s", "p") != 0);
    transport.down = false;
    QCOMPARE(io.getInt(&value, "%s", "p"), 0);
    QCOMPARE(io.getInt(&value, "%s", "p"), 0);
    const QList<EventLog::Entry> entries = log.entries();
    QCOMPARE(entries.size(), 3);
    QVERIFY(entries.at(1).text.startsWith("Error: "));
    QVERIFY(entries.at(1).text.contains("line down"));
    QVERIFY(entries.at(2).text.contains("answers again"));
}

ROOMCAL_TEST_MAIN(HostIOManagerTest)
#include "tst_host_iomanager.moc"
