#include "HistoryCommandLine.h"

#include "HistoryExport.h"
#include "RecordParser.h"
#include "RestoreTransaction.h"
#include "host/ControllerIOManager.h"
#include "host/TcpTransport.h"

#include <QCommandLineParser>
#include <QDir>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

namespace {
const char* const ConsoleOptions[] = {"--summary", "--json",    "--csv",     "--check",
                                      "--verify",  "--restore", "--dry-run", "--help",
                                      "-h",        "--version", "-v",        "--help-all"};

void out(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

void err(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}
} // namespace

bool HistoryCommandLine::wantsConsole(const QStringList& arguments)
{
    for (const QString& argument : arguments)
        for (const char* option : ConsoleOptions)
            if (argument == QLatin1String(option) ||
                argument.startsWith(QLatin1String(option) + QLatin1Char('=')))
                return true;
    return false;
}

bool HistoryCommandLine::parse(const QStringList& arguments, QString* error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows the history of accepted room calibrations, checks the cameras' health and puts "
        "a recorded calibration back on the controller. Without an output option it opens "
        "its window."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("FILE"),
        QStringLiteral("The calibration record (default: %1).").arg(RecordParser::defaultPath()),
        QStringLiteral("[FILE]"));
    const QCommandLineOption summary(QStringLiteral("summary"),
                                     QStringLiteral("Print a table, newest first."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Print the history as JSON."));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("Print one CSV row per camera."));
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral("Exit with 1 when a health rule fires on the newest adopted "
                       "calibration, and say why."));
    const QCommandLineOption verify(
        QStringLiteral("verify"),
        QStringLiteral("Exit with 0 when the controller holds the newest adopted "
                       "calibration, 1 when it does not."));
    const QCommandLineOption restore(QStringLiteral("restore"),
                                     QStringLiteral("Put calibration N (the # column) back on the "
                                                    "controller."),
                                     QStringLiteral("N"));
    const QCommandLineOption controller(QStringLiteral("controller"),
                                        QStringLiteral("The controller to verify or restore."),
                                        QStringLiteral("HOST:PORT"));
    const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Restore without asking."));
    const QCommandLineOption language(
        QStringLiteral("language"),
        QStringLiteral("The window's language, such as de or en (default: the system's when there "
                       "is a catalogue for it). Console output stays English."),
        QStringLiteral("LANG"));
    const QCommandLineOption dryRun(
        QStringLiteral("dry-run"),
        QStringLiteral("With --restore: print the commands, send nothing."));
    // The rules' thresholds, one option each; the help names the default that HealthSettings has.
    struct Threshold
    {
        const char* name;
        const char* valueName;
        const char* help;
        double minimum;
        double* real; // the one of these two that is set
        int* whole;
    };
    HealthSettings& s = m_settings;
    const Threshold thresholds[] = {
        {"outlier-factor", "X", "Outlier: residual above X × the median of the other cameras", 0,
         &s.outlierFactor, nullptr},
        {"outlier-min-cameras", "N", "Outlier rule only with at least N cameras", 2, nullptr,
         &s.outlierMinCameras},
        {"min-used", "X", "Outlier: used share below X", 0, &s.minUsed, nullptr},
        {"drift-factor", "X", "Drift: residual above X × its own median", 0, &s.driftFactor,
         nullptr},
        {"drift-window", "N", "Drift: median over the last N calibrations", 1, nullptr,
         &s.driftWindow},
        {"drift-min-history", "N", "Drift: only with at least N earlier calibrations", 1, nullptr,
         &s.driftMinHistory}};
    QList<QCommandLineOption> options = {summary, json,       csv, check,  verify,
                                         restore, controller, yes, dryRun, language};
    const int firstThreshold = options.size();
    for (const Threshold& t : thresholds)
        options.append({QString::fromLatin1(t.name),
                        QStringLiteral("%1 (default %2).")
                            .arg(QString::fromUtf8(t.help))
                            .arg(t.real ? *t.real : double(*t.whole)),
                        QString::fromLatin1(t.valueName)});
    parser.addOptions(options);
    parser.process(arguments); // --help, --version and unknown options end the program here

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        *error = QStringLiteral("only one record file, please");
        return false;
    }
    m_file = files.isEmpty() ? RecordParser::defaultPath() : files.first();
    m_controller = parser.value(controller);
    m_yes = parser.isSet(yes);
    m_dryRun = parser.isSet(dryRun);
    m_language = parser.value(language).trimmed();
    if (parser.isSet(language) && m_language.isEmpty()) {
        *error = QStringLiteral("--language wants a language such as de or en");
        return false;
    }

