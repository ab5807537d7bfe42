// roomcal-screenshots OUTDIR: renders the module's dialogs in representative states to PNG files.
//
// Every picture comes from the real dialog classes talking to the in-process simulated
// controller through the host's command channel and message bus. A window decoration cannot be
// grabbed without a window manager, so each picture gets a drawn title bar with the dialog's
// window icon and title above the grabbed dialog.

#include "dialog/RoomCalibrationDialog.h"
#include "history/HistoryWindow.h"
#include "host/ControllerIOManager.h"
#include "host/EventLog.h"
#include "host/HostTranslations.h"
#include "host/MessageBus.h"
#include "host/PluginHost.h"
#include "host/SimTransport.h"
#include "plugin/BackendVersions.h"
#include "progress/CalibrationProgressDlg.h"
#include "progress/CountdownDlg.h"
#include "result/RoomCalibrationResultDlg.h"
#include "sim/SimController.h"
#include "transfer/RoomcalPortDlg.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFontMetrics>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

const int TitleBarHeight = 26;

// The simulated controller and the host pieces around it, fresh for every picture.
struct Rig
{
    SimController sim;
    SimTransport transport{&sim};
    EventLog log;
    MessageBus bus;
    ControllerIOManager io{&transport, &log, &bus};
    BackendVersions versions;
    // The host's main window: the parent the module's dialogs get their window icon from.
    QWidget hostWindow;
    qint64 now = 0;

    bool load(const QJsonObject& overrides)
    {
        QJsonObject scenario = overrides;
        scenario.insert(QStringLiteral("extends"), QStringLiteral("default"));
        QString error;
        if (!sim.loadScenarioJson(QJsonDocument(scenario).toJson(), &error)) {
            std::fprintf(stderr, "Error: scenario rejected: %s\n", qPrintable(error));
            return false;
        }
        sim.setClock([this] { return now; });
        versions.versionMajor = sim.versionMajor();
        versions.versionMinor = sim.versionMinor();
        versions.versionPatch = sim.versionPatch();
        versions.modelName = sim.modelName();
        hostWindow.setWindowIcon(QIcon(QStringLiteral(":/images/icons/morvek_16x16.png")));
        return true;
    }

    QString request(const QByteArray& line)
    {
        QByteArray answer;
        io.exchange(line, &answer);
        return QString::fromLatin1(answer);
    }
};

// The dialog as a window manager would frame it: a title bar with icon and title on top.
QImage framed(QWidget* window)
{
    // At a scale factor the grab has more pixels than the window has units; keep them all.
    QPixmap body = window->grab();
    body.setDevicePixelRatio(1.0);
    QImage image(body.width() + 2, body.height() + TitleBarHeight + 1,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0x5a, 0x6b, 0x80));
    QPainter painter(&image);
    const QPixmap icon = window->windowIcon().pixmap(16, 16);
    int x = 6;
    if (!icon.isNull()) {
        painter.drawPixmap(x, (TitleBarHeight - 16) / 2, icon);
        x += 16 + 6;
    }
    QFont font = window->font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QRect titleRect(x, 0, image.width() - x - 6, TitleBarHeight);
    painter.drawText(
        titleRect, Qt::AlignVCenter | Qt::AlignLeft,
        QFontMetrics(font).elidedText(window->windowTitle(), Qt::ElideRight, titleRect.width()));
    painter.drawPixmap(1, TitleBarHeight, body);
    return image;
}

QString g_outDir;
int g_failures = 0;

// Runs `open`, which shows a modal dialog, and grabs that dialog `delayMs` after it came up;
// `prepare` may bring it into the wanted state first. The dialog is closed after the grab.
void shoot(const QString& name, int delayMs, const std::function<void()>& open,
           const std::function<void(QWidget*)>& prepare = {})
{
    const QString path = QDir(g_outDir).filePath(name);
    bool saved = false;
    QSize size;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* window = QApplication::activeModalWidget();
        if (!window)
            return;
        if (prepare)
            prepare(window);
        QCoreApplication::processEvents();
        const QImage image = framed(window);
        size = image.size();
        saved = image.save(path);
        if (auto* dialog = qobject_cast<QDialog*>(window))
            dialog->reject();
        else
            window->close();
    });
    timer.start(delayMs);
    open();
    timer.stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (saved) {
        std::printf("%s (%d x %d)\n", qPrintable(path), size.width(), size.height());
    } else {
        std::fprintf(stderr, "Error: %s was not written\n", qPrintable(path));
        ++g_failures;
    }
}

void roomCalibration(const QString& name, const QJsonObject& scenario)
{
    Rig rig;
    if (!rig.load(scenario)) {
        ++g_failures;
        return;
    }
    RoomCalibrationDialog dialog(&rig.io, &rig.hostWindow, &rig.versions);
    shoot(name, 300, [&] { dialog.update_and_exec(); });
}

