// The simulator's server process around the controller: its line framing, start and stop. The
// socket side is exercised end to end by the suites that run the module against the server.
#include "kit/TestMain.h"
#include "sim/SimLineReader.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestSimServer : public QObject
{
    Q_OBJECT

private slots:
    void linesAreCutAndBounded()
    {
        // Lines split anywhere, with CRLF or empty, wait for their end. A line over the limit is
        // reported as soon as it is too long, and the rest of it is dropped however long it is.
        const QByteArray max(16, 'x'), runaway(100, 'y');
        const QByteArrayList chunks = {"a b\nmor",   "vek2 ok\r", "\n\r\nabc",
                                       "def\n",      max + "\n",  max + "y\nnext\n",
                                       max + "yyyy", runaway,     "z\nafter\n"};
        SimLineReader reader(16);
        QByteArrayList got;
        QByteArray line;
        for (const QByteArray& chunk : chunks) {
            reader.append(chunk.constData(), chunk.size());
            while (const SimLineReader::Result r = reader.next(&line))
                got << (r == SimLineReader::TooLong ? QByteArray("!") : line);
        }
        QCOMPARE(got, QByteArrayList(
                          {"a b", "morvek2 ok", "", "abcdef", max, "!", "next", "!", "after"}));
    }

    void serverStartsAndStops()
    {
        const QString program = QCoreApplication::applicationDirPath() + "/../sim/morvek-sim";
        // A broken scenario stops the server before it listens, saying why.
        QTemporaryDir dir;
        QFile broken(dir.filePath(QStringLiteral("broken.json")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("{\"extends\": \"default\", \"activeConfiguration\": \"nowhere\"}");
        broken.close();
        QProcess server;
        server.start(program, {QStringLiteral("--scenario"), broken.fileName()});
        QVERIFY2(server.waitForFinished(5000), qPrintable(program));
        QCOMPARE(server.exitCode(), 2);
        QVERIFY(server.readAllStandardError().contains("activeConfiguration"));

        // A good one says where it listens, and SIGTERM ends it normally.
        server.start(program, {QStringLiteral("--port"), QStringLiteral("0")});
        QVERIFY(server.waitForReadyRead(5000));
        const QByteArray banner = server.readLine();
        QVERIFY2(banner.startsWith("listening on 127.0.0.1:") && banner.endsWith('\n'), banner);
        server.terminate();
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.exitCode(), 0);
    }
};

ROOMCAL_TEST_MAIN(TestSimServer)
#include "tst_simserver.moc"
