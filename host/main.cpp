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
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    // Help must work on a machine without a display, before Qt looks for one.
    if (raw.contains(QStringLiteral("--help")) || raw.contains(QStringLiteral("-h"))) {
        // The help text names the program, which takes an application object; a core one needs
        // no display.
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("roomcal-demo"));
        std::printf("%s", qPrintable(DemoOptions::helpText()));
        return 0;
    }
    if (!hasDisplay()) {
        std::fprintf(stderr, "roomcal-demo needs a display; run it under xvfb-run or set "
                             "QT_QPA_PLATFORM=offscreen\n");
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("roomcal-demo"));

    // Qt has taken its own options (-platform, -style, ...) out of the arguments by now.
    DemoOptions options;
    QString error;
    if (!DemoOptions::parse(QApplication::arguments(), &options, &error)) {
        std::fprintf(stderr, "roomcal-demo: %s\nTry roomcal-demo --help.\n", qPrintable(error));
        return 1;
    }

    DemoSession session;
    if (!session.start(options, &error)) {
        std::fprintf(stderr, "roomcal-demo: %s\n", qPrintable(error));
        return 1;
    }
    session.window()->show();
    const int result = app.exec();
    session.shutdown();
    return result;
}
