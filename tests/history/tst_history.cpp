// The calibration history on its own: the record parser on a file with every oddity real files
// have, the health rules on small tables, and the window over a generated record.
#include "history/HistoryWindow.h"
#include "history/RecordParser.h"
#include "kit/TestMain.h"

#include <QBuffer>
#include <QLabel>
#include <QStackedWidget>
#include <QTableView>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

namespace {
const QByteArray Separator = "#" + QByteArray(69, '-') + "\n\n";

// A block as the module writes it; cameras are "serial=residual text".
QByteArray block(const QByteArray& date, const QByteArray& wand, const QByteArrayList& cameras)
{
    QByteArray text = "# Roomcalibration  created " + date + "\n# Wand residual: " + wand +
                      "   wand range 0.850\n";
    QByteArray commands;
    for (int i = 0; i < cameras.size(); ++i) {
        const QByteArray slot = QByteArray::number(i + 1).rightJustified(2, '0');
        const QList<QByteArray> parts = cameras.at(i).split('=');
        text += "# Cam residual C" + slot + " (0x0b01 " + parts.at(0) + "): " + parts.at(1) + "\n";
        commands += "morvek2 set tracking room c" + slot + " " + QByteArray::number(i) +
                    " 2 3 0 0 " + parts.at(1).left(5) + "\n";
    }
    return text + Separator + commands;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Two calibrations of cameras a, b, c; in the second the third camera, named `third`, reads 0.4.
bool writeTwoBlocks(const QString& path, const QByteArray& third)
{
    return writeFile(
        path, block("Mon Jan 5 09:00:00 2026", "0.1", {"a=0.1 0.9", "b=0.1 0.9", "c=0.1 0.9"}) +
                  block("Tue Jan 6 09:00:00 2026", "0.1",
                        {"a=0.1 0.9", "b=0.1 0.9", third + "=0.4 0.9"}));
}

// One line per block: number, date, adopted, serials with residual (or raw text), commands.
QString describe(const CalibrationHistory& history)
{
    QStringList lines;
    for (const CalibrationBlock& b : history.blocks) {
        QStringList cameras;
        for (const CameraResult& c : b.cameras)
            cameras << c.serial + '=' +
                           (c.hasValues() ? QString::number(c.residual)
                                          : '"' + c.residualText + '"');
        lines << QStringLiteral("%1 %2 %3 [%4] %5")
                     .arg(b.number)
                     .arg(b.date.isValid() ? b.date.toString(Qt::ISODate) : '?' + b.dateText)
                     .arg(b.adopted ? "adopted" : "refused:" + b.refusal)
                     .arg(cameras.join(' '))
                     .arg(b.commandCount);
    }
    for (const SkippedLine& s : history.skipped)
        lines << QStringLiteral("skipped %1: %2").arg(s.line).arg(s.text);
    return lines.join('\n');
}

// Blocks for the rules: "wand; serial=residual/used ...", "!" first for a refused one.
CalibrationHistory table(const QStringList& blocks)
{
    CalibrationHistory history;
    for (QString text : blocks) {
        CalibrationBlock b;
        b.number = history.blocks.size() + 1;
        b.adopted = !text.startsWith('!');
        text.remove('!');
        b.wandResidual = text.section(';', 0, 0).toDouble();
        for (const QString& camera : text.section(';', 1).split(' ', Qt::SkipEmptyParts)) {
            CameraResult c;
            c.slot = b.cameras.size() + 1;
            c.serial = camera.section('=', 0, 0);
            c.residual = camera.section('=', 1).section('/', 0, 0).toDouble();
            c.used = camera.contains('/') ? camera.section('/', 1).toDouble() : 0.9;
            b.cameras << c;
        }
        b.commandCount = b.cameras.size();
        history.blocks << b;
    }
    return history;
}
} // namespace

class HistoryTest : public QObject
{
    Q_OBJECT

private slots:
    void parserKeepsEveryBlockAndNamesEverySkippedLine()
    {
        // CRLF lines, a stray line, a block cut short by the next header, a date that does not
        // parse, a camera replaced, the controller's refusal, Latin-1 and UTF-8 descriptions.
        QByteArray first = block("Mon Jan 5 09:00:00 2026", "0.124",
                                 {"20417=0.071 0.987", "20418=0.083 0.962", "7311=bad text"});
        first.replace("\n", "\r\n");
        const QByteArray file =
            first + "stray text\n# Roomcalibration  created Tue Jan 6 09:00:00 2026\n" +
            block("irgendwann im M\xe4rz", "0.2x",
                  {"20417=0.071 0.987", "M\xfcller=0.5 0.4", "7311=0.1 0.9"}) +
            "# not adopted by the controller: morvek2 err 4 \"Calibration in progress\"\n" +
            block("Thu Jan 8 17:30:05 2026", "0.130", {"20417=0.07 0.98", "Gr\xc3\xbcn=0.2 0.9"}) +
            "morvek2 set tracking room c05 1 2 3 0 0 0\n# Wand residual: 1   wand range 2";
        QBuffer buffer;
        buffer.setData(file);
        buffer.open(QIODevice::ReadOnly);
        const CalibrationHistory history = RecordParser::parse(&buffer);
        QCOMPARE(describe(history).split('\n'),
                 QString::fromUtf8(
                     "1 2026-01-05T09:00:00 adopted [20417=0.071 20418=0.083 7311=\"bad text\"] 3\n"
                     "2 2026-01-06T09:00:00 adopted [] 0\n"
                     "3 ?irgendwann im März refused:morvek2 err 4 \"Calibration in progress\" "
                     "[20417=0.071 Müller=0.5 7311=0.1] 3\n"
                     "4 2026-01-08T17:30:05 adopted [20417=0.07 Grün=0.2] 2\n"
                     "skipped 11: stray text\n"
                     "skipped 14: # Wand residual: 0.2x   wand range 0.850\n"
                     "skipped 32: morvek2 set tracking room c05 1 2 3 0 0 0\n"
                     "skipped 33: # Wand residual: 1   wand range 2")
                     .split('\n'));
        QCOMPARE(history.newestAdopted(), 3);

        // The commands come again from the file, CRLF or not; a changed file is noticed.
        QTemporaryDir dir;
        const QString path = dir.filePath("roomcal_out.txt");
        QVERIFY(writeFile(path, file));
        QStringList commands;
        QString error;
        QVERIFY(RecordParser::readCommands(path, history.blocks.at(0), &commands, &error));
        QCOMPARE(commands.value(2), QString("morvek2 set tracking room c03 2 2 3 0 0 bad t"));
        QVERIFY(!RecordParser::readCommands(path, history.blocks.at(1), &commands, &error));
        QVERIFY(writeFile(path, first.left(first.size() - 30)));
        QVERIFY(!RecordParser::readCommands(path, history.blocks.at(0), &commands, &error));

        // Lines that run over the parser's read chunks keep their place.
        const QByteArray one = block("Mon Jan 5 09:00:00 2026", "0.1", {"1=0.1 0.9", "2=0.1 0.9"});
        QVERIFY(writeFile(path, one.repeated(4000)));
        const CalibrationHistory big = RecordParser::parseFile(path);
        QVERIFY(big.blocks.size() == 4000 && big.skipped.isEmpty());
        QVERIFY(RecordParser::readCommands(path, big.blocks.at(2913), &commands, &error));
        QCOMPARE(commands.value(1), QString("morvek2 set tracking room c02 1 2 3 0 0 0.1 0"));
    }

