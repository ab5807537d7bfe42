// Timing and memory figures of the room calibration module.
//
// Each measured operation first runs once against the in-process simulated controller while an
// AnswerRecorder keeps its answers; the timed runs then replay those answers from a
// FakeIOManager table. The figures are therefore the module's own cost (plus a hash lookup per
// exchange) and repeat from run to run. The simulator's clock is frozen, so a calibration run
// stays at the same progress for as long as it is measured.
//
// Plug-in loading is measured in fresh child processes of this program, because a library that
// Qt has loaded once cannot be relied upon to unload; every sample is therefore a first load.
//
// The TCP figures are what an operator waits for: the module and the host's channel against
// morvek-sim in a child process, each set beside its floor measured in the same run. The floor
// of an operation is its number of exchanges times the round trip of a C line client through a
// C echo server (roomcal-echo), since every exchange is a synchronous round trip.

#include "AnswerRecorder.h"
#include "EchoClient.h"
#include "MeteredTransport.h"
#include "dialog/RoomCalibrationDialog.h"
#include "host/ControllerIOManager.h"
#include "host/PluginHost.h"
#include "host/SimTransport.h"
#include "host/TcpTransport.h"
#include "kit/FakeIOManager.h"
#include "plugin/BackendVersions.h"
#include "progress/CalibrationProgressDlg.h"
#include "progress/CameraStatus.h"
#include "sim/SimController.h"
#include "sim/SimProcess.h"
#include "transfer/RoomcalPortDlg.h"
#include "ui_roomCalibration.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSysInfo>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const char* const LoadPluginOption = "--load-plugin";
const int LoadSamples = 15;
// ROOMCAL_BENCH_OPENINGS changes the count, to tell a leak (growing with it) from noise.
int memoryOpenings()
{
    const int wanted = qEnvironmentVariableIntValue("ROOMCAL_BENCH_OPENINGS");
    return wanted > 0 ? wanted : 1000;
}
const int MemoryWarmUp = 20;
// The calibration is frozen 12 s into a 30 s measurement: 40 % done.
const qint64 FrozenRunMs = 12000;
const int FrozenPercent = 40;

const int EchoWarmUp = 300;
const int EchoSamples = 3000;
// How long the host's CPU use is watched while a calibration run shows its tiles.
const int HostRunMs = 6000;
const int HostSettleMs = 1000;

// A controller of the current generation with one active configuration of `cameras` cameras
// and `configurations - 1` further ones that can be transfer targets. A run that stalls stays
// at that percentage for as long as it is measured over TCP, where the clock is real.
QByteArray scenario(int cameras, int configurations, bool recalibration, int stallAtPercent = -1)
{
    QJsonArray configs;
    for (int i = 0; i < configurations; ++i) {
        const QString number = QString::number(i).rightJustified(2, QLatin1Char('0'));
        configs.append(QJsonObject{
            {QStringLiteral("id"), i == 0 ? QStringLiteral("main") : QStringLiteral("t") + number},
            {QStringLiteral("description"),
             i == 0 ? QStringLiteral("Main hall") : QStringLiteral("Target ") + number},
            {QStringLiteral("owner"), QStringLiteral("Operator")},
            {QStringLiteral("password"), false},
            {QStringLiteral("cameras"), cameras}});
    }
    const QJsonObject root{
        {QStringLiteral("extends"), QStringLiteral("default")},
        {QStringLiteral("controller"), QJsonObject{{QStringLiteral("version"), "1.23.0"}}},
        {QStringLiteral("roomcal"),
         QJsonObject{{QStringLiteral("type"),
                      recalibration ? QStringLiteral("wand_no_angle") : QStringLiteral("wand")}}},
        {QStringLiteral("configurations"), configs},
        {QStringLiteral("activeConfiguration"), QStringLiteral("main")},
        {QStringLiteral("run"), QJsonObject{{QStringLiteral("stepPause"), 0},
                                            {QStringLiteral("stallAtPercent"), stallAtPercent}}}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

// A simulated controller, the recorder in front of it and the table it fills.
struct Controller
{
    SimController sim;
    SimTransport transport{&sim};
    ControllerIOManager channel{&transport, nullptr, nullptr};
    FakeIOManager table;
    AnswerRecorder recorder{&channel, &table};
    BackendVersions versions;
    qint64 now = 0;
    // Set once the operation has run against the simulator; later runs only replay.
    bool recorded = false;
    QStringList recordedCalls;
};

std::unique_ptr<Controller> makeController(const QByteArray& json, QString* error)
{
    auto c = std::make_unique<Controller>();
    if (!c->sim.loadScenarioJson(json, error))
        return nullptr;
    Controller* raw = c.get();
    c->sim.setClock([raw] { return raw->now; });
    c->versions.versionMajor = c->sim.versionMajor();
    c->versions.versionMinor = c->sim.versionMinor();
    c->versions.versionPatch = c->sim.versionPatch();
    c->versions.modelName = c->sim.modelName();
    return c;
}

// morvek-sim in a child process with a scenario file, and the host's channel to it over TCP.
struct TcpController
{
    QTemporaryDir dir;
    SimProcess server;
    std::unique_ptr<TcpTransport> tcp;
    std::unique_ptr<MeteredTransport> meter;
    std::unique_ptr<ControllerIOManager> channel;
    BackendVersions versions;
};

std::unique_ptr<TcpController> startSimulator(const QByteArray& json, QString* error)
{
    auto c = std::make_unique<TcpController>();
    SimController local;
    if (!local.loadScenarioJson(json, error))
        return nullptr;
    c->versions.versionMajor = local.versionMajor();
    c->versions.versionMinor = local.versionMinor();
    c->versions.versionPatch = local.versionPatch();
    c->versions.modelName = local.modelName();
    QFile file(c->dir.filePath(QStringLiteral("bench.json")));
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size()) {
        *error = QStringLiteral("cannot write %1").arg(file.fileName());
        return nullptr;
    }
    file.close();
    *error = c->server.start(QStringLiteral(ROOMCAL_SIM_PATH),
                             QStringList{QStringLiteral("--scenario"), file.fileName()});
    if (!error->isEmpty())
        return nullptr;
    c->tcp = std::make_unique<TcpTransport>(QStringLiteral("127.0.0.1"), c->server.port());
    c->meter = std::make_unique<MeteredTransport>(c->tcp.get());
    c->channel = std::make_unique<ControllerIOManager>(c->meter.get(), nullptr, nullptr);
    return c;
}

// User plus system CPU time of this process so far.
qint64 cpuNanoseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000000000LL +
           (qint64(usage.ru_utime.tv_usec) + usage.ru_stime.tv_usec) * 1000LL;
}

