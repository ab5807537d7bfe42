#include "DemoOptions.h"
#include "DemoSession.h"
#include "DemoWindow.h"

#include <QApplication>
#include <cstdio>

namespace {
bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}
} // namespace

int main(int argc, char** argv)
{
    DemoOptions options;
    {
        // The options are read before Qt sees them, with an application object that needs no
        // display (it tells where the program lies), so that a wrong option and --help are
        // answered on any machine, and "--plugin PATH" is not taken as Qt's own option.
        int coreArgc = 1;
        QCoreApplication core(coreArgc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("roomcal-demo"));
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        QString error;
        if (!DemoOptions::parse(arguments, &options, &error)) {
            std::fprintf(stderr, "roomcal-demo: %s\nTry roomcal-demo --help.\n", qPrintable(error));
            return 1;
        }
        if (options.helpRequested) {
            std::printf("%s", qPrintable(DemoOptions::helpText()));
            return 0;
        }
    }
    if (!hasDisplay()) {
        std::fprintf(stderr, "roomcal-demo needs a display; run it under xvfb-run or set "
                             "QT_QPA_PLATFORM=offscreen\n");
        return 2;
    }

    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("roomcal-demo"));

    DemoSession session;
    QString error;
    if (!session.start(options, &error)) {
        std::fprintf(stderr, "roomcal-demo: %s\n", qPrintable(error));
        return 1;
    }
    session.window()->show();
    const int result = app.exec();
    session.shutdown();
    return result;
}