    void rules_data()
    {
        QTest::addColumn<QStringList>("blocks");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("flags"); // of the newest block
        const auto row = [](const char* name, const QStringList& blocks, const char* flags,
                            const char* options = "") {
            QTest::newRow(name) << blocks << QString(options) << QString(flags);
        };
        const auto times = [](int n, const QString& block) {
            return QVector<QString>(n, block).toList();
        };
        const QStringList crowd = {"0.1; a=0.1 b=0.1 c=0.12 d=0.3"};
        row("outlier", crowd, "outlier d");
        row("exactly twice is fine", {"0.1; a=0.1 b=0.1 c=0.2"}, "");
        row("factor from the command line", crowd, "", "outlierFactor=3");
        row("two cameras are no crowd", {"0.1; a=0.1 b=0.5"}, "");
        row("low used share", {"0.1; a=0.1/0.49 b=0.1/0.5"}, "low used share a");
        const QStringList steady = times(5, "0.1; a=0.1 b=0.2");
        row("drift and wand drift", steady + QStringList{"0.16; a=0.16 b=0.3"},
            "drift a, wand drift ");
        row("drift factor", steady + QStringList{"0.1; a=0.16 b=0.2"}, "", "driftFactor=1.7");
        row("too short a history", {"0.1; a=0.1", "0.1; a=0.1", "0.1; a=0.5"}, "");
        row("refused blocks are no baseline",
            times(3, "0.1; a=0.1") + times(3, "!0.1; a=0.3") + QStringList{"0.1; a=0.2"},
            "drift a");
        // The replaced camera has no history of its own: no drift however high.
        row("added, moved, removed by serial", {"0.1; a=0.1 b=0.1 c=0.1", "0.1; a=0.1 c=0.1 d=0.5"},
            "added d, moved c, outlier d, removed b");
    }

