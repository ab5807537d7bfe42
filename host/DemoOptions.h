#pragma once

#include <QString>
#include <QStringList>

// The demo's command line.
struct DemoOptions
{
    // Unset version fields come from the simulator's defaults.
    bool versionGiven = false;
    int versionMajor = 0;
    int versionMinor = 0;
    int versionPatch = 0;
    QString modelName;
    bool observer = false;
    QString scenarioFile;
    QString pluginPath;
    // Empty: the controller is simulated in this process.
    QString controllerHost;
    quint16 controllerPort = 0;
    bool helpRequested = false;
    // The operator's language; empty: the system's when the module has a catalogue for it.
    // Options built by hand stay English, so that they do not depend on the machine.
    QString language = QStringLiteral("en");

    // arguments include the program name first, as argv has them. Both need a
    // QCoreApplication: bundled scenarios and the plug-in are found relative to the program.
    static bool parse(const QStringList& arguments, DemoOptions* options, QString* error);
    static QString helpText();
};
