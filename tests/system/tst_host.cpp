// The host stand-in: the channel over a scripted transport and over TCP (the line server has its
// own thread, since the transport blocks), the demo frontend, and the message bus.
#include "history/HistoryWindow.h"
#include "host/ControllerIOManager.h"
#include "host/DemoOptions.h"
#include "host/DemoSession.h"
#include "host/DemoWindow.h"
#include "host/MonitorFeed.h"
#include "host/TcpTransport.h"
#include "kit/ChildProcess.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/MessageReceiver.h"
#include "sim/SimController.h"

#include <QAction>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstring>
#include <functional>
#include <memory>

namespace {
// A line server on the loopback address, serving from a thread of its own: every request line
// goes to the answering function in that thread. Its port closes when it goes.
class LineServer
{
public:
    explicit LineServer(const std::function<void(QTcpSocket*, const QByteArray&)>& answering)
        : m_server(new QTcpServer)
    {
        QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this, answering] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                m_latest = socket;
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, answering] {
                    while (socket->canReadLine())
                        answering(socket, socket->readLine().trimmed());
                });
            }
        });
        m_server->listen(QHostAddress::LocalHost);
        m_port = m_server->serverPort();
        m_server->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_server, &QObject::deleteLater);
        m_thread.start();
    }
    ~LineServer()
    {
        m_thread.quit();
        m_thread.wait();
    }
    quint16 port() const { return m_port; }
    // A line nobody asked for, on the latest connection.
    void sendUnasked(const QByteArray& line)
    {
        const auto send = [this, line] {
            m_latest->write(line);
            m_latest->flush();
        };
        QMetaObject::invokeMethod(m_server, send, Qt::BlockingQueuedConnection);
    }

private:
    QThread m_thread;
    QTcpServer* m_server;          // lives in m_thread
    QPointer<QTcpSocket> m_latest; // used in m_thread only
    quint16 m_port = 0;
};

// Requests that the line server answers oddly, and how; "silent" and "hangup" get no answer.
const QByteArrayList Odd = {"silent", "hangup", "two", "crlf", "long"};
const QByteArray Long(TcpTransport::MaxAnswerLine + 10, 'x');
const QByteArrayList OddReplies = {"", "", "one\ntwo\n", "ok crlf\r\n", Long};

struct ScriptedTransport : ControllerTransport
{
    bool transact(const QByteArray& request, QByteArray* answer) override
    {
        requests << request;
        timeouts << timeoutMs;
        *answer = answers.value(request);
        return answers.contains(request);
    }
    void setTimeout(int milliseconds) override { timeoutMs = milliseconds; }
    int timeout() const override { return timeoutMs; }
    QString description() const override { return QStringLiteral("script"); }

    QHash<QByteArray, QByteArray> answers;
    QList<QByteArray> requests;
    QList<int> timeouts;
    int timeoutMs = 2000;
};

// "ok <request>", except for a few requests that misbehave on purpose.
void answerLines(QTcpSocket* socket, const QByteArray& request)
{
    const int i = Odd.indexOf(request);
    socket->write(i < 0 ? "ok " + request + '\n' : OddReplies.at(i));
    if (request == "hangup" || request == "bye")
        socket->disconnectFromHost();
}

// Reads of "pN" get "vN"; writes of "wN" are accepted for even N only. Now and then the answer
// comes twice or behind an unrelated line, or a read's answer or an unrelated line arrives late,
// just before the next answer (a late "ok" is beyond any check without request tags).
void answerCarelessly(QTcpSocket* socket, const QByteArray& request)
{
    const QByteArray held = socket->property("late").toByteArray();
    if (!held.isEmpty()) {
        socket->write(held);
        socket->flush();
        QThread::msleep(1);
    }
    const QByteArray name = request.split(' ').value(2), junk = "morvek2 set zz 1\n";
    const int n = name.mid(1).toInt(), way = QRandomGenerator::global()->bounded(6);
    const QByteArray answer = request.startsWith("morvek2 get ")
                                  ? "morvek2 set " + name + " v" + QByteArray::number(n) + '\n'
                              : n % 2 ? QByteArray("morvek2 err 4 \"refused\"\n")
                                      : QByteArray("morvek2 ok\n");
    socket->write(way == 0 ? answer + answer : way == 1 ? junk + answer : answer);
    const QByteArray late = answer.startsWith("morvek2 set") ? answer : junk;
    socket->setProperty("late", way == 2 || way == 3 ? late : QByteArray());
}

constexpr int Guard = 16;

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

