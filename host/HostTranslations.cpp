#include "HostTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

namespace {
const QString ModuleFolder = QStringLiteral(":/i18n");
const QString ModuleCatalogue = QStringLiteral("roomcal");
} // namespace

HostTranslations::~HostTranslations()
{
    remove();
}

bool HostTranslations::isSourceLanguage(const QString& language)
{
    return language == QLatin1String("C") || QLocale(language).language() == QLocale::English;
}

QString HostTranslations::systemLanguage()
{
    QTranslator probe;
    return probe.load(QLocale::system(), ModuleCatalogue, QStringLiteral("_"), ModuleFolder)
               ? QLocale::system().name()
               : QStringLiteral("en");
}

bool HostTranslations::install(const QString& language, QString* error, QString* note)
{
    remove();
    if (isSourceLanguage(language))
        return true;
    const QLocale locale(language);
    if (locale.language() == QLocale::C ||
        !m_module.load(locale, ModuleCatalogue, QStringLiteral("_"), ModuleFolder)) {
        *error =
            QStringLiteral("the module has no catalogue for the language \"%1\"").arg(language);
        return false;
    }
    QCoreApplication::installTranslator(&m_module);
    const QString qtFolder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    if (m_qt.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), qtFolder))
        QCoreApplication::installTranslator(&m_qt);
    else if (note)
        *note = QStringLiteral("no Qt catalogue for \"%1\" in %2: standard buttons stay English")
                    .arg(language, qtFolder);
    m_installed = true;
    return true;
}

void HostTranslations::remove()
{
    if (!m_installed)
        return;
    QCoreApplication::removeTranslator(&m_module);
    QCoreApplication::removeTranslator(&m_qt);
    m_installed = false;
}
