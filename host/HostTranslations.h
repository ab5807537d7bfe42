#pragma once

#include <QString>
#include <QTranslator>

// The catalogues the frontend installs for the operator's language: the module's own, which the
// plug-in carries in its resources under :/i18n/ (so it is found only once the plug-in is
// loaded), and Qt's, so that standard buttons and dialogs speak the same language.
class HostTranslations
{
public:
    HostTranslations() = default;
    ~HostTranslations();
    HostTranslations(const HostTranslations&) = delete;
    HostTranslations& operator=(const HostTranslations&) = delete;

    // "de", "de_DE", ...; "en" and "C" are the module's own language and install nothing.
    // Fails with a reason when the module has no catalogue for the language; a missing Qt
    // catalogue only leaves a note in `note`.
    bool install(const QString& language, QString* error, QString* note = nullptr);
    void remove();

    // The system locale's language when the module has a catalogue for it, otherwise "en".
    static QString systemLanguage();
    static bool isSourceLanguage(const QString& language);

private:
    QTranslator m_module;
    QTranslator m_qt;
    bool m_installed = false;
};