class HostTest : public QObject
{
    Q_OBJECT

private slots:
    void exchanges_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QByteArray>("answer");
        // "!" for a failure of the host's own, "!N" for the controller's error N, followed by
        // the out values: answer text, int, double, flag and the three doubles.
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* op, const QByteArray& answer, QString expected) {
            if (expected.startsWith('!') && !expected.contains(' '))
                expected += " Z|4242|-77|1|-7 -7 -7";
            QTest::newRow(QByteArray(op).append(": ").append(answer.left(30)).constData())
                << QString::fromLatin1(op) << answer << expected;
        };
        const QByteArray set = "morvek2 set p ";
        row("getString", set + "wand 1", "wand 1|4242|-77|1|-7 -7 -7");
        row("getString", set + QByteArray(500, 'v'), QString(199, 'v') + "|4242|-77|1|-7 -7 -7");
        row("getString", set + "%s%n%p", "%s%n%p|4242|-77|1|-7 -7 -7");
        row("getString", "morvek2 set px 3", "!");
        row("getString", "morvek2 err 7 \"no such\"", "!7");
        row("getString", "morvek2 err", "!");
        row("getInt", set + "-12", "Z|-12|-77|1|-7 -7 -7");
        row("getInt", set + "12abc", "!");
        row("getDouble", set + "1.25", "Z|4242|1.25|1|-7 -7 -7");
        row("getFlag", set + "no", "Z|4242|-77|0|-7 -7 -7");
        row("getDoubles", set + "1 -2.5 3e2 4", "Z|4242|-77|1|1 -2.5 300");
        row("getDoubles", set + "1 2", "!");
        row("getDoubles", set + "1 nan 3", "!");
        // A refusal's text is handed over: it holds the reason.
        row("sendCommand", "morvek2 err 3 \"not running\"",
            "!3 morvek2 err 3 \"not running\"|4242|-77|1|-7 -7 -7");
        row("sendCommand", "morvek2 set status active cal", "!");
        row("setParameter", "morvek2 ok", "Z|4242|-77|1|-7 -7 -7");
        row("setParameter", set + "1.5", "!");
    }

    void exchanges()
    {
        QFETCH(QString, op);
        QFETCH(QByteArray, answer);
        QFETCH(QString, expected);
        // The values are formatted into the request by the channel.
        const QByteArray request = op == "setParameter"  ? "morvek2 set p 1.5"
                                   : op == "sendCommand" ? "morvek2 cal room stop"
                                                         : "morvek2 get p";
        ScriptedTransport transport;
        transport.answers.insert(request, answer);
        ControllerIOManager io(&transport, nullptr, nullptr);

        // The guard bytes behind the 200-byte answer buffer must survive any answer.
        char text[IOManager::AnswerBufferSize + Guard];
        std::memset(text, 'Z', sizeof text);
        text[1] = '\0';
        int integer = 4242;
        double number = -77.0, numbers[3] = {-7, -7, -7};
        bool flag = true;
        const QHash<QString, std::function<int()>> calls = {
            {"getString", [&] { return io.getString(text, "%s", "p"); }},
            {"sendCommand", [&] { return io.sendCommand(text, "morvek2 cal %s stop", "room"); }},
            {"getInt", [&] { return io.getInt(&integer, "%s", "p"); }},
            {"getDouble", [&] { return io.getDouble(&number, "%s", "p"); }},
            {"getFlag", [&] { return io.getFlag(&flag, "%s", "p"); }},
            {"getDoubles", [&] { return io.getDoubles(numbers, 3, "%s", "p"); }},
            {"setParameter", [&] { return io.setParameter("%s %.1f", "p", 1.5); }}};
        const int code = calls.value(op)();
        const QString outs = QString::asprintf("%s|%d|%g|%d|%g %g %g", text, integer, number, flag,
                                               numbers[0], numbers[1], numbers[2]);
        QCOMPARE(transport.requests, QList<QByteArray>{request});
        QCOMPARE(QByteArray(text + IOManager::AnswerBufferSize, Guard), QByteArray(Guard, 'Z'));
        const QString failure = code < 0 ? QStringLiteral("! ") : QStringLiteral("!%1 ").arg(code);
        QCOMPARE(code == 0 ? outs : failure + outs, expected);
    }

    void whatGoesOnTheLine()
    {
        // The raised timeout covers the slow switch only, even when that exchange fails or the
        // option came twice; every later read is back to the transport's own timeout.
        ScriptedTransport transport;
        ControllerIOManager io(&transport, nullptr, nullptr);
        QVERIFY(io.setChannelOption(0, 20000, 0) == 0 && io.setChannelOption(0, 20000, 0) == 0);
        QVERIFY(io.setParameter("config active_config %s", "demo_area") != 0);
        io.getInt(nullptr, "%s", "p");
        io.getInt(nullptr, "%s", "p");
        QCOMPARE(transport.timeouts, QList<int>({20000, 2000, 2000}));

        // A controller text with a line break must not become two requests.
        char answer[IOManager::AnswerBufferSize];
        QVERIFY(io.sendCommand(answer, "%s", "morvek2 tracking start\nmorvek2 cal room start"));
        QCOMPARE(transport.requests.size(), 3);
    }

    void tcpAnswersFailuresAndReconnects()
    {
        auto server = std::make_unique<LineServer>(answerLines);
        const quint16 port = server->port();
        TcpTransport transport(QStringLiteral("127.0.0.1"), port);

        // A broken answer, a close while idle or a line nobody asked for costs the connection; a
        // silent controller is not asked again before the retry time.
        QByteArrayList got;
        const QByteArrayList requests = {"first", "crlf", "long",   "again",       "two",   "again",
                                         "bye",   "wait", "hello",  "hangup",      "back",  "stray",
                                         "wait",  "then", "silent", "right after", "retry", "back"};
        for (const QByteArray& request : requests) {
            QByteArray answer;
            transport.setTimeout(request == "silent" ? 100 : 2000);
            if (request == "wait" || request == "retry")
                QTest::qWait(request == "wait" ? 200 : TcpTransport::RetryAfterMs + 50);
            else if (request == "stray")
                server->sendUnasked("nobody asked\n");
            else
                got << (transport.transact(request, &answer) ? answer : "!");
        }
        QCOMPARE(got,
                 QByteArrayList({"ok first", "ok crlf", "!", "ok again", "!", "ok again", "ok bye",
                                 "ok hello", "!", "ok back", "ok then", "!", "!", "ok back"}));

        // Nothing listens on the port any more: refused, and the answer is left alone.
        server.reset();
        TcpTransport refused(QStringLiteral("127.0.0.1"), port);
        QByteArray answer = "unchanged";
        QVERIFY(!refused.transact("again", &answer) && answer == "unchanged");
        QVERIFY2(refused.lastError().contains("cannot connect"), qPrintable(refused.lastError()));
        QVERIFY(!refused.transact("again", &answer) &&
                refused.lastError().contains("next attempt"));
    }

    void noAnswerReachesAnotherRequest()
    {
        LineServer server(answerCarelessly);
        TcpTransport transport(QStringLiteral("127.0.0.1"), server.port());
        ControllerIOManager io(&transport, nullptr, nullptr);
        int right = 0, failed = 0, misattributed = 0;
        for (int n = 0; n < 200; ++n) {
            char value[IOManager::AnswerBufferSize] = {};
            const bool read = n % 2 == 0;
            const int result =
                read ? io.getString(value, "p%d", n) : io.setParameter("w%d 1", n / 2);
            const bool truth = read ? result == 0 && value == "v" + QByteArray::number(n)
                                    : result == (n / 2 % 2 == 0 ? 0 : 4);
            (truth ? right : result < 0 ? failed : misattributed)++;
        }
        qInfo("200 exchanges: %d right, %d failed, %d misattributed", right, failed, misattributed);
        QCOMPARE(misattributed, 0);
        QVERIFY(right > 0 && failed > 0);
    }

    // The demo program itself: what reaches the user first, and whether it takes the options. A
    // missing plug-in file ends a run right after the simulator and its scenario were set up.
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
            QCOMPARE(session.io()->getString(text, "camera camera c0%d", c), 0);
            record += "# Cam residual C0" + QByteArray::number(c) + " (" + QByteArray(text) +
                      "): 0.07 0.98\n";
            QCOMPARE(session.io()->sendCommand(text, "morvek2 get tracking room c0%d", c), 0);
            commands += QByteArray(text).left(QByteArray(text).lastIndexOf(' ')) + " 0.25\n";
        }
        QFile file(home.filePath(".OLV/MORVEK3/roomcal_out.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.write(record + "#" + QByteArray(69, '-') + "\n\n" + commands) > 0);
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
        Receiver first, echo;
        auto victim = std::make_unique<Receiver>();
        // The first receiver throws out the next one and destroys it, and the last one sends a
        // message of its own while the first is still being delivered.
        first.onMessage = [&] {
            bus.unregisterReceiver("victim", victim.get());
            victim.reset();
        };
        echo.onMessage = [&] {
            if (echo.seen.size() == 1)
                bus.deliver("reply");
        };
        QCOMPARE(bus.registerReceiver("first", &first), 0);
        QCOMPARE(bus.registerReceiver("victim", victim.get()), 0);
        QCOMPARE(bus.registerReceiver("echo", &echo), 0);
        bus.deliver("Monitor2dMostActive 3", "Monitor2d", 5);
        QCOMPARE(echo.seen,
                 QList<QByteArray>({"Monitor2d|5|Monitor2dMostActive 3", "host|0|reply"}));
        QCOMPARE(first.seen, echo.seen);
    }
};

ROOMCAL_TEST_MAIN(HostTest)
#include "tst_host.moc"