// CPU time of another process, from the kernel's accounting.
qint64 processCpuNanoseconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the parenthesised name; utime and stime are fields 14 and 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const qint64 ticks = fields.at(11).toLongLong() + fields.at(12).toLongLong();
    return ticks * (1000000000LL / sysconf(_SC_CLK_TCK));
}

// Runs `action` inside the next modal loop once its dialog is up, then rejects the dialog, as
// an operator leaving at once would.
void insideNextModal(std::function<void(QDialog*)> action = {})
{
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            std::fprintf(stderr, "Error: no modal dialog to close\n");
            return;
        }
        if (action)
            action(dialog);
        dialog->reject();
    });
}

const QStringList& controllerOperations()
{
    static const QStringList ops{QStringLiteral("getString"),   QStringLiteral("getInt"),
                                 QStringLiteral("getDouble"),   QStringLiteral("getFlag"),
                                 QStringLiteral("getDoubles"),  QStringLiteral("sendCommand"),
                                 QStringLiteral("setParameter")};
    return ops;
}

// Exchanges with the controller among recorded calls; `detail` gets them by operation.
int countExchanges(const QStringList& calls, QString* detail)
{
    QMap<int, int> byOp;
    int total = 0;
    for (const QString& call : calls) {
        const int op = controllerOperations().indexOf(call.section(QLatin1Char(' '), 0, 0));
        if (op < 0)
            continue;
        ++byOp[op];
        ++total;
    }
    QStringList parts;
    for (auto it = byOp.cbegin(); it != byOp.cend(); ++it)
        parts << QStringLiteral("%1 %2").arg(controllerOperations().at(it.key())).arg(it.value());
    if (detail)
        *detail = parts.join(QStringLiteral(", "));
    return total;
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

qint64 heapBytes()
{
    return qint64(mallinfo2().uordblks);
}

QString duration(double ns)
{
    if (ns >= 1e6)
        return QString::number(ns / 1e6, 'f', ns >= 1e8 ? 0 : 2) + QStringLiteral(" ms");
    return QString::number(ns / 1e3, 'f', ns >= 1e5 ? 0 : 1) + QStringLiteral(" µs");
}

QString firstLineOf(const QString& path, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(key.toLatin1()))
            return QString::fromLatin1(line.mid(line.indexOf(':') + 1)).simplified();
    return QString();
}

// Answers every message box with OK as soon as it is shown, keeping the titles.
class MessageBoxAnswerer : public QObject
{
public:
    MessageBoxAnswerer() { qApp->installEventFilter(this); }
    ~MessageBoxAnswerer() override { qApp->removeEventFilter(this); }

    QStringList titles;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* box = event->type() == QEvent::Show ? qobject_cast<QMessageBox*>(object) : nullptr;
        if (box) {
            titles << box->windowTitle();
            QTimer::singleShot(0, box, [box] {
                if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                    ok->click();
                else
                    box->reject();
            });
        }
        return false;
    }
};

QTableWidget* configTable(QDialog* dialog)
{
    return dialog->findChild<QTableWidget*>(QStringLiteral("tableWidget_configs"));
}

// Checks every Select box that can be checked; answers how many.
int selectAllTargets(QDialog* dialog)
{
    QTableWidget* table = configTable(dialog);
    int selected = 0;
    for (int row = 0; table && row < table->rowCount(); ++row) {
        QTableWidgetItem* item = table->item(row, 4);
        if (item && (item->flags() & Qt::ItemIsUserCheckable)) {
            item->setCheckState(Qt::Checked);
            ++selected;
        }
    }
    return selected;
}

void applyTransfer(QDialog* dialog)
{
    QMetaObject::invokeMethod(dialog, "on_pushButton_apply_clicked", Qt::DirectConnection);
}

void threeTicks(CalibrationProgressDlg& dialog)
{
    for (int i = 0; i < 3; ++i) {
        dialog.update_cal_status();
        dialog.update_cam_status();
    }
}

QtMessageHandler testLogHandler = nullptr;

// The off-screen platform warns at every fixed-size window it shows; nothing to act on here.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    if (testLogHandler)
        testLogHandler(type, context, message);
}

