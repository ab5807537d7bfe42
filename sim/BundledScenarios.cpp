#include "BundledScenarios.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString BundledScenarios::directory()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/" ROOMCAL_SCENARIOS_FROM_BIN));
}

QString BundledScenarios::find(const QString& nameOrPath, QString* error)
{
    if (QFileInfo(nameOrPath).isFile())
        return nameOrPath;
    if (!nameOrPath.isEmpty() && !nameOrPath.contains(QLatin1Char('/'))) {
        QString file = nameOrPath;
        if (!file.endsWith(QLatin1String(".json")))
            file += QLatin1String(".json");
        const QString bundled = QDir(directory()).filePath(file);
        if (QFileInfo(bundled).isFile())
            return bundled;
    }
    *error = QStringLiteral("no scenario \"%1\": neither a file nor one of the scenarios in %2")
                 .arg(nameOrPath, directory());
    return QString();
}

bool BundledScenarios::contains(const QString& file)
{
    if (!QCoreApplication::instance())
        return false;
    const QString folder = QFileInfo(QFileInfo(file).absolutePath()).canonicalFilePath();
    return !folder.isEmpty() && folder == QFileInfo(directory()).canonicalFilePath();
}

QString BundledScenarios::stateDirectory()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/roomcal/scenarios"));
}