QJsonObject withCameras(QJsonObject scenario, int cameras)
{
    scenario.insert(QStringLiteral("configurations"),
                    QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("lab_main")},
                                           {QStringLiteral("description"), "Main lab"},
                                           {QStringLiteral("owner"), "Operator"},
                                           {QStringLiteral("cameras"), cameras}}});
    scenario.insert(QStringLiteral("activeConfiguration"), QStringLiteral("lab_main"));
    return scenario;
}

// A calibration run held at `atMs` into its 30 s measurement; a negative stallAtPercent lets
// the wand keep adding coverage.
void progress(const QString& name, QJsonObject scenario, int stallAtPercent, qint64 atMs,
              int delayMs, const std::function<void(Rig&, QWidget*)>& prepare = {})
{
    scenario.insert(QStringLiteral("run"),
                    QJsonObject{{QStringLiteral("stepPause"), 0},
                                {QStringLiteral("stallAtPercent"), stallAtPercent}});
    Rig rig;
    if (!rig.load(scenario)) {
        ++g_failures;
        return;
    }
    CalibrationProgressDlg dialog(&rig.io, nullptr, &rig.versions, false);
    // The run starts at 0 and is then held at atMs, so that every poll sees the same progress.
    QTimer::singleShot(0, [&] { rig.now = atMs; });
    shoot(
        name, delayMs, [&] { dialog.run_calibration("room"); },
        [&](QWidget* w) {
            if (prepare)
                prepare(rig, w);
        });
}

void resultDialog(const QString& name)
{
    Rig rig;
    if (!rig.load(QJsonObject{})) {
        ++g_failures;
        return;
    }
    // A run that has finished, so that the controller has residuals to report.
    const QString started = rig.request("morvek2 cal room start");
    rig.now = 60000;
    const QString state = rig.request("morvek2 get status active");
    if (started != QLatin1String("morvek2 ok") || !state.endsWith(QLatin1String(" none"))) {
        std::fprintf(stderr, "Error: the simulated run did not finish: %s / %s\n",
                     qPrintable(started), qPrintable(state));
        ++g_failures;
        return;
    }
    RoomCalibrationResultDlg dialog(&rig.io, &rig.hostWindow, &rig.versions, false);
    shoot(name, 300, [&] { dialog.update_and_exec(); });
}

void transferDialog(const QString& name, const QJsonObject& scenario, const QString& select)
{
    Rig rig;
    if (!rig.load(scenario)) {
        ++g_failures;
        return;
    }
    RoomcalPortDlg dialog(&rig.hostWindow, &rig.io);
    shoot(
        name, 300, [&] { dialog.fill_and_exec(); },
        [&](QWidget* w) {
            auto* table = w->findChild<QTableWidget*>(QStringLiteral("tableWidget_configs"));
            for (int row = 0; table && row < table->rowCount(); ++row) {
                QTableWidgetItem* description = table->item(row, 1);
                if (description && description->text() == select && table->item(row, 4))
                    table->item(row, 4)->setCheckState(Qt::Checked);
            }
        });
}

// The German pictures: the dialog and 100 cameras on a 1366 x 768 screen, or, at a scale factor
// of 1.5, the result dialog. scripts/screenshots.sh runs each set on a screen of its size.
void historyWindow(const QString& name, const QSize& size = QSize());

void germanSmallScreen()
{
    roomCalibration(QStringLiteral("roomcal-dialog-de.png"), QJsonObject{});
    progress(QStringLiteral("progress-100-cameras-de.png"), withCameras({}, 100), -1, 24000, 1000,
             [](Rig& rig, QWidget*) {
                 QByteArray order;
                 for (int i = 0; i < 100; ++i)
                     order += (i ? "," : "") + QByteArray::number(i);
                 rig.bus.deliver("Monitor2dTabChanged 9 " + order);
                 rig.bus.deliver("Monitor2dMostActive 14");
             });
    historyWindow(QStringLiteral("history-de.png"));
}

void germanScaled()
{
    resultDialog(QStringLiteral("result-150-de.png"));
}

void countdown(const QString& name)
{
    CountdownDlg dialog;
    dialog.start_countdown(QString(), 5);
    shoot(name, 100, [&] { dialog.exec(); });
}

