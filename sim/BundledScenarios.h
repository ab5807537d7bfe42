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
} // namespace BundledScenarios
