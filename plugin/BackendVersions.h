#pragma once

#include <QMetaType>
#include <QString>
#include <tuple>

// The controller's version record, owned by the host.
struct BackendVersions
{
    int versionMajor = 0;
    int versionMinor = 0;
    int versionPatch = 0;
    QString modelName;

    // A patch level of -1 sorts below every released patch, so "at least 1.9" also admits a
    // pre-release 1.9 that reports patch -1.
    bool atLeast(int major, int minor) const
    {
        return std::make_tuple(versionMajor, versionMinor, versionPatch) >=
               std::make_tuple(major, minor, -1);
    }
};

Q_DECLARE_METATYPE(BackendVersions*)