// The history window on a generated record of twelve calibrations of the default scenario's
// cameras, in which camera 7312 has been getting worse over the last ones.
void historyWindow(const QString& name, const QSize& size)
{
    const QList<QPair<QByteArray, QByteArray>> cameras = {{"0x0b01", "20417"}, {"0x0b01", "20418"},
                                                          {"0x0d02", "7311"},  {"0x0d02", "7312"},
                                                          {"0x0c03", "112"},   {"0x0c03", "113"}};
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("roomcal_out.txt")));
    if (!file.open(QIODevice::WriteOnly)) {
        ++g_failures;
        return;
    }
    const QDateTime first(QDate(2026, 11, 2), QTime(8, 40));
    for (int b = 0; b < 12; ++b) {
        QByteArray block =
            "# Roomcalibration  created " +
            first.addDays(b * 3).addSecs(b * 517).toString(Qt::TextDate).toLatin1() +
            "\n# Wand residual: " + QByteArray::number(0.118 + 0.002 * (b % 3), 'f', 3) +
            "   wand range 0.853\n";
        QByteArray commands;
        for (int c = 0; c < cameras.size(); ++c) {
            const QByteArray slot = QByteArray::number(c + 1).rightJustified(2, '0');
            double residual = 0.065 + 0.009 * c + 0.004 * ((b * 5 + c * 3) % 4);
            if (c == 3 && b >= 8)
                residual += 0.035 * (b - 7);
            block += "# Cam residual C" + slot + " (" + cameras.at(c).first + ' ' +
                     cameras.at(c).second + "): " + QByteArray::number(residual, 'f', 3) + ' ' +
                     QByteArray::number(0.97 - 0.01 * c, 'f', 3) + '\n';
            commands += "morvek2 set tracking room c" + slot + " 3000.900 -0.400 2500.450 " +
                        QByteArray::number(60 * c) + ".0125 -30.0075 0.5050\n";
        }
        file.write(block + '#' + QByteArray(69, '-') + "\n\n" + commands);
    }
    file.close();

    HistoryWindow window(file.fileName());
    if (size.isValid())
        window.resize(size);
    window.show();
    // The table of the newest calibration shows the camera that drifts.
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
    const QString path = QDir(g_outDir).filePath(name);
    const QImage image = framed(&window);
    if (image.save(path)) {
        std::printf("%s (%d x %d)\n", qPrintable(path), image.width(), image.height());
    } else {
        std::fprintf(stderr, "Error: %s was not written\n", qPrintable(path));
        ++g_failures;
    }
}

} // namespace

int main(int argc, char** argv)
{
    const QString set = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QString();
    if ((argc != 2 && argc != 3) ||
        !(set.isEmpty() || set == QLatin1String("de-1366x768") || set == QLatin1String("de-150"))) {
        std::fprintf(stderr, "usage: roomcal-screenshots OUTDIR [de-1366x768|de-150]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "Error: no X display; scripts/screenshots.sh runs this under Xvfb\n");
        return 2;
    }
    QApplication app(argc, argv);
    g_outDir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(g_outDir)) {
        std::fprintf(stderr, "Error: cannot create %s\n", argv[1]);
        return 1;
    }
    PluginHost::registerHostResources();
    if (!set.isEmpty()) {
        HostTranslations german;
        QString error;
        if (!german.install(QStringLiteral("de"), &error)) {
            std::fprintf(stderr, "Error: %s\n", qPrintable(error));
            return 1;
        }
        set == QLatin1String("de-150") ? germanScaled() : germanSmallScreen();
        return g_failures == 0 ? 0 : 1;
    }

    const QJsonObject recalibration{
        {QStringLiteral("roomcal"), QJsonObject{{QStringLiteral("type"), "wand_no_angle"}}}};
    roomCalibration(QStringLiteral("roomcal-dialog.png"), QJsonObject{});
    roomCalibration(QStringLiteral("roomcal-recalibration.png"), recalibration);
    // A duration other than the default opens the details with their note.
    roomCalibration(
        QStringLiteral("roomcal-details.png"),
        QJsonObject{{QStringLiteral("roomcal"), QJsonObject{{QStringLiteral("duration"), 45}}}});
    roomCalibration(QStringLiteral("roomcal-read-only.png"),
                    QJsonObject{{QStringLiteral("configChangeable"), false}});
    roomCalibration(QStringLiteral("roomcal-tracking-unavailable.png"),
                    QJsonObject{{QStringLiteral("trackingAvailable"), false}});

    countdown(QStringLiteral("countdown.png"));
    progress(QStringLiteral("progress-tiles.png"), withCameras({}, 12), -1, 24000, 1000,
             [](Rig& rig, QWidget*) {
                 rig.bus.deliver("Monitor2dTabChanged 4 0,1,2,3,4,5,6,7,8,9,10,11");
                 rig.bus.deliver("Monitor2dMostActive 3");
             });
    // The warning comes 5 s after the progress stopped moving.
    progress(QStringLiteral("progress-stall.png"), QJsonObject{}, 63, 25000, 6000);

    resultDialog(QStringLiteral("result-reset-warning.png"));
    transferDialog(QStringLiteral("transfer.png"), QJsonObject{}, QStringLiteral("Demo area"));
    transferDialog(QStringLiteral("transfer-no-calibration.png"),
                   QJsonObject{{QStringLiteral("configurations"),
                                QJsonArray{QJsonObject{{"id", "lab_main"},
                                                       {"description", "Main lab"},
                                                       {"owner", "Operator"},
                                                       {"rooms", QJsonArray{"none"}}},
                                           QJsonObject{{"id", "demo_area"},
                                                       {"description", "Demo area"},
                                                       {"owner", "Sales team"}}}}},
                   QString());
    historyWindow(QStringLiteral("history-drift.png"), QSize(1100, 760));
    return g_failures == 0 ? 0 : 1;
}
