#include "kit/TestMain.h"
#include "sim/SimController.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("ROOMCAL_SOURCE_DIR", QStringLiteral("."));
}

// The value part of a read, or the whole answer when the read was refused, so that a failing
// comparison shows what the controller said.
QString get(SimController& sim, const QString& name)
{
    const QString answer = sim.handle(QStringLiteral("morvek2 get ") + name);
    const QString prefix = QStringLiteral("morvek2 set ") + name + QLatin1Char(' ');
    return answer.startsWith(prefix) ? answer.mid(prefix.size()) : answer;
}

QString set(SimController& sim, const QString& assignment)
{
    return sim.handle(QStringLiteral("morvek2 set ") + assignment);
}

const QString Ok = QStringLiteral("morvek2 ok");

bool isError(const QString& answer)
{
    static const QRegularExpression pattern(QStringLiteral("^morvek2 err \\d+ \"[^\"]*\"$"));
    return pattern.match(answer).hasMatch();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestSimController : public QObject
{
    Q_OBJECT

private:
    qint64 m_now = 0;
    QTemporaryDir m_scratch;
    int m_copies = 0;

    // Scenarios are loaded from fresh copies: the controller keeps its state beside the file,
    // and neither the source tree nor an earlier test may feed a later one.
    bool loadShipped(SimController& sim, const QString& name, QString* error)
    {
        const QString copy =
            m_scratch.filePath(QStringLiteral("%1-%2.json").arg(++m_copies).arg(name));
        if (!QFile::copy(sourceDir() + QStringLiteral("/sim/scenarios/") + name + ".json", copy)) {
            *error = QStringLiteral("cannot copy scenario ") + name;
            return false;
        }
        return sim.loadScenario(copy, error);
    }

    void useFakeClock(SimController& sim)
    {
        m_now = 0;
        sim.setClock([this] { return m_now; });
    }

    // A run from the default scenario: 30 s measuring, 2 s calculating.
    void startRun(SimController& sim)
    {
        QCOMPARE(sim.handle(QStringLiteral("morvek2 tracking stop")), Ok);
        QCOMPARE(sim.handle(QStringLiteral("morvek2 cal room start")), Ok);
    }

private slots:
    void answers_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* request, const char* expected) {
            QTest::newRow(name) << QString::fromLatin1(request) << QString::fromLatin1(expected);
        };
        row("camera value at words 5 and 6", "morvek2 get camera camera c01",
            "morvek2 set camera camera c01 0x0b01 20417");
        row("model is one quoted word", "morvek2 get camera model_desc 0x0B01",
            "morvek2 set camera model_desc 0x0B01 \"MV-Falcon\"");
        row("serial text", "morvek2 get camera serial_desc 0x0b01 20418",
            "morvek2 set camera serial_desc 0x0b01 20418 \"SN-0B01-20418\"");
        row("camera without reference", "morvek2 get roomcal has_reference c06",
            "morvek2 set roomcal has_reference c06 no");
        row("last date in apostrophes", "morvek2 get roomcal last_date",
            "morvek2 set roomcal last_date '2026-12-05 10:20:30'");
        row("angle is A C B", "morvek2 get roomcal angle", "morvek2 set roomcal angle 278 163 83");
        row("step pause", "morvek2 get cal step_pause room s01",
            "morvek2 set cal step_pause room s01 yes 5");
        row("owner keeps Latin-1", "morvek2 get config owner_of_config backup_2026",
            "morvek2 set config owner_of_config backup_2026 \"M\xfcller\"");
        row("locked configuration", "morvek2 get config config_has_password service",
            "morvek2 set config config_has_password service yes");
        row("third slot", "morvek2 get config config t03", "morvek2 set config config t03 service");
        row("idle", "morvek2 get status active", "morvek2 set status active none");
        row("no error yet", "morvek2 get status err", "morvek2 set status err 0 \"No error\"");
        row("coordinate type slot", "morvek2 get roomcal available_coordinate_type t05",
            "morvek2 set roomcal available_coordinate_type t05 first_camera");
        row("write", "morvek2 set roomcal duration 45.0", "morvek2 ok");
        row("unknown parameter", "morvek2 get roomcal colour",
            "morvek2 err 2 \"Unknown parameter\"");
        row("unknown command", "morvek2 calibrate now", "morvek2 err 1 \"Unknown command\"");
        row("not a controller line", "hello", "morvek2 err 1 \"Unknown command\"");
        row("empty line", "", "morvek2 err 1 \"Unknown command\"");
        row("read with trailing value", "morvek2 get roomcal duration 5",
            "morvek2 err 2 \"Unknown parameter\"");
        row("write without value", "morvek2 set roomcal duration",
            "morvek2 err 2 \"Unknown parameter\"");
        row("read-only parameter", "morvek2 set camera number_of_cameras 3",
            "morvek2 err 6 \"Parameter is read-only\"");
        row("camera out of range", "morvek2 get camera camera c07",
            "morvek2 err 3 \"No such camera\"");
        row("camera not spelt canonically", "morvek2 get camera camera c1",
            "morvek2 err 3 \"No such camera\"");
        row("slot out of range", "morvek2 get config config t05",
            "morvek2 err 3 \"No such configuration\"");
        row("serial text only for some types", "morvek2 get camera serial_desc 0x0c03 112",
            "morvek2 err 3 \"No serial description for this camera type\"");
        row("crlf is tolerated", "morvek2 get roomcal type\r\n", "morvek2 set roomcal type wand");
    }

    void answers()
    {
        QFETCH(QString, request);
        QFETCH(QString, expected);
        SimController sim;
        QCOMPARE(sim.handle(request), expected);
    }

    void writesAreCheckedAndReadBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("readBack"); // empty: the write must be refused
        const auto row = [](const char* n, const char* v, const char* r) {
            QTest::newRow(QByteArray(n).append(' ').append(v).constData())
                << QString::fromLatin1(n) << QString::fromLatin1(v) << QString::fromLatin1(r);
        };
        row("roomcal duration", "45.0", "45");
        row("roomcal duration", "301", "");
        row("roomcal duration", "nan", "");
        row("roomcal wand_length", "204.630", "204.63");
        row("roomcal wand_length", "0", "");
        row("roomcal angle", "384.000 225.000 114.000", "384 225 114");
        row("roomcal angle", "384 225", "");
        row("roomcal angle_height", "-15.500", "-15.5");
        row("roomcal type", "wand_no_angle", "wand_no_angle");
        row("roomcal type", "laser", "");
        row("roomcal coordinate_type", "powerwall_standing", "powerwall_standing");
        row("roomcal coordinate_type", "sideways", "");
        row("roomcal fixed_camera c03", "yes", "yes");
        row("roomcal fixed_camera c01", "maybe", "");
        row("tracking extra_rotation",
            "1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 0.000000 1.000000",
            "1 0 0 0 1 0 0 0 1");
        row("tracking extra_rotation", "1 0 0 0 1 0 0 0", "");
        row("tracking extra_translation", "0.000 0.000 0.000", "0 0 0");
        row("tracking extra_scaling", "1.0000", "1");
        row("tracking extra_scaling", "-1", "");
    }

    void writesAreCheckedAndReadBack()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(QString, readBack);
        SimController sim;
        const QString before = get(sim, name);
        const QString answer = set(sim, name + QLatin1Char(' ') + value);
        if (readBack.isEmpty()) {
            QVERIFY2(isError(answer), qPrintable(answer));
            QCOMPARE(get(sim, name), before);
        } else {
            QCOMPARE(answer, Ok);
            QCOMPARE(get(sim, name), readBack);
        }
    }

    void versionGatesFollowTheReportedVersion()
    {
        SimController sim;
        QString error;
        QVERIFY2(loadShipped(sim, QStringLiteral("old-controller"), &error), qPrintable(error));
        QCOMPARE(sim.versionMajor(), 0);
        QCOMPARE(sim.versionMinor(), 11);
        for (const char* name :
             {"roomcal duration", "tracking available", "config is_changeable", "roomcal last_date",
              "tracking extra_scaling", "status camera_progress c01", "roomcal has_reference c01"})
            QVERIFY2(isError(sim.handle(QStringLiteral("morvek2 get ") + QLatin1String(name))),
                     name);
        QVERIFY(isError(set(sim, QStringLiteral("roomcal duration 30.0"))));
        QCOMPARE(get(sim, QStringLiteral("roomcal wand_length")), QStringLiteral("410"));

        // The host's override wins over the scenario, also across a reload.
        sim.setVersion(1, 18, -1);
        sim.setModelName(QStringLiteral("TESSERA"));
        QVERIFY(loadShipped(sim, QStringLiteral("default"), &error));
        QCOMPARE(sim.versionMinor(), 18);
        QCOMPARE(sim.versionPatch(), -1);
        QCOMPARE(sim.modelName(), QStringLiteral("TESSERA"));
        QCOMPARE(get(sim, QStringLiteral("roomcal has_reference c01")), QStringLiteral("yes"));
        QVERIFY(isError(sim.handle(QStringLiteral("morvek2 get roomcal angle_height"))));
    }

    void answersNeverExceedTheBuffer()
    {
        SimController sim;
        const QString longWord = QString(110, QLatin1Char('x'));
        const QByteArray json =
            QStringLiteral(
                "{\"extends\":\"default\",\"configurations\":[{\"id\":\"%1\","
                "\"description\":\"%2\",\"cameras\":100}],\"activeConfiguration\":\"%1\"}")
                .arg(longWord, QString(115, QLatin1Char('d')))
                .toLatin1();
        QString error;
        QVERIFY2(sim.loadScenarioJson(json, &error), qPrintable(error));
        const QString tooLong =
            sim.handle(QStringLiteral("morvek2 get config desc_of_config ") + longWord);
        QCOMPARE(tooLong, QStringLiteral("morvek2 err 7 \"Answer too long\""));
        QVERIFY(get(sim, QStringLiteral("tracking room c100")).split(QLatin1Char(' ')).size() == 6);

        // Whatever arrives, the answer is one protocol line that fits the host's buffer.
        const QStringList words = {QStringLiteral("morvek2"),
                                   QStringLiteral("get"),
                                   QStringLiteral("set"),
                                   QStringLiteral("config"),
                                   QStringLiteral("desc"),
                                   QStringLiteral("c100"),
                                   longWord,
                                   QString(),
                                   QStringLiteral("tracking"),
                                   QStringLiteral("room")};
        QRandomGenerator random(7);
        for (int i = 0; i < 3000; ++i) {
            QStringList request;
            const int n = random.bounded(1, 8);
            for (int w = 0; w < n; ++w)
                request.append(words[random.bounded(words.size())]);
            const QString answer = sim.handle(request.join(QLatin1Char(' ')));
            QVERIFY2(answer.size() <= 199 && answer.startsWith(QLatin1String("morvek2 ")) &&
                         !answer.contains(QLatin1Char('\n')),
                     qPrintable(request.join(QLatin1Char(' '))));
        }
    }

    void calibrationRunsWithTheClock()
    {
        SimController sim;
        useFakeClock(sim);
        QCOMPARE(set(sim, QStringLiteral("roomcal duration 40.0")), Ok);
        QVERIFY(isError(sim.handle(QStringLiteral("morvek2 get roomcal wand_residual"))));
        QCOMPARE(sim.handle(QStringLiteral("morvek2 tracking start")), Ok);
        QCOMPARE(get(sim, QStringLiteral("status active")), QStringLiteral("tracking"));
        QCOMPARE(sim.handle(QStringLiteral("morvek2 cal room start")),
                 QStringLiteral("morvek2 err 4 \"Stop tracking first\""));
        startRun(sim);
        QCOMPARE(get(sim, QStringLiteral("cal step_duration room s01")), QStringLiteral("40"));
        QCOMPARE(get(sim, QStringLiteral("cal number_of_steps room")), QStringLiteral("1"));
        QVERIFY(isError(set(sim, QStringLiteral("roomcal duration 30.0"))));
        QVERIFY(isError(set(sim, QStringLiteral("config active_config demo_area"))));

        m_now = 10000;
        QCOMPARE(get(sim, QStringLiteral("status active")), QStringLiteral("cal"));
        QCOMPARE(get(sim, QStringLiteral("status progress")), QStringLiteral("0.25"));
        QCOMPARE(get(sim, QStringLiteral("status step_progress")), QStringLiteral("1 0.25"));
        // Each camera fills at its own pace and stops at 1.
        QCOMPARE(get(sim, QStringLiteral("status camera_progress c03")), QStringLiteral("0.35"));
        m_now = 30000;
        QCOMPARE(get(sim, QStringLiteral("status camera_progress c03")), QStringLiteral("1"));
        QCOMPARE(get(sim, QStringLiteral("status camera_progress c06")), QStringLiteral("0.75"));

        m_now = 40500; // measured, still calculating
        QCOMPARE(get(sim, QStringLiteral("status active")), QStringLiteral("cal"));
        QCOMPARE(get(sim, QStringLiteral("status progress")), QStringLiteral("1"));
        m_now = 42000;
        QCOMPARE(get(sim, QStringLiteral("status active")), QStringLiteral("none"));
        QCOMPARE(get(sim, QStringLiteral("status camera_progress c01")), QStringLiteral("none"));
        QCOMPARE(get(sim, QStringLiteral("roomcal wand_residual")), QStringLiteral("0.124 0.853"));
        QCOMPARE(get(sim, QStringLiteral("roomcal cam_residual c02")),
                 QStringLiteral("0.083 0.962"));
        const QString fresh = get(sim, QStringLiteral("roomcal new c01"));
        QCOMPARE(fresh.split(QLatin1Char(' ')).size(), 6);
        QVERIFY(fresh != get(sim, QStringLiteral("tracking room c01")));
    }

    void runsStallFailOrAreCancelled_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("stop"); // command sent at 20 s, or empty
        QTest::addColumn<QString>("activeAt60s");
        QTest::addColumn<QString>("progressAt60s");
        QTest::newRow("stall") << "stall"
                               << ""
                               << "cal"
                               << "0.63";
        QTest::newRow("failure") << "failure"
                                 << ""
                                 << "err"
                                 << "0.4";
        QTest::newRow("cancel") << "default"
                                << "morvek2 cal room stop"
                                << "none"
                                << "0.6667";
    }

    void runsStallFailOrAreCancelled()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, stop);
        QFETCH(QString, activeAt60s);
        QFETCH(QString, progressAt60s);
        SimController sim;
        QString error;
        QVERIFY2(loadShipped(sim, scenario, &error), qPrintable(error));
        useFakeClock(sim);
        startRun(sim);
        m_now = 20000;
        if (!stop.isEmpty())
            QCOMPARE(sim.handle(stop), Ok);
        m_now = 60000;
        QCOMPARE(get(sim, QStringLiteral("status active")), activeAt60s);
        if (stop.isEmpty())
            QCOMPARE(get(sim, QStringLiteral("status progress")), progressAt60s);
        QVERIFY(isError(sim.handle(QStringLiteral("morvek2 get roomcal wand_residual"))));
        QVERIFY(isError(sim.handle(QStringLiteral("morvek2 roomcal accept_new_calibration"))));

        if (scenario == QLatin1String("stall")) {
            // The camera that cannot see the wand lags behind the others.
            QCOMPARE(get(sim, QStringLiteral("status camera_progress c04")),
                     QStringLiteral("0.3465"));
        } else if (scenario == QLatin1String("failure")) {
            QCOMPARE(sim.handle(QStringLiteral("morvek2 get status err")),
                     QStringLiteral("morvek2 set status err 3 \"Wand not visible\""));
            QCOMPARE(sim.handle(QStringLiteral("morvek2 tracking start")), Ok);
            QCOMPARE(get(sim, QStringLiteral("status active")), QStringLiteral("tracking"));
        }
    }

    void startIsRefusedWhenTheControllerCannot_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("answer");
        const QByteArray base = "{\"extends\":\"default\"";
        QTest::newRow("scenario refuses")
            << base + ",\"run\":{\"refuseStart\":\"Cameras are not synchronized\"}}"
            << QStringList() << "morvek2 err 4 \"Cameras are not synchronized\"";
        QTest::newRow("read-only") << base + ",\"configChangeable\":false}" << QStringList()
                                   << "morvek2 err 5 \"Configuration is not changeable\"";
        QTest::newRow("no tracking") << base + ",\"trackingAvailable\":false}" << QStringList()
                                     << "morvek2 err 4 \"Tracking is not available\"";
        QTest::newRow("too few static cameras")
            << base + "}"
            << QStringList{"morvek2 set roomcal type wand_no_angle",
                           "morvek2 set roomcal fixed_camera c02 no"}
            << "morvek2 err 4 \"Too few static cameras\"";
        QTest::newRow("already running") << base + "}" << QStringList{"morvek2 cal room start"}
                                         << "morvek2 err 4 \"Calibration already running\"";
    }

    void startIsRefusedWhenTheControllerCannot()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, before);
        QFETCH(QString, answer);
        SimController sim;
        QString error;
        QVERIFY2(sim.loadScenarioJson(json, &error), qPrintable(error));
        for (const QString& request : before)
            QCOMPARE(sim.handle(request), Ok);
        QCOMPARE(sim.handle(QStringLiteral("morvek2 cal room start")), answer);
        if (before.isEmpty())
            QCOMPARE(get(sim, QStringLiteral("status active")), QStringLiteral("none"));
    }

    void acceptAdoptsAndANewStartDiscards()
    {
        SimController sim;
        useFakeClock(sim);
        const QString old1 = get(sim, QStringLiteral("tracking room c01"));

        startRun(sim);
        m_now = 40000;
        const QString new1 = get(sim, QStringLiteral("roomcal new c01"));
        // Not accepted: the next run throws the result away and the room stays as it was.
        m_now = 50000;
        QCOMPARE(sim.handle(QStringLiteral("morvek2 cal room start")), Ok);
        QVERIFY(isError(sim.handle(QStringLiteral("morvek2 roomcal accept_new_calibration"))));
        QCOMPARE(get(sim, QStringLiteral("tracking room c01")), old1);

        m_now = 90000;
        QCOMPARE(get(sim, QStringLiteral("roomcal new c01")), new1);
        QCOMPARE(sim.handle(QStringLiteral("morvek2 roomcal accept_new_calibration")), Ok);
        QCOMPARE(get(sim, QStringLiteral("tracking room c01")), new1);
        QCOMPARE(QStringLiteral("morvek2 set tracking room c06 ") + get(sim, "roomcal new c06"),
                 sim.handle(QStringLiteral("morvek2 get tracking room c06")));
        const QString date = get(sim, QStringLiteral("roomcal last_date"));
        QVERIFY2(QRegularExpression(QStringLiteral("^'\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d'$"))
                     .match(date)
                     .hasMatch(),
                 qPrintable(date));
        QVERIFY(date != QLatin1String("'2026-12-05 10:20:30'"));
        // Accepting twice is not possible; the other configurations kept their rooms.
        QVERIFY(isError(sim.handle(QStringLiteral("morvek2 roomcal accept_new_calibration"))));
        QCOMPARE(set(sim, QStringLiteral("config active_config demo_area")), Ok);
        QVERIFY(get(sim, QStringLiteral("tracking room c01")) != new1);
    }

    void configurationsSwitchAndTakeRoomsBack()
    {
        SimController sim;
        QString error;
        QVERIFY(loadShipped(sim, QStringLiteral("transfer-mismatch"), &error));
        QCOMPARE(get(sim, QStringLiteral("config number_of_configs")), QStringLiteral("4"));
        QCOMPARE(get(sim, QStringLiteral("config desc")), QStringLiteral("\"Main lab\""));
        QStringList snapshot;
        for (int c = 1; c <= 6; ++c)
            snapshot.append(sim.handle(
                QStringLiteral("morvek2 get tracking room c%1").arg(c, 2, 10, QLatin1Char('0'))));

        QCOMPARE(set(sim, QStringLiteral("config active_config demo_area")), Ok);
        QCOMPARE(get(sim, QStringLiteral("config active_config")), QStringLiteral("demo_area"));
        QCOMPARE(get(sim, QStringLiteral("config desc")), QStringLiteral("\"Demo area\""));
        QVERIFY(sim.handle(QStringLiteral("morvek2 get tracking room c01")) != snapshot[0]);
        for (const QString& line : snapshot)
            QCOMPARE(sim.handle(line), Ok);
        QCOMPARE(sim.handle(QStringLiteral("morvek2 get tracking room c01")), snapshot[0]);
        QCOMPARE(sim.handle(QStringLiteral("morvek2 get tracking room c06")), snapshot[5]);

        QCOMPARE(set(sim, QStringLiteral("config active_config small_room")), Ok);
        QCOMPARE(get(sim, QStringLiteral("camera number_of_cameras")), QStringLiteral("4"));
        QVERIFY(isError(sim.handle(snapshot[5])));
        QVERIFY(isError(set(sim, QStringLiteral("tracking room c01 1 2 3"))));
        QVERIFY(isError(set(sim, QStringLiteral("config active_config nowhere"))));
        QCOMPARE(get(sim, QStringLiteral("config active_config")), QStringLiteral("small_room"));

        QVERIFY(loadShipped(sim, QStringLiteral("switch-failure"), &error));
        QCOMPARE(set(sim, QStringLiteral("config active_config demo_area")),
                 QStringLiteral("morvek2 err 4 \"Cannot activate configuration\""));
        QCOMPARE(get(sim, QStringLiteral("config active_config")), QStringLiteral("lab_main"));

        QVERIFY(loadShipped(sim, QStringLiteral("no-room-calibration"), &error));
        QCOMPARE(sim.handle(QStringLiteral("morvek2 get tracking room c02")),
                 QStringLiteral("morvek2 set tracking room c02 none"));
        QCOMPARE(get(sim, QStringLiteral("roomcal last_date")), QStringLiteral("none"));
    }

    void stateFileSurvivesARestart()
    {
        QTemporaryDir dir;
        const QString scenario = dir.filePath(QStringLiteral("lab.json"));
        QVERIFY(QFile::copy(sourceDir() + "/sim/scenarios/transfer-mismatch.json", scenario));
        const QString statePath = SimController::stateFilePath(scenario);
        QCOMPARE(statePath, dir.filePath(QStringLiteral("lab.state.json")));

        QString error;
        {
            SimController sim;
            QVERIFY2(sim.loadScenario(scenario, &error), qPrintable(error));
            QVERIFY(!QFile::exists(statePath));
            QCOMPARE(set(sim, QStringLiteral("tracking room c02 1 2 3 4 5 6")), Ok);
            QCOMPARE(set(sim, QStringLiteral("tracking extra_scaling 1.0000")), Ok);
            QCOMPARE(set(sim, QStringLiteral("config active_config small_room")), Ok);

            // The state is replaced, never rewritten in place: a hard link to the old file
            // keeps the old content, and no temporary file stays behind.
            const QString link = dir.filePath(QStringLiteral("old-state"));
            QVERIFY(::link(QFile::encodeName(statePath).constData(),
                           QFile::encodeName(link).constData()) == 0);
            const QByteArray before = readFile(statePath);
            QCOMPARE(set(sim, QStringLiteral("tracking room c04 7 8 9 10 11 12")), Ok);
            QCOMPARE(readFile(link), before);
            QVERIFY(readFile(statePath) != before);
            QFile::remove(link);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
        }
        SimController restarted;
        QVERIFY2(restarted.loadScenario(scenario, &error), qPrintable(error));
        QCOMPARE(get(restarted, QStringLiteral("config active_config")),
                 QStringLiteral("small_room"));
        QCOMPARE(get(restarted, QStringLiteral("tracking room c04")),
                 QStringLiteral("7 8 9 10 11 12"));
        QCOMPARE(get(restarted, QStringLiteral("tracking extra_scaling")), QStringLiteral("1"));
        QCOMPARE(set(restarted, QStringLiteral("config active_config lab_main")), Ok);
        QCOMPARE(get(restarted, QStringLiteral("tracking room c02")),
                 QStringLiteral("1 2 3 4 5 6"));

        // A damaged state file stops the load with a message naming it, and is left alone.
        QFile damaged(statePath);
        QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
        damaged.write("{\"configurations\": [ {\"id\": \"x\", \"rooms\": [\"1 2\"]} ]}");
        damaged.close();
        SimController third;
        QVERIFY(!third.loadScenario(scenario, &error));
        QVERIFY2(error.contains(statePath) && error.contains(QLatin1String("rooms[0]")),
                 qPrintable(error));
        QCOMPARE(get(third, QStringLiteral("config active_config")), QStringLiteral("lab_main"));
    }

    void brokenScenariosAreRejected_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("where");
        QTest::newRow("not json") << QByteArray("{\"controller\":") << "offset";
        QTest::newRow("version")
            << QByteArray("{\"extends\":\"default\",\"controller\":{\"version\":\"1.2\"}}")
            << "controller.version";
        QTest::newRow("quote in text")
            << QByteArray("{\"extends\":\"default\",\"configurations\":[{\"id\":\"a\","
                          "\"description\":\"say \\\"hi\\\"\"}],\"activeConfiguration\":\"a\"}")
            << "configurations[0].description";
        QTest::newRow("blank in id")
            << QByteArray("{\"extends\":\"default\",\"activeConfiguration\":\"lab main\"}")
            << "activeConfiguration";
        QTest::newRow("unknown active")
            << QByteArray("{\"extends\":\"default\",\"activeConfiguration\":\"lab\"}")
            << "activeConfiguration";
        QTest::newRow("duplicate id")
            << QByteArray("{\"extends\":\"default\",\"configurations\":[{\"id\":\"a\"},"
                          "{\"id\":\"a\"}],\"activeConfiguration\":\"a\"}")
            << "configurations[1]";
        QTest::newRow("room fields")
            << QByteArray("{\"extends\":\"default\",\"configurations\":[{\"id\":\"a\","
                          "\"rooms\":[\"1 2 3 4 5\"]}],\"activeConfiguration\":\"a\"}")
            << "configurations[0].rooms[0]";
        QTest::newRow("model missing")
            << QByteArray("{\"extends\":\"default\",\"cameras\":[{\"type\":\"0x0e01\","
                          "\"serial\":\"1\"}]}")
            << "cameras[0]";
        QTest::newRow("missing base")
            << QByteArray("{\"extends\":\"nowhere.json\"}") << "nowhere.json";
        QTest::newRow("misspelt key")
            << QByteArray("{\"extends\":\"default\",\"run\":{\"stallAt\":40}}") << "run.stallAt";
        QTest::newRow("angle list")
            << QByteArray("{\"extends\":\"default\",\"roomcal\":{\"angle\":[1,2]}}")
            << "roomcal.angle";
    }

    void brokenScenariosAreRejected()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, where);
        SimController sim;
        QCOMPARE(set(sim, QStringLiteral("roomcal duration 60.0")), Ok);
        QString error;
        QVERIFY(!sim.loadScenarioJson(json, &error));
        QVERIFY2(error.contains(where), qPrintable(error));
        // A failed load keeps the controller as it was.
        QCOMPARE(get(sim, QStringLiteral("roomcal duration")), QStringLiteral("60"));
    }

    void shippedScenariosLoad()
    {
        const QDir dir(sourceDir() + QStringLiteral("/sim/scenarios"));
        const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files);
        QVERIFY(files.contains(QStringLiteral("default.json")));
        QVERIFY(files.size() >= 10);
        for (const QString& file : files) {
            SimController sim;
            QString error;
            QVERIFY2(sim.loadScenario(dir.filePath(file), &error), qPrintable(error));
            QVERIFY2(sim.handle(QStringLiteral("morvek2 get camera number_of_cameras"))
                         .startsWith(QLatin1String("morvek2 set")),
                     qPrintable(file));
        }
        // The built-in controller is the default file.
        SimController builtIn;
        SimController fromFile;
        QString error;
        QVERIFY(fromFile.loadScenario(dir.filePath(QStringLiteral("default.json")), &error));
        for (const char* name : {"config number_of_configs", "tracking extra_rotation",
                                 "camera camera c05", "roomcal coordinate_type"})
            QCOMPARE(get(builtIn, QLatin1String(name)), get(fromFile, QLatin1String(name)));
        QCOMPARE(builtIn.versionMinor(), 23);
        QCOMPARE(builtIn.modelName(), QStringLiteral("TESSERA2"));

        SimController many;
        QVERIFY(many.loadScenario(dir.filePath(QStringLiteral("many-cameras.json")), &error));
        QCOMPARE(get(many, QStringLiteral("camera number_of_cameras")), QStringLiteral("100"));
        QCOMPARE(get(many, QStringLiteral("camera model_desc ") +
                               get(many, QStringLiteral("camera camera c100")).section(' ', 0, 0)),
                 QStringLiteral("\"MV-Owl\""));
    }
};

ROOMCAL_TEST_MAIN(TestSimController)
#include "tst_simcontroller.moc"