// The child process's side of the plug-in measurement: one load, one menuActions, then out.
// A warm host already shows a window, so Qt's fonts and style are set up before the plug-in
// comes; a cold one loads the plug-in before it has shown anything.
int loadPluginOnce(const QString& path, bool warm)
{
    QWidget window;
    if (warm) {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(new QLabel(QStringLiteral("Tracking")));
        layout->addWidget(new QLineEdit(QStringLiteral("host")));
        layout->addWidget(new QPushButton(QStringLiteral("&Start")));
        window.show();
        QCoreApplication::processEvents();
    }
    FakeIOManager io;
    BackendVersions versions{1, 23, 0, QStringLiteral("TESSERA2")};
    PluginHost host;
    QString error;
    QElapsedTimer timer;
    timer.start();
    if (!host.load(path, &error)) {
        std::fprintf(stderr, "Error: %s\n", qPrintable(error));
        return 2;
    }
    const qint64 loaded = timer.nsecsElapsed();
    const QList<QAction*> actions = host.attach(&io, nullptr, &versions, false);
    const qint64 attached = timer.nsecsElapsed();
    std::printf("load %lld attach %lld actions %d exchanges %d\n", loaded, attached - loaded,
                int(actions.size()), countExchanges(io.calls, nullptr));
    host.shutdown();
    return actions.size() == 1 ? 0 : 3;
}

} // namespace

// Names of the figures the ratio table sets side by side.
namespace {
const char* const EchoFigure = "TCP floor: C line client and C echo server, one round trip";
const char* const ExchangeFigure = "TCP: one exchange, ControllerIOManager to morvek-sim";
const char* const TcpOpeningFigure = "TCP: opening, update_and_exec, re-calibration, 100 cameras";
const char* const TcpTickFigure = "TCP: progress tick with tile refresh, 100 cameras";
const char* const TcpStartFigure = "TCP: run_calibration until shown, 100 cameras";
// The part of a TCP figure not spent in the transport: the module's and the channel's own time.
const char* const OutsideTransport = ", time outside the transport";
const char* const TcpTransferFigure =
    "TCP: transfer of 100 cameras to 2 configurations (Apply, scenario file)";
const char* const OpeningFigure = "Dialog opening: update_and_exec, re-calibration, 100 cameras";
const char* const SetupFigure = "Form alone: Ui::roomCalibration::setupUi on a QDialog";
const char* const BareExecFigure = "Form alone: exec() of the built form, closed at once";
const char* const TileFloorFigure =
    "Form alone: 100 tile forms with their style sheet in a grid, shown and closed";
const char* const StartFigure =
    "Progress: run_calibration until shown (tiles rebuilt), 100 cameras";
// As long as a typical request or answer of the protocol.
const char* const EchoLine = "morvek2 get status camera_progress c01";
const int TcpWarmUp = 2;
const int TcpSamples = 25;
const int TransferSamples = 5;
} // namespace

class RoomcalBench : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pluginLoad_data();
    void pluginLoad();
    void formSetup();
    void bareFormShown();
    void dialogConstruction();
    void dialogOpening_data() { cameraRows(); }
    void dialogOpening();
    void progressTick_data() { cameraRows(); }
    void progressTick();
    void runStart_data() { cameraRows(); }
    void runStart();
    void tilesBuilt();
    void tilesFormShown();
    void transfer();
    void memoryGrowth_data() { cameraRows(); }
    void memoryGrowth();
    void tcpEchoFloor();
    void tcpExchange();
    void tcpOpening();
    void tcpTick();
    void tcpRunStart();
    void tcpTransfer();
    void tcpHostCpu();
    void cleanupTestCase();

private:
    struct Figure
    {
        QString name;
        QVector<qint64> samples;
        int exchanges = -1;
        QString detail;
    };
    struct Memory
    {
        QString name;
        qint64 rssBefore = 0;
        qint64 rssAfter = 0;
        qint64 heapBefore = 0;
        qint64 heapAfter = 0;
    };

    void cameraRows();
    Figure& figure(const QString& name);
    double median(const QString& name) const;
    double mean(const QString& name) const;
    QString ratioTable() const;
    TcpController* simulator(const QByteArray& json);
    void noteExchanges(const QString& name, const QStringList& calls);
    Controller* controller(const QString& purpose, const QByteArray& json);

    QList<Figure> m_figures;
    QList<Memory> m_memory;
    std::map<QString, std::unique_ptr<Controller>> m_controllers;
    std::unique_ptr<TcpController> m_simulator;
    double m_hostCpuPercent = -1;
    double m_simCpuPercent = -1;
};

void RoomcalBench::cameraRows()
{
    QTest::addColumn<int>("cameras");
    QTest::newRow("8 cameras") << 8;
    QTest::newRow("100 cameras") << 100;
}

RoomcalBench::Figure& RoomcalBench::figure(const QString& name)
{
    for (Figure& f : m_figures)
        if (f.name == name)
            return f;
    m_figures.append(Figure{name, {}, -1, {}});
    return m_figures.last();
}

void RoomcalBench::noteExchanges(const QString& name, const QStringList& calls)
{
    Figure& f = figure(name);
    f.exchanges = countExchanges(calls, &f.detail);
}

// One controller per measured operation, so that no recording sees the state another one left.
// Controllers live for the whole run: QTest calls a benchmark function again whenever it wants
// more iterations, and the replay must keep following the first recording.
Controller* RoomcalBench::controller(const QString& purpose, const QByteArray& json)
{
    const QString key = purpose + QLatin1Char(' ') + QString::fromLatin1(json);
    auto it = m_controllers.find(key);
    if (it != m_controllers.end())
        return it->second.get();
    QString error;
    auto made = makeController(json, &error);
    if (!made) {
        std::fprintf(stderr, "Error: scenario rejected: %s\n", qPrintable(error));
        return nullptr;
    }
    return m_controllers.emplace(key, std::move(made)).first->second.get();
}

