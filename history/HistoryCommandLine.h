#pragma once

#include "HealthRules.h"

#include <QStringList>

class QCommandLineParser;

// roomcal-history's options and the runs that need no window. Exit codes: 0 fine, 1 a rule fired,
// the controller differs or a restore failed, 2 bad use or an unreadable file or controller.
// Everything it prints is English: scripts and logs read it, and console runs load no catalogue.
class HistoryCommandLine
{
public:
    enum Exit { Ok = 0, Fired = 1, Unusable = 2 };

    // Whether these arguments ask for a run without a window (decided before any application
    // object exists, since that decides which one to create).
    static bool wantsConsole(const QStringList& arguments);

    // Parses; false with a message in *error. --help and --version print and exit themselves.
    bool parse(const QStringList& arguments, QString* error);
    bool console() const { return m_mode != Mode::Window; }
    int run(); // a console mode

    QString file() const { return m_file; }
    QString controller() const { return m_controller; }
    QString language() const { return m_language; } // empty: the system's
    HealthSettings settings() const { return m_settings; }

private:
    enum class Mode { Window, Summary, Json, Csv, Check, Verify, Restore };
    int runController(const CalibrationHistory& history);

    Mode m_mode = Mode::Window;
    QString m_file;
    QString m_controller;
    QString m_language;
    int m_restore = 0;
    bool m_yes = false;
    bool m_dryRun = false;
    HealthSettings m_settings;
};
