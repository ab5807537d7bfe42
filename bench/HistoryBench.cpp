// Parse time and memory of the calibration history on a record of 10,000 calibrations with 100
// cameras each (about 100 MB). The floor is reading the same file in the same chunks and
// counting its lines, measured in the same run: the parse's ratio to it is what the machine
// does not explain away. Goal: the parse under one second.
//
// roomcal-history-bench [BLOCKS CAMERAS]

#include "history/HealthRules.h"
#include "history/RecordParser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

namespace {
// Resident memory of this process in kB, from the kernel's view of it.
long residentKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

bool generate(const QString& path, int blocks, int cameras)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block;
    for (int b = 0; b < blocks; ++b) {
        block = "# Roomcalibration  created Mon Jan 5 09:00:00 2026\n"
                "# Wand residual: 0.124   wand range 0.853\n";
        QByteArray commands;
        for (int c = 1; c <= cameras; ++c) {
            const QByteArray slot = QByteArray::number(c).rightJustified(2, '0');
            // One camera drifts slowly, so that the rules have something to find.
            const double residual =
                0.05 + 0.0001 * ((b * 7 + c * 13) % 97) + (c == 3 ? 0.00002 * b : 0.0);
            block += "# Cam residual C" + slot + " (0x0b01 " + QByteArray::number(20000 + c) +
                     "): " + QByteArray::number(residual, 'f', 4) + " 0.9" +
                     QByteArray::number(c % 10) + "\n";
            commands += "morvek2 set tracking room c" + slot +
                        " 3000.900 -0.400 2500.450 0.0125 -30.0075 0.5050\n";
        }
        block += "#" + QByteArray(69, '-') + "\n\n" + commands;
        if (file.write(block) != block.size())
            return false;
    }
    return true;
}

qint64 countLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qint64 lines = 0;
    for (QByteArray chunk = file.read(1 << 20); !chunk.isEmpty(); chunk = file.read(1 << 20))
        lines += chunk.count('\n');
    return lines;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int blocks = args.size() > 2 ? args.at(1).toInt() : 10000;
    const int cameras = args.size() > 2 ? args.at(2).toInt() : 100;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("roomcal_out.txt"));
    if (blocks < 1 || cameras < 1 || !generate(path, blocks, cameras)) {
        std::fprintf(stderr, "cannot generate %s\n", qPrintable(path));
        return 1;
    }
    const double megabytes = QFile(path).size() / 1e6;

    // Best of three each, the first of which also warms the page cache.
    qint64 floorNs = -1, parseNs = -1, rulesNs = -1, lines = 0;
    const long rssBefore = residentKb("VmRSS:");
    long rssHeld = 0;
    int parsed = 0, flagged = 0;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer clock;
        clock.start();
        lines = countLines(path);
        const qint64 floor = clock.nsecsElapsed();
        clock.restart();
        const CalibrationHistory history = RecordParser::parseFile(path);
        const qint64 parse = clock.nsecsElapsed();
        rssHeld = residentKb("VmRSS:") - rssBefore;
        clock.restart();
        const auto flags = HealthRules::evaluate(history, HealthSettings());
        const qint64 rules = clock.nsecsElapsed();
        parsed = history.blocks.size();
        flagged = 0;
        for (const auto& block : flags)
            flagged += block.isEmpty() ? 0 : 1;
        floorNs = floorNs < 0 ? floor : qMin(floorNs, floor);
        parseNs = parseNs < 0 ? parse : qMin(parseNs, parse);
        rulesNs = rulesNs < 0 ? rules : qMin(rulesNs, rules);
    }
    std::printf("| Record | %d blocks x %d cameras, %.1f MB, %lld lines |\n", blocks, cameras,
                megabytes, lines);
    std::printf("|---|---|\n");
    std::printf("| Floor: read and count lines | %.0f ms |\n", floorNs / 1e6);
    std::printf("| Parse (goal < 1000 ms) | %.0f ms, %.1f x floor |\n", parseNs / 1e6,
                double(parseNs) / double(qMax<qint64>(floorNs, 1)));
    std::printf("| Health rules on every block | %.0f ms |\n", rulesNs / 1e6);
    std::printf("| Resident memory held by the parsed history | %.1f MB (%.0f bytes per camera "
                "entry) |\n",
                rssHeld / 1024.0, rssHeld * 1024.0 / (double(blocks) * cameras));
    std::printf("| Peak resident memory of the process | %.1f MB |\n",
                residentKb("VmHWM:") / 1024.0);
    std::printf("| Blocks parsed, blocks with a flag | %d, %d |\n", parsed, flagged);
    return parsed == blocks ? 0 : 1;
}