    const auto number = [&](const QCommandLineOption& option, auto* value, auto minimum) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const double parsed = parser.value(option).toDouble(&ok);
        if (!ok || parsed < minimum || parsed != parsed) {
            *error = QStringLiteral("--%1 expects a number of at least %2")
                         .arg(option.names().first())
                         .arg(minimum);
            return false;
        }
        *value = static_cast<std::remove_pointer_t<decltype(value)>>(parsed);
        return true;
    };
    for (int i = 0; i < int(std::size(thresholds)); ++i) {
        const Threshold& t = thresholds[i];
        const QCommandLineOption& option = options.at(firstThreshold + i);
        if (!(t.real ? number(option, t.real, t.minimum) : number(option, t.whole, int(t.minimum))))
            return false;
    }
    if (!number(restore, &m_restore, 1))
        return false;

    int modes = 0;
    const std::pair<const QCommandLineOption*, Mode> all[] = {
        {&summary, Mode::Summary}, {&json, Mode::Json},     {&csv, Mode::Csv},
        {&check, Mode::Check},     {&verify, Mode::Verify}, {&restore, Mode::Restore}};
    for (const auto& [option, mode] : all)
        if (parser.isSet(*option)) {
            m_mode = mode;
            ++modes;
        }
    if (modes > 1) {
        *error = QStringLiteral(
            "choose one of --summary, --json, --csv, --check, --verify and --restore");
        return false;
    }
    if (m_dryRun && m_mode != Mode::Restore) {
        *error = QStringLiteral("--dry-run goes with --restore N");
        return false;
    }
    if ((m_mode == Mode::Verify || (m_mode == Mode::Restore && !m_dryRun)) &&
        m_controller.isEmpty()) {
        *error = QStringLiteral("--verify and --restore need --controller HOST:PORT");
        return false;
    }
    return true;
}

int HistoryCommandLine::run()
{
    const CalibrationHistory history = RecordParser::parseFile(m_file);
    if (!history.fileFound) {
        err(QStringLiteral("Error: cannot read %1").arg(QDir::toNativeSeparators(m_file)));
        return Unusable;
    }
    // Never silently: every line that fitted no calibration is named.
    for (const SkippedLine& line : history.skipped)
        // One pass over the template: the path and the line are the user's and may hold '%'.
        err(QStringLiteral("%1:%2: skipped (%3): %4")
                .arg(m_file, QString::number(line.line), line.reason, line.text));
    const QVector<QVector<HealthFlag>> flags = HealthRules::evaluate(history, m_settings);

    switch (m_mode) {
    case Mode::Window:
        return Unusable;
    case Mode::Summary:
        out(HistoryExport::summary(history, flags));
        return Ok;
    case Mode::Json:
        out(QString::fromUtf8(HistoryExport::json(history, flags)));
        return Ok;
    case Mode::Csv:
        out(QString::fromUtf8(HistoryExport::csv(history, flags)));
        return Ok;
    case Mode::Check: {
        const int newest = history.newestAdopted();
        if (newest < 0) {
            out(QStringLiteral("no adopted calibration in %1\n").arg(m_file));
            return Ok;
        }
        const CalibrationBlock& block = history.blocks.at(newest);
        for (const HealthFlag& flag : flags.at(newest))
            out(QStringLiteral("calibration %1 (%2): %3: %4\n")
                    .arg(block.number)
                    .arg(block.displayDate(), HealthRules::kindName(flag.kind), flag.reason));
        if (flags.at(newest).isEmpty())
            out(QStringLiteral("calibration %1 (%2): no rule fires\n")
                    .arg(block.number)
                    .arg(block.displayDate()));
        return flags.at(newest).isEmpty() ? Ok : Fired;
    }
    case Mode::Verify:
    case Mode::Restore:
        return runController(history);
    }
    return Unusable;
}

int HistoryCommandLine::runController(const CalibrationHistory& history)
{
    const int index = m_mode == Mode::Verify ? history.newestAdopted() : m_restore - 1;
    if (index < 0 || index >= history.blocks.size()) {
        err(m_mode == Mode::Verify
                ? QStringLiteral("Error: no adopted calibration in %1").arg(m_file)
                : QStringLiteral("Error: there is no calibration %1 in %2")
                      .arg(m_restore)
                      .arg(m_file));
        return Unusable;
    }
    const CalibrationBlock& block = history.blocks.at(index);
    QStringList commands;
    QString error;
    if (!RecordParser::readCommands(m_file, block, &commands, &error)) {
        err(QStringLiteral("Error: %1").arg(error));
        return Unusable;
    }
    if (m_dryRun) {
        out(commands.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        return Ok;
    }
    QString host;
    quint16 port = 0;
    if (!TcpTransport::parseAddress(m_controller, &host, &port, &error)) {
        err(QStringLiteral("Error: --controller: %1").arg(error));
        return Unusable;
    }
    TcpTransport transport(host, port);
    ControllerIOManager io(&transport, nullptr, nullptr);
    RestoreTransaction transaction(&io, [](const QString& text) { err(text); });
    RestoreTransaction::Report report;
    if (m_mode == Mode::Verify) {
        report = transaction.verify(block, commands);
    } else {
        const bool yes = m_yes;
        report = transaction.restore(block, commands, [yes](const RestoreTransaction::Plan& plan) {
            if (yes)
                return true;
            err(QStringLiteral(
                    "Restore calibration %1 of %2 on configuration %3, cameras %4? [y/N]")
                    .arg(plan.block)
                    .arg(plan.date, plan.configuration, plan.cameras.join(QStringLiteral(", "))));
            std::string answer;
            std::getline(std::cin, answer);
            return answer == "y" || answer == "Y" || answer == "yes";
        });
    }
    for (const QString& camera : qAsConst(report.cameras))
        out(camera + QLatin1Char('\n'));
    out(report.summary + QLatin1Char('\n'));
    if (report.success)
        return Ok;
    return report.reached ? Fired : Unusable;
}
