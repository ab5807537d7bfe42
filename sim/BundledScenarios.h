#pragma once

#include <QString>

// The scenarios that ship with the programs, found relative to the running program so that the
// build tree and an installation follow the same rule. Needs a QCoreApplication.
namespace BundledScenarios {
// The folder that holds them.
QString directory();
// A file that exists is taken as it is; otherwise a plain name ("stall" or "stall.json") names a
// bundled scenario. Returns an empty string and the reason when neither fits.
QString find(const QString& nameOrPath, QString* error);
// True for a file in directory(), whether it was named or given by its path.
bool contains(const QString& file);
// Where each user keeps the state of the bundled scenarios: their folder belongs to the
// installation and is read-only to users. $XDG_STATE_HOME/roomcal/scenarios, or
// ~/.local/state/roomcal/scenarios when XDG_STATE_HOME is unset or not absolute.
QString stateDirectory();
} // namespace BundledScenarios