void RoomcalBench::initTestCase()
{
    testLogHandler = qInstallMessageHandler(quietHandler);
    QVERIFY2(QFile::exists(PluginHost::defaultPluginPath()),
             qPrintable(PluginHost::defaultPluginPath()));
}

void RoomcalBench::pluginLoad_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("host window shown") << QStringLiteral("warm");
    QTest::newRow("nothing shown yet") << QStringLiteral("cold");
}

void RoomcalBench::pluginLoad()
{
    QFETCH(QString, host);
    const QString state = host == QLatin1String("warm") ? QStringLiteral("host window shown")
                                                        : QStringLiteral("nothing shown yet");
    Figure& load = figure(QStringLiteral("Plug-in: load + instance, %1").arg(state));
    Figure& attach = figure(QStringLiteral("Plug-in: context + menuActions, %1").arg(state));
    for (int i = 0; i < LoadSamples; ++i) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QLatin1String(LoadPluginOption), host, PluginHost::defaultPluginPath()});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 0);
        const QStringList words =
            QString::fromLatin1(child.readAllStandardOutput()).simplified().split(' ');
        QCOMPARE(words.size(), 8);
        load.samples << words.at(1).toLongLong();
        attach.samples << words.at(3).toLongLong();
        attach.exchanges = words.at(7).toInt();
    }
}

void RoomcalBench::formSetup()
{
    Figure& f = figure(QStringLiteral("Form alone: Ui::roomCalibration::setupUi on a QDialog"));
    QBENCHMARK
    {
        auto* dialog = new QDialog;
        Ui::roomCalibration form;
        QElapsedTimer timer;
        timer.start();
        form.setupUi(dialog);
        f.samples << timer.nsecsElapsed();
        delete dialog;
    }
}

void RoomcalBench::bareFormShown()
{
    Figure& f = figure(QStringLiteral("Form alone: exec() of the built form, closed at once"));
    QDialog dialog;
    Ui::roomCalibration form;
    form.setupUi(&dialog);
    QBENCHMARK
    {
        insideNextModal();
        QElapsedTimer timer;
        timer.start();
        dialog.exec();
        f.samples << timer.nsecsElapsed();
    }
}

void RoomcalBench::dialogConstruction()
{
    Controller* c = controller(QStringLiteral("construction"), scenario(8, 1, true));
    QVERIFY(c);
    Figure& f = figure(QStringLiteral("Dialog constructor (with its progress dialog)"));
    QBENCHMARK
    {
        c->table.clearCalls();
        QElapsedTimer timer;
        timer.start();
        auto* dialog = new RoomCalibrationDialog(&c->table, nullptr, &c->versions);
        f.samples << timer.nsecsElapsed();
        delete dialog;
    }
    noteExchanges(f.name, c->table.calls);
}

void RoomcalBench::dialogOpening()
{
    QFETCH(int, cameras);
    Controller* c = controller(QStringLiteral("opening"), scenario(cameras, 1, true));
    QVERIFY(c);
    if (!c->recorded) {
        RoomCalibrationDialog recording(&c->recorder, nullptr, &c->versions);
        c->recorder.calls.clear();
        insideNextModal();
        recording.update_and_exec();
        c->recordedCalls = c->recorder.calls;
        c->recorded = true;
    }

    RoomCalibrationDialog dialog(&c->table, nullptr, &c->versions);
    c->table.clearCalls();
    insideNextModal();
    dialog.update_and_exec();
    // The figures are worth something only if the replay took the recorded path.
    QCOMPARE(c->table.calls, c->recordedCalls);
    QVERIFY(dialog.checkBox_recal->isChecked());
    QCOMPARE(dialog.tableStaticCameras->rowCount(), cameras);
    QVERIFY(dialog.pb_calibrate->isEnabled());

    const QString name =
        QStringLiteral("Dialog opening: update_and_exec, re-calibration, %1 cameras").arg(cameras);
    Figure& f = figure(name);
    QBENCHMARK
    {
        c->table.clearCalls();
        insideNextModal();
        QElapsedTimer timer;
        timer.start();
        dialog.update_and_exec();
        f.samples << timer.nsecsElapsed();
    }
    noteExchanges(name, c->table.calls);
}

void RoomcalBench::progressTick()
{
    QFETCH(int, cameras);
    Controller* c = controller(QStringLiteral("tick"), scenario(cameras, 1, false));
    QVERIFY(c);
    if (!c->recorded) {
        CalibrationProgressDlg recording(&c->recorder, nullptr, &c->versions, false);
        insideNextModal([&](QDialog*) {
            c->now = FrozenRunMs;
            threeTicks(recording);
        });
        recording.run_calibration("room");
        c->recorded = true;
    }

    const QString tickName =
        QStringLiteral("Progress: update_cal_status, one tick, %1 cameras").arg(cameras);
    const QString unitName =
        QStringLiteral("Progress: 3 ticks incl. one tile refresh, %1 cameras").arg(cameras);
    Figure& tick = figure(tickName);
    Figure& unit = figure(unitName);
    CalibrationProgressDlg dialog(&c->table, nullptr, &c->versions, false);
    bool ran = false;
    insideNextModal([&](QDialog*) {
        // The run was recorded idle before its start; from here on it is measuring.
        c->table.answer(QStringLiteral("status active"), QStringLiteral("cal"));
        ran = true;
        QCOMPARE(int(dialog.tiles().size()), cameras);
        c->table.clearCalls();
        threeTicks(dialog);
        QCOMPARE(dialog.progressBar_overall->value(), FrozenPercent);
        noteExchanges(unitName, c->table.calls);
        c->table.clearCalls();
        dialog.update_cal_status();
        noteExchanges(tickName, c->table.calls);
        QBENCHMARK
        {
            QElapsedTimer timer;
            timer.start();
            dialog.update_cal_status();
            tick.samples << timer.nsecsElapsed();
            timer.restart();
            threeTicks(dialog);
            unit.samples << timer.nsecsElapsed();
        }
        c->table.answer(QStringLiteral("status active"), QStringLiteral("none"));
    });
    dialog.run_calibration("room");
    QVERIFY(ran);
}

