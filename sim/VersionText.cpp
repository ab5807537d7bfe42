#include "VersionText.h"

#include <QRegularExpression>

bool parseVersion(const QString& text, int* major, int* minor, int* patch)
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
