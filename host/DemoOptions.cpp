#include "DemoOptions.h"

#include "PluginHost.h"
#include "TcpTransport.h"
#include "sim/BundledScenarios.h"
#include "sim/VersionText.h"

#include <QCommandLineParser>

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
                                QStringLiteral("Scenario of the simulated controller: a bundled "
                                               "one by name (stall, failure, ...) or a file. A "
                                               "file keeps its state beside it, a bundled one in "
                                               "the state folder above."),
                                QStringLiteral("NAME|FILE")};
    QCommandLineOption plugin{QStringLiteral("plugin"),
                              QStringLiteral("Plug-in file to load (default: the one named "
                                             "under Plug-in above)."),
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
        // Qt's own options are not taken: the application object never sees the command line,
        // so that "--plugin PATH" is ours. QT_QPA_PLATFORM and the other QT_* variables work.
        // A single dash works as well, as in "-plugin PATH".
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.setApplicationDescription(
            QStringLiteral("Stand-in frontend that loads the room calibration module.\n"
                           "Plug-in: %1\nBundled scenarios: %2\nTheir state (per user): %3")
                .arg(PluginHost::defaultPluginPath(), BundledScenarios::directory(),
                     BundledScenarios::stateDirectory()));
        parser.addOptions({help, version, model, observer, scenario, plugin, controller, language});
    }
};
} // namespace

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
    if (p.parser.isSet(p.scenario)) {
        options->scenarioFile = BundledScenarios::find(p.parser.value(p.scenario), error);
        if (options->scenarioFile.isEmpty())
            return false;
    }
    options->pluginPath = p.parser.value(p.plugin);
    if (p.parser.isSet(p.controller)) {
        if (!TcpTransport::parseAddress(p.parser.value(p.controller), &options->controllerHost,
                                        &options->controllerPort, error))
            return false;
        if (p.parser.isSet(p.scenario)) {
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