void RoomcalBench::runStart()
{
    QFETCH(int, cameras);
    Controller* c = controller(QStringLiteral("run start"), scenario(cameras, 1, false));
    QVERIFY(c);
    if (!c->recorded) {
        CalibrationProgressDlg recording(&c->recorder, nullptr, &c->versions, false);
        insideNextModal();
        recording.run_calibration("room");
        c->recorded = true;
    }
    CalibrationProgressDlg dialog(&c->table, nullptr, &c->versions, false);
    const QString name =
        QStringLiteral("Progress: run_calibration until shown (tiles rebuilt), %1 cameras")
            .arg(cameras);
    Figure& f = figure(name);
    QBENCHMARK
    {
        int tiles = -1;
        c->table.clearCalls();
        insideNextModal([&](QDialog*) { tiles = int(dialog.tiles().size()); });
        QElapsedTimer timer;
        timer.start();
        dialog.run_calibration("room");
        f.samples << timer.nsecsElapsed();
        QCOMPARE(tiles, cameras);
    }
    noteExchanges(name, c->table.calls);
}

void RoomcalBench::tilesBuilt()
{
    const int cameras = 100;
    Controller* c = controller(QStringLiteral("tiles"), scenario(cameras, 1, false));
    QVERIFY(c);
    if (!c->recorded) {
        for (int i = 0; i < cameras; ++i)
            delete new CameraStatus(&c->recorder, nullptr, &c->versions, i);
        c->recorded = true;
    }

    const QString name = QStringLiteral("Tiles: 100 CameraStatus built and placed in a grid");
    Figure& f = figure(name);
    const int columns = CalibrationProgressDlg::tileColumns(cameras);
    QBENCHMARK
    {
        c->table.clearCalls();
        QWidget parent;
        auto* grid = new QGridLayout(&parent);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < cameras; ++i) {
            auto* tile = new CameraStatus(&c->table, &parent, &c->versions, i);
            tile->set_tab_number(0);
            grid->addWidget(tile, i / columns, i % columns);
        }
        f.samples << timer.nsecsElapsed();
    }
    noteExchanges(name, c->table.calls);
}

// What Qt needs for the same hundred tiles without the module: the tile form with the tile's
// style sheet, in a grid of a dialog that is shown and closed at once.
void RoomcalBench::tilesFormShown()
{
    const int cameras = 100;
    FakeIOManager io;
    BackendVersions versions{1, 23, 0, QStringLiteral("TESSERA2")};
    const QString style = CameraStatus(&io, nullptr, &versions, 0).styleSheet();
    const int columns = CalibrationProgressDlg::tileColumns(cameras);
    Figure& f = figure(QLatin1String(TileFloorFigure));
    QBENCHMARK
    {
        QDialog dialog;
        auto* grid = new QGridLayout(&dialog);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < cameras; ++i) {
            auto* tile = new QGroupBox(&dialog);
            tile->ensurePolished();
            tile->setStyleSheet(style);
            Ui::CameraStatus form;
            form.setupUi(tile);
            grid->addWidget(tile, i / columns, i % columns);
        }
        insideNextModal();
        dialog.exec();
        f.samples << timer.nsecsElapsed();
    }
}

void RoomcalBench::transfer()
{
    const int cameras = 100;
    const int configurations = 21;
    Controller* c =
        controller(QStringLiteral("transfer"), scenario(cameras, configurations, false));
    QVERIFY(c);
    MessageBoxAnswerer answerer;
    if (!c->recorded) {
        RoomcalPortDlg recording(nullptr, &c->recorder);
        insideNextModal([&](QDialog* d) {
            selectAllTargets(d);
            applyTransfer(d);
        });
        recording.fill_and_exec();
        QCOMPARE(answerer.titles.value(answerer.titles.size() - 1), QStringLiteral("Success"));
        c->recorded = true;
    }

    const QString name = QStringLiteral("Transfer: 100 cameras to 20 configurations (Apply)");
    Figure& f = figure(name);
    RoomcalPortDlg dialog(nullptr, &c->table);
    bool ran = false;
    insideNextModal([&](QDialog* d) {
        ran = true;
        QCOMPARE(selectAllTargets(d), configurations - 1);
        answerer.titles.clear();
        c->table.clearCalls();
        applyTransfer(d);
        QCOMPARE(answerer.titles, QStringList({QStringLiteral("Transfer room calibration"),
                                               QStringLiteral("Success")}));
        noteExchanges(name, c->table.calls);
        QBENCHMARK
        {
            selectAllTargets(d);
            c->table.clearCalls();
            QElapsedTimer timer;
            timer.start();
            applyTransfer(d);
            f.samples << timer.nsecsElapsed();
        }
    });
    dialog.fill_and_exec();
    QVERIFY(ran);
}

