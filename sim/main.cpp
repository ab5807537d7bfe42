// morvek-sim: the simulated controller as a line server on the loopback interface, for running
// the demo host against a controller in another process.

#include "sim/BundledScenarios.h"
#include "sim/SimController.h"
#include "sim/SimLineReader.h"
#include "sim/VersionText.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here; the event loop picks the byte up.
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

bool installSignalHandlers()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}

void serve(QTcpSocket* socket, SimController* sim)
{
    auto reader = std::make_shared<SimLineReader>();
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, sim, reader] {
        const QVector<SimLineReader::Line> lines = reader->feed(socket->readAll());
        for (const SimLineReader::Line& line : lines) {
            const QString answer = line.tooLong
                                       ? QStringLiteral("morvek2 err 8 \"Request too long\"")
                                       : sim->handle(QString::fromLatin1(line.text));
            socket->write(answer.toLatin1() + '\n');
        }
    });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morvek-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated tracking controller answering one request line with one "
                       "answer line, on 127.0.0.1 only.\nBundled scenarios: %1")
            .arg(BundledScenarios::directory()));
    parser.addHelpOption();
    const QCommandLineOption scenarioOption(
        QStringLiteral("scenario"),
        QStringLiteral("Scenario: a bundled one by name (stall, failure, ...) or a JSON file; its "
                       "state is kept beside it. Without it the built-in default runs and nothing "
                       "is saved."),
        QStringLiteral("name|file"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("TCP port; 0 picks a free one."),
                                        QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption versionOption(QStringLiteral("controller-version"),
                                           QStringLiteral("Report this version instead of the "
                                                          "scenario's."),
                                           QStringLiteral("major.minor[.patch]"));
    const QCommandLineOption modelOption(QStringLiteral("model"),
                                         QStringLiteral("Report this model name instead of the "
                                                        "scenario's."),
                                         QStringLiteral("name"));
    parser.addOptions({scenarioOption, portOption, versionOption, modelOption});
    parser.process(app);

    SimController sim;
    if (parser.isSet(scenarioOption)) {
        QString error;
        const QString path = BundledScenarios::find(parser.value(scenarioOption), &error);
        if (path.isEmpty() || !sim.loadScenario(path, &error)) {
            std::fprintf(stderr, "morvek-sim: %s\n", qPrintable(error));
            return 2;
        }
    }
    if (parser.isSet(versionOption)) {
        int major = 0, minor = 0, patch = 0;
        if (!parseVersion(parser.value(versionOption), &major, &minor, &patch)) {
            std::fprintf(stderr, "morvek-sim: --controller-version expects major.minor[.patch]\n");
            return 2;
        }
        sim.setVersion(major, minor, patch);
    }
    if (parser.isSet(modelOption))
        sim.setModelName(parser.value(modelOption));

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "morvek-sim: --port expects a number from 0 to 65535\n");
        return 2;
    }

    if (!installSignalHandlers()) {
        std::fprintf(stderr, "morvek-sim: cannot install signal handlers\n");
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });

    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, quint16(port))) {
        std::fprintf(stderr, "morvek-sim: cannot listen on 127.0.0.1:%u: %s\n", port,
                     qPrintable(server.errorString()));
        return 1;
    }
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, &sim] {
        while (QTcpSocket* socket = server.nextPendingConnection())
            serve(socket, &sim);
    });
    std::printf("listening on 127.0.0.1:%u\n", unsigned(server.serverPort()));
    std::fflush(stdout);

    const int result = app.exec();
    server.close();
    return result;
}
