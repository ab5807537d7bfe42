// roomcal-history: the history of accepted room calibrations, in a window or on the console.
#include "HistoryCommandLine.h"
#include "HistoryWindow.h"
#include "host/ControllerIOManager.h"
#include "host/HostTranslations.h"
#include "host/TcpTransport.h"

#include <QApplication>
#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    // The console runs need no display, so they get no GUI application.
    std::unique_ptr<QCoreApplication> app(HistoryCommandLine::wantsConsole(raw)
                                              ? new QCoreApplication(argc, argv)
                                              : new QApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("roomcal-history"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ROOMCAL_VERSION));

    HistoryCommandLine options;
    QString error;
    if (!options.parse(QCoreApplication::arguments(), &error)) {
        std::fprintf(stderr, "roomcal-history: %s\n", qPrintable(error));
        return HistoryCommandLine::Unusable;
    }
    if (options.console())
        return options.run();

    // The window speaks the operator's language with the module's catalogue, which this program
    // carries itself, and Qt's for the standard buttons.
    HostTranslations translations;
    const QString language =
        options.language().isEmpty() ? HostTranslations::systemLanguage() : options.language();
    QString note;
    if (!translations.install(language, &error, &note)) {
        std::fprintf(stderr, "roomcal-history: --language: %s\n", qPrintable(error));
        return HistoryCommandLine::Unusable;
    }
    if (!note.isEmpty())
        std::fprintf(stderr, "roomcal-history: %s\n", qPrintable(note));

    std::unique_ptr<TcpTransport> transport;
    std::unique_ptr<ControllerIOManager> io;
    if (!options.controller().isEmpty()) {
        QString host;
        quint16 port = 0;
        if (!TcpTransport::parseAddress(options.controller(), &host, &port, &error)) {
            std::fprintf(stderr, "roomcal-history: --controller: %s\n", qPrintable(error));
            return HistoryCommandLine::Unusable;
        }
        transport = std::make_unique<TcpTransport>(host, port);
        io = std::make_unique<ControllerIOManager>(transport.get(), nullptr, nullptr);
    }
    HistoryWindow window(options.file(), io.get(), options.settings());
    window.show();
    return app->exec();
}