void RoomcalBench::memoryGrowth()
{
    QFETCH(int, cameras);
    Controller* c = controller(QStringLiteral("memory"), scenario(cameras, 1, true));
    QVERIFY(c);
    {
        RoomCalibrationDialog recording(&c->recorder, nullptr, &c->versions);
        insideNextModal();
        recording.update_and_exec();
    }
    RoomCalibrationDialog dialog(&c->table, nullptr, &c->versions);
    const auto open = [&] {
        c->table.clearCalls();
        insideNextModal();
        dialog.update_and_exec();
    };
    for (int i = 0; i < MemoryWarmUp; ++i)
        open();
    const int openings = memoryOpenings();
    Memory m;
    m.name = QStringLiteral("%1 openings, re-calibration, %2 cameras").arg(openings).arg(cameras);
    m.rssBefore = residentBytes();
    m.heapBefore = heapBytes();
    for (int i = 0; i < openings; ++i)
        open();
    m.rssAfter = residentBytes();
    m.heapAfter = heapBytes();
    m_memory << m;
    QVERIFY(dialog.checkBox_recal->isChecked());
}

TcpController* RoomcalBench::simulator(const QByteArray& json)
{
    // One server at a time: a benchmark's controller ends when the next one starts.
    m_simulator.reset();
    QString error;
    m_simulator = startSimulator(json, &error);
    if (!m_simulator)
        std::fprintf(stderr, "Error: morvek-sim: %s\n", qPrintable(error));
    return m_simulator.get();
}

void RoomcalBench::tcpEchoFloor()
{
    SimProcess echo;
    QVERIFY2(echo.start(QStringLiteral(ROOMCAL_ECHO_PATH), QStringList()).isEmpty(),
             qPrintable(echo.error()));
    const int fd = echo_connect(echo.port());
    QVERIFY(fd >= 0);
    Figure& f = figure(QLatin1String(EchoFigure));
    for (int i = 0; i < EchoWarmUp + EchoSamples; ++i) {
        const long long ns = echo_round_trip(fd, EchoLine, int(qstrlen(EchoLine)));
        if (ns < 0)
            break;
        if (i >= EchoWarmUp)
            f.samples << ns;
    }
    echo_close(fd);
    f.exchanges = 1;
    QCOMPARE(f.samples.size(), EchoSamples);
}

void RoomcalBench::tcpExchange()
{
    TcpController* c = simulator(scenario(100, 1, false));
    QVERIFY(c);
    Figure& f = figure(QLatin1String(ExchangeFigure));
    for (int i = 0; i < EchoWarmUp + EchoSamples; ++i) {
        int count = 0;
        QElapsedTimer timer;
        timer.start();
        const int result = c->channel->getInt(&count, "camera number_of_cameras");
        const qint64 ns = timer.nsecsElapsed();
        QVERIFY2(result == 0, qPrintable(c->channel->lastError()));
        QCOMPARE(count, 100);
        f.exchanges = 1;
        if (i >= EchoWarmUp)
            f.samples << ns;
    }
}

void RoomcalBench::tcpOpening()
{
    TcpController* c = simulator(scenario(100, 1, true));
    QVERIFY(c);
    Figure& f = figure(QLatin1String(TcpOpeningFigure));
    Figure& outside = figure(QLatin1String(TcpOpeningFigure) + QLatin1String(OutsideTransport));
    RoomCalibrationDialog dialog(c->channel.get(), nullptr, &c->versions);
    for (int i = 0; i < TcpWarmUp + TcpSamples; ++i) {
        c->meter->reset();
        insideNextModal();
        QElapsedTimer timer;
        timer.start();
        dialog.update_and_exec();
        const qint64 ns = timer.nsecsElapsed();
        if (i >= TcpWarmUp) {
            f.samples << ns;
            outside.samples << ns - c->meter->nanoseconds();
        }
        f.exchanges = c->meter->exchanges();
    }
    QVERIFY(dialog.checkBox_recal->isChecked());
    QCOMPARE(dialog.tableStaticCameras->rowCount(), 100);
}

void RoomcalBench::tcpTick()
{
    TcpController* c = simulator(scenario(100, 1, false, FrozenPercent));
    QVERIFY(c);
    Figure& f = figure(QLatin1String(TcpTickFigure));
    Figure& outside = figure(QLatin1String(TcpTickFigure) + QLatin1String(OutsideTransport));
    CalibrationProgressDlg dialog(c->channel.get(), nullptr, &c->versions, false);
    bool ran = false;
    insideNextModal([&](QDialog*) {
        ran = true;
        QCOMPARE(int(dialog.tiles().size()), 100);
        for (int i = 0; i < TcpWarmUp + TcpSamples * 4; ++i) {
            c->meter->reset();
            QElapsedTimer timer;
            timer.start();
            dialog.update_cal_status();
            for (CameraStatus* tile : dialog.tiles())
                tile->update_progressBar();
            const qint64 ns = timer.nsecsElapsed();
            if (i >= TcpWarmUp) {
                f.samples << ns;
                outside.samples << ns - c->meter->nanoseconds();
            }
            f.exchanges = c->meter->exchanges();
        }
    });
    dialog.run_calibration("room");
    QVERIFY(ran);
}

