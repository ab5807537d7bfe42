#pragma once

#include "TestWatchdog.h"

#include <QApplication>
#include <QByteArray>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>

namespace TestKit {
// Slots connected by name break silently when an object is renamed; make that a failure.
inline bool sawBrokenConnection = false;

inline void messageHandler(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (msg.contains(QLatin1String("QMetaObject::connectSlotsByName: No matching signal"))) {
        sawBrokenConnection = true;
        std::fprintf(stderr, "FAIL: %s\n", qPrintable(msg));
    }
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
    if (type == QtFatalMsg)
        std::abort();
}
} // namespace TestKit

#define ROOMCAL_TEST_MAIN(TestClass)                                                               \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        qInstallMessageHandler(TestKit::messageHandler);                                           \
        /* Bundled scenarios keep their state here, apart from the developer's and other runs'. */ \
        QTemporaryDir stateHome;                                                                   \
        qputenv("XDG_STATE_HOME", QFile::encodeName(stateHome.path()));                            \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestWatchdog watchdog;                                                                     \
        TestClass tc;                                                                              \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        const int result = QTest::qExec(&tc, argc, argv);                                          \
        return result != 0 ? result : (TestKit::sawBrokenConnection ? 1 : 0);                      \
    }
