#pragma once

#include <QString>

// A controller version as people write it: "MAJOR.MINOR" or "MAJOR.MINOR.PATCH", each part up to
// six digits; a missing patch is 0 and a patch of -1 marks a pre-release. The scenario files and
// the command lines of both programs take exactly this, so a version that works in one place
// works in all of them. Leaves the outputs untouched when the text does not match.
bool parseVersion(const QString& text, int* major, int* minor, int* patch);