void RoomcalBench::tcpRunStart()
{
    TcpController* c = simulator(scenario(100, 1, false));
    QVERIFY(c);
    Figure& f = figure(QLatin1String(TcpStartFigure));
    Figure& module = figure(QLatin1String(TcpStartFigure) + QLatin1String(OutsideTransport));
    CalibrationProgressDlg dialog(c->channel.get(), nullptr, &c->versions, false);
    for (int i = 0; i < TcpWarmUp + TcpSamples; ++i) {
        QElapsedTimer timer;
        bool shown = false;
        insideNextModal([&](QDialog*) {
            const qint64 ns = timer.nsecsElapsed();
            shown = true;
            if (i < TcpWarmUp)
                return;
            f.samples << ns;
            module.samples << ns - c->meter->nanoseconds();
            f.exchanges = c->meter->exchanges();
        });
        c->meter->reset();
        timer.start();
        dialog.run_calibration("room");
        QVERIFY(shown);
    }
}

void RoomcalBench::tcpTransfer()
{
    TcpController* c = simulator(scenario(100, 3, false));
    QVERIFY(c);
    MessageBoxAnswerer answerer;
    Figure& f = figure(QLatin1String(TcpTransferFigure));
    RoomcalPortDlg dialog(nullptr, c->channel.get());
    bool ran = false;
    insideNextModal([&](QDialog* d) {
        ran = true;
        for (int i = 0; i < 1 + TransferSamples; ++i) {
            QCOMPARE(selectAllTargets(d), 2);
            answerer.titles.clear();
            c->meter->reset();
            QElapsedTimer timer;
            timer.start();
            applyTransfer(d);
            const qint64 ns = timer.nsecsElapsed();
            QCOMPARE(answerer.titles.value(answerer.titles.size() - 1), QStringLiteral("Success"));
            f.exchanges = c->meter->exchanges();
            if (i > 0)
                f.samples << ns;
        }
    });
    dialog.fill_and_exec();
    QVERIFY(ran);
}

void RoomcalBench::tcpHostCpu()
{
    TcpController* c = simulator(scenario(100, 1, false, FrozenPercent));
    QVERIFY(c);
    CalibrationProgressDlg dialog(c->channel.get(), nullptr, &c->versions, false);
    QElapsedTimer wall;
    qint64 cpuAtShow = 0;
    qint64 simAtShow = 0;
    int exchanges = 0;
    // Once the tiles are shown and painted, the run is left to its own timers, as in the host.
    QTimer::singleShot(HostSettleMs, &dialog, [&] {
        wall.start();
        cpuAtShow = cpuNanoseconds();
        simAtShow = processCpuNanoseconds(c->server.processId());
        c->meter->reset();
        QTimer::singleShot(HostRunMs, &dialog, [&] {
            const double elapsed = double(wall.nsecsElapsed());
            m_hostCpuPercent = 100.0 * double(cpuNanoseconds() - cpuAtShow) / elapsed;
            m_simCpuPercent =
                100.0 * double(processCpuNanoseconds(c->server.processId()) - simAtShow) / elapsed;
            exchanges = c->meter->exchanges();
            dialog.reject();
        });
    });
    dialog.run_calibration("room");
    QVERIFY(m_hostCpuPercent >= 0);
    // Five ticks a second and a tile refresh at every third.
    QVERIFY(exchanges > HostRunMs / 1000 * 100);
}

double RoomcalBench::mean(const QString& name) const
{
    for (const Figure& f : m_figures) {
        if (f.name != name || f.samples.isEmpty())
            continue;
        double sum = 0;
        for (qint64 sample : f.samples)
            sum += double(sample);
        return sum / f.samples.size();
    }
    return -1;
}

double RoomcalBench::median(const QString& name) const
{
    for (const Figure& f : m_figures) {
        QVector<qint64> sorted = f.samples;
        if (f.name != name || sorted.isEmpty())
            continue;
        std::sort(sorted.begin(), sorted.end());
        return double(sorted.at(sorted.size() / 2));
    }
    return -1;
}

