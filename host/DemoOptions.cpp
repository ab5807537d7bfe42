#include "DemoOptions.h"

#include "TcpTransport.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {
struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show these options and exit.")};
    QCommandLineOption version{QStringLiteral("version"),
                               QStringLiteral("Controller version the module sees (default: the "
                                              "simulator's, 1.23.0)."),
                               QStringLiteral("MAJOR.MINOR[.PATCH]")};
    QCommandLineOption model{QStringLiteral("model"),
                             QStringLiteral("Tracking system model name the module sees."),
                             QStringLiteral("NAME")};
    QCommandLineOption observer{QStringLiteral("observer"),
                                QStringLiteral("Run the frontend in observer mode (the module "
                                               "offers no action).")};
    QCommandLineOption scenario{QStringLiteral("scenario"),
                                QStringLiteral("Scenario file for the simulated controller."),
                                QStringLiteral("FILE")};
    QCommandLineOption plugin{QStringLiteral("plugin"),
                              QStringLiteral("Plug-in file to load (default: the one built with "
                                             "this program)."),
                              QStringLiteral("PATH")};
    QCommandLineOption controller{QStringLiteral("controller"),
                                  QStringLiteral("Talk to a controller over TCP instead of the "
                                                 "in-process simulator."),
                                  QStringLiteral("HOST:PORT")};
    QCommandLineOption language{QStringLiteral("language"),
                                QStringLiteral("Language of the module and of Qt's dialogs, for "
                                               "example de or en (default: the system's, when "
                                               "the module has a catalogue for it)."),
                                QStringLiteral("LANG")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Stand-in frontend that loads the room calibration module."));
        parser.addOptions({help, version, model, observer, scenario, plugin, controller});
        parser.addOption(language);
    }
};
} // namespace

bool DemoOptions::parseVersion(const QString& text, int* major, int* minor, int* patch)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{1,6})\\.(\\d{1,6})(?:\\.(-1|\\d{1,6}))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    *major = match.captured(1).toInt();
    *minor = match.captured(2).toInt();
    *patch = match.captured(3).isEmpty() ? 0 : match.captured(3).toInt();
    return true;
}

bool DemoOptions::parse(const QStringList& arguments, DemoOptions* options, QString* error)
{
    Parser p;
    *options = DemoOptions();
    if (!p.parser.parse(arguments)) {
        *error = p.parser.errorText();
        return false;
    }
    if (p.parser.isSet(p.help)) {
        options->helpRequested = true;
        return true;
    }
    if (!p.parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"")
                     .arg(p.parser.positionalArguments().constFirst());
        return false;
    }
    if (p.parser.isSet(p.version)) {
        const QString text = p.parser.value(p.version);
        if (!parseVersion(text, &options->versionMajor, &options->versionMinor,
                          &options->versionPatch)) {
            *error = QStringLiteral("--version wants MAJOR.MINOR[.PATCH], not \"%1\"").arg(text);
            return false;
        }
        options->versionGiven = true;
    }
    if (p.parser.isSet(p.model)) {
        options->modelName = p.parser.value(p.model).trimmed();
        if (options->modelName.isEmpty()) {
            *error = QStringLiteral("--model wants a name");
            return false;
        }
    }
    options->language = p.parser.value(p.language).trimmed();
    if (p.parser.isSet(p.language) && options->language.isEmpty()) {
        *error = QStringLiteral("--language wants a language such as de or en");
        return false;
    }
    options->observer = p.parser.isSet(p.observer);
    options->scenarioFile = p.parser.value(p.scenario);
    options->pluginPath = p.parser.value(p.plugin);
    if (p.parser.isSet(p.controller)) {
        if (!TcpTransport::parseAddress(p.parser.value(p.controller), &options->controllerHost,
                                        &options->controllerPort, error))
            return false;
        if (!options->scenarioFile.isEmpty()) {
            *error = QStringLiteral("--scenario applies to the in-process simulator, not to a "
                                    "controller reached with --controller");
            return false;
        }
    }
    return true;
}

QString DemoOptions::helpText()
{
    Parser p;
    return p.parser.helpText();
}