    void rules()
    {
        QFETCH(QStringList, blocks);
        QFETCH(QString, options);
        HealthSettings settings;
        if (options.startsWith("outlierFactor="))
            settings.outlierFactor = options.section('=', 1).toDouble();
        if (options.startsWith("driftFactor="))
            settings.driftFactor = options.section('=', 1).toDouble();
        const auto flags = HealthRules::evaluate(table(blocks), settings);
        QStringList words;
        for (const HealthFlag& flag : flags.last())
            words << HealthRules::kindName(flag.kind) + ' ' + flag.serial;
        words.sort();
        QTEST(words.join(", "), "flags");
    }

    void commandLineExitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments"); // FILE is the record below
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // the start of stdout
        QTest::newRow("summary") << QStringList{"--summary", "FILE"} << 0 << "#  Date";
        QTest::newRow("check fires") << QStringList{"--check", "FILE"} << 1
                                     << "calibration 2 (2026-01-06 09:00:00): outlier: residual";
        QTest::newRow("check with a raised factor")
            << QStringList{"--check", "--outlier-factor", "5", "FILE"} << 0
            << "calibration 2 (2026-01-06 09:00:00): no rule fires";
        QTest::newRow("dry run") << QStringList{"--restore", "1", "--dry-run", "FILE"} << 0
                                 << "morvek2 set tracking room c01 0 2 3 0 0 0.1 0\n";
        QTest::newRow("controller that does not answer")
            << QStringList{"--verify", "--controller", "127.0.0.1:1", "FILE"} << 2 << "";
        QTest::newRow("two outputs") << QStringList{"--json", "--csv", "FILE"} << 2 << "";
        QTest::newRow("missing file") << QStringList{"--summary", "/nonexistent/x"} << 2 << "";
    }

    void commandLineExitCodes()
    {
        QFETCH(QStringList, arguments);
        QTemporaryDir dir;
        QVERIFY(writeTwoBlocks(dir.filePath("roomcal_out.txt"), "c"));
        arguments.replaceInStrings(QRegularExpression("^FILE$"), dir.filePath("roomcal_out.txt"));
        QProcess process;
        process.start(qEnvironmentVariable("ROOMCAL_HISTORY"), arguments);
        QVERIFY(process.waitForFinished(10000));
        QTEST(process.exitCode(), "exitCode");
        QFETCH(QString, output);
        const QByteArray printed = process.readAllStandardOutput();
        QVERIFY2(printed.startsWith(output.toUtf8()), printed.constData());
    }

    void windowShowsListTableAndChart()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("roomcal_out.txt");
        HistoryWindow window(path);
        window.show();
        auto* empty = window.findChild<QLabel*>("label_empty");
        QVERIFY(empty->isVisible() && empty->text().contains(path));

        QVERIFY(writeTwoBlocks(path, "d"));
        // The window notices the file by itself.
        auto* list = window.findChild<QTableView*>("tableView_calibrations");
        QTRY_COMPARE(list->model()->rowCount(), 2);
        QVERIFY(!empty->isVisible());
        auto* cameras = window.findChild<QTableView*>("tableView_cameras");
        QCOMPARE(cameras->model()->rowCount(), 3);
        QCOMPARE(cameras->model()->index(2, 4).data().toString(), QString("new"));
        QVERIFY(cameras->model()->index(2, 5).data().toString().contains("outlier"));
        // The wand and one series per serial; the flagged one is named so.
        QStringList series;
        for (QtCharts::QAbstractSeries* s :
             window.findChild<QtCharts::QChartView*>("chartView_residuals")->chart()->series())
            series << s->name() + ':' +
                          QString::number(static_cast<QtCharts::QLineSeries*>(s)->count());
        QCOMPARE(series.join(' '), QString("Wand:2 a:2 b:2 c:1 d (flagged):1"));
        window.selectBlock(0);
        QCOMPARE(cameras->model()->index(2, 1).data().toString(), QString("c"));
    }
};

ROOMCAL_TEST_MAIN(HistoryTest)
#include "tst_history.moc"
