#pragma once

#include <QProcess>
#include <QStringList>

namespace TestKit {
// Runs a program without a display, or off-screen, and without the test setup's plug-in; returns
// stdout and stderr together, the exit code -1 after 20 s.
inline QString runProgram(const QString& program, const QStringList& arguments, bool display,
                          int* exitCode)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ROOMCAL_PLUGIN"})
        env.remove(QLatin1String(name));
    if (display)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    // A program still running is killed when the QProcess goes.
    const bool ended = process.waitForFinished(20000);
    *exitCode = ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAll());
}
} // namespace TestKit