// Each operation beside its floor from this run, as the ratio the goals are written in.
QString RoomcalBench::ratioTable() const
{
    QString text;
    QTextStream out(&text);
    const double echo = median(QLatin1String(EchoFigure));
    const auto exchangesOf = [this](const char* name) {
        for (const Figure& f : m_figures)
            if (f.name == QLatin1String(name))
                return f.exchanges;
        return -1;
    };
    const auto ratio = [](double project, double floor) {
        return QString::number(project / floor, 'f', 2) + QStringLiteral("×");
    };
    const auto row = [&](const QString& what, double project, double floor,
                         const QString& floorText, const QString& goal,
                         const QString& loaded = QStringLiteral("-")) {
        if (project < 0 || floor <= 0)
            return;
        out << "| " << what << " | " << duration(project) << " | " << floorText << " "
            << duration(floor) << " | " << ratio(project, floor) << " | " << loaded << " | " << goal
            << " |\n";
    };
    // A sum of many exchanges carries the other processes' time slices as a mean does; a
    // single exchange is compared mean to mean.
    const double echoMean = mean(QLatin1String(EchoFigure));
    const auto tcpRow = [&](const QString& what, const char* name, const QString& goal) {
        const int exchanges = exchangesOf(name);
        if (exchanges <= 0 || echo <= 0)
            return;
        const double project = median(QLatin1String(name));
        const QString loaded = exchanges == 1 ? ratio(mean(QLatin1String(name)), echoMean)
                                              : ratio(project, exchanges * echoMean);
        row(what, project, exchanges * echo,
            exchanges == 1 ? QStringLiteral("echo:") : QStringLiteral("%1 × echo =").arg(exchanges),
            goal, loaded);
    };
    out << "\n## Side by side with the floor of this run (medians)\n\n"
        << "| Measurement | Project | Floor | Ratio | Ratio to the echo's mean | Goal |\n"
        << "|---|---:|---:|---:|---:|---|\n";
    tcpRow(QStringLiteral("one exchange, ControllerIOManager → morvek-sim, back to back"),
           ExchangeFigure, QStringLiteral("≤ 1.5×"));
    tcpRow(QStringLiteral("opening, 100 cameras, re-calibration"), TcpOpeningFigure,
           QStringLiteral("≤ 2×"));
    tcpRow(QStringLiteral("progress tick with tile refresh, 100 cameras"), TcpTickFigure,
           QStringLiteral("≤ 2×"));
    const double module = median(QLatin1String(TcpStartFigure) + QLatin1String(OutsideTransport));
    tcpRow(QStringLiteral("Calibrate until the progress dialog shows, 100 cameras"), TcpStartFigure,
           module < 0 ? QString()
                      : QStringLiteral("module time %1 (goal ≤ 10 ms)").arg(duration(module)));
    tcpRow(QStringLiteral("transfer of 100 cameras to two configurations (scenario file)"),
           TcpTransferFigure, QStringLiteral("-"));
    const double setup = median(QLatin1String(SetupFigure));
    const double bare = median(QLatin1String(BareExecFigure));
    if (setup > 0 && bare > 0)
        row(QStringLiteral("module alone: opening with 100 cameras, replayed answers"),
            median(QLatin1String(OpeningFigure)), setup + bare,
            QStringLiteral("`setupUi` + `exec` of the bare form:"), QStringLiteral("≤ 2×"));
    const double tiles = median(QLatin1String(TileFloorFigure));
    if (tiles > 0)
        row(QStringLiteral("module alone: Calibrate until shown, 100 cameras, replayed answers"),
            median(QLatin1String(StartFigure)), tiles,
            QStringLiteral("100 tile forms shown in a grid:"), QStringLiteral("≤ 10 ms"));
    if (m_hostCpuPercent >= 0)
        out << "| host CPU during a 100-camera run (" << HostRunMs / 1000
            << " s, tiles shown; morvek-sim: " << QString::number(m_simCpuPercent, 'f', 2)
            << " %) | " << QString::number(m_hostCpuPercent, 'f', 2)
            << QStringLiteral(" % | - | - | - | ≤ 1 % |\n");
    out.flush();
    return text;
}

void RoomcalBench::cleanupTestCase()
{
    m_simulator.reset();
    QString text;
    QTextStream out(&text);
    out << "\n## Machine\n\n"
        << "- CPU: " << firstLineOf(QStringLiteral("/proc/cpuinfo"), QStringLiteral("model name"))
        << ", " << QThread::idealThreadCount() << " logical CPUs\n"
        << "- Memory: " << firstLineOf(QStringLiteral("/proc/meminfo"), QStringLiteral("MemTotal"))
        << "\n- System: " << QSysInfo::prettyProductName() << ", Qt " << qVersion() << ", platform "
        << QGuiApplication::platformName() << "\n\n"
        << "## Timings (median of all timed runs; exchanges per operation)\n\n"
        << "| Measurement | Median | Mean | Runs | Controller exchanges |\n"
        << "|---|---:|---:|---:|---|\n";
    for (const Figure& f : m_figures) {
        if (f.samples.isEmpty())
            continue;
        QVector<qint64> sorted = f.samples;
        std::sort(sorted.begin(), sorted.end());
        double sum = 0;
        for (qint64 s : sorted)
            sum += double(s);
        const QString exchanges = f.exchanges < 0 ? QStringLiteral("-")
                                  : f.detail.isEmpty()
                                      ? QString::number(f.exchanges)
                                      : QStringLiteral("%1 (%2)").arg(f.exchanges).arg(f.detail);
        out << "| " << f.name << " | " << duration(double(sorted.at(sorted.size() / 2))) << " | "
            << duration(sum / sorted.size()) << " | " << sorted.size() << " | " << exchanges
            << " |\n";
    }
    if (!m_memory.isEmpty()) {
        out << "\n## Memory (after " << MemoryWarmUp << " warm-up openings)\n\n"
            << "| Run | RSS before | RSS after | Heap in use before | Heap in use after |\n"
            << "|---|---:|---:|---:|---:|\n";
        const auto kib = [](qint64 bytes) {
            return QStringLiteral("%1 KiB").arg(double(bytes) / 1024.0, 0, 'f', 0);
        };
        for (const Memory& m : m_memory)
            out << "| " << m.name << " | " << kib(m.rssBefore) << " | " << kib(m.rssAfter) << " | "
                << kib(m.heapBefore) << " | " << kib(m.heapAfter)
                << QString::asprintf(" (%+lld bytes)", m.heapAfter - m.heapBefore) << " |\n";
    }
    out.flush();
    text += ratioTable();
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

int main(int argc, char** argv)
{
    // Off-screen rendering keeps the figures free of a display server's cost and variance.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    if (argc == 4 && qstrcmp(argv[1], LoadPluginOption) == 0)
        return loadPluginOnce(QString::fromLocal8Bit(argv[3]), qstrcmp(argv[2], "warm") == 0);
    RoomcalBench bench;
    return QTest::qExec(&bench, argc, argv);
}

#include "RoomcalBench.moc"
