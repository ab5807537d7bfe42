// Every workflow with distorted controller answers, random operator actions and monitor messages.
// Passing: no crash, sanitizer report, hang or modal window left open, a record only appended to,
// bounded exchanges, and rules that hold whatever the controller says. ROOMCAL_CHAOS_SEED replays.

#include "dialog/RoomCalibrationDialog.h"
#include "kit/FakeIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "progress/CalibrationProgressDlg.h"
#include "result/RoomCalibrationResultDlg.h"
#include "sim/BundledScenarios.h"
#include "sim/SimController.h"
#include "transfer/RoomcalPortDlg.h"

#include <QtTest>
#include <climits>
#include <random>

Q_DECLARE_METATYPE(BackendVersions)

namespace {
// Far more than any workflow needs against a controller that answers at all; more means a loop
// that does not end on nonsense.
constexpr int MaxExchanges = 20000, Iterations = 100;

QByteArray recordFile()
{
    QFile file(QDir::homePath() + "/.OLV/MORVEK3/roomcal_out.txt");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int draw(std::mt19937& random, int low, int high)
{
    return std::uniform_int_distribution<>(low, high)(random);
}
bool chance(std::mt19937& random, double p)
{
    return std::uniform_real_distribution<>(0, 1)(random) < p;
}
QString pick(std::mt19937& random, const QStringList& choices)
{
    return choices.at(draw(random, 0, choices.size() - 1));
}
} // namespace

// The test is the controller (mostly the simulator's answers, so that workflows get deep, the rest
// what a broken one sends) and the operator, both at random but reproducibly.
class TestChaos : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsSet("ROOMCAL_CHAOS_SEED"))
            m_seed = qgetenv("ROOMCAL_CHAOS_SEED").toUInt();
        qInfo("chaos seed %u", m_seed);
        // The offscreen platform warns about every fixed-size window, burying what matters.
        static QtMessageHandler next = nullptr;
        next =
            qInstallMessageHandler([](QtMsgType t, const QMessageLogContext& c, const QString& m) {
                if (!m.contains("propagateSizeHints"))
                    next(t, c, m);
            });
        m_io.setHandler([this](const QString& op, const QString& text) { return reply(op, text); });
        connect(&m_timer, &QTimer::timeout, this, &TestChaos::poll);
        // One controller per bundled scenario, each living on from iteration to iteration.
        for (const QString& name : QDir(BundledScenarios::directory()).entryList({"*.json"})) {
            QString error;
            m_sims.push_back(std::make_unique<SimController>());
            QVERIFY2(m_sims.back()->loadScenario(BundledScenarios::find(name, &error), &error),
                     qPrintable(error));
            m_sims.back()->setClock([this] { return m_clock; });
        }
        QVERIFY(!m_sims.empty());

        QVERIFY(m_home.isValid() && QDir(m_home.path()).mkpath(".OLV/MORVEK3"));
        qputenv("HOME", m_home.path().toLocal8Bit());
        QFile record(m_home.path() + "/.OLV/MORVEK3/roomcal_out.txt");
        // Earlier calibrations, with bytes that a careless rewrite would re-encode.
        QVERIFY(record.open(QIODevice::WriteOnly));
        record.write(
            "# Roomcalibration  created Mon Jan 1 00:00:00 2024\n# \xe4\xf6\xfc 100% %s\n");
    }

    void cleanup()
    {
        m_timer.stop();
        ModalDriver::closeAllModals();
    }

    // The first word of a row names the workflow, the rest the variant.
    void workflows_data()
    {
        QTest::addColumn<BackendVersions>("versions");
        // Opening the dialog and every input, on controllers with and without each feature.
        QTest::newRow("open 0.11 without duration") << BackendVersions{0, 11, 0, "VANTA"};
        QTest::newRow("open 0.16 short kit table") << BackendVersions{0, 16, 0, "TESSERA"};
        QTest::newRow("open 1.9 read-only possible") << BackendVersions{1, 9, 0, "TESSERA3"};
        QTest::newRow("open 2.0 no model") << BackendVersions{2, 0, 0, ""};
        // Runs that complete, fail or are cancelled, with the monitor messages in between.
        QTest::newRow("run 1.3 without tiles") << BackendVersions{1, 3, 0, "VANTA"};
        QTest::newRow("run 1.23 reflex_scan") << BackendVersions{1, 23, 0, "VANTA"};
        QTest::newRow("run 1.23 step-wise") << BackendVersions{1, 23, 0, "VANTA"};
        QTest::newRow("review 0.16 re-calibration") << BackendVersions{0, 16, 0, "VANTA"};
        // The whole Calibrate workflow, nested dialogs, transfer and record file included.
        QTest::newRow("calibrate 0.17 TESSERA") << BackendVersions{0, 17, 0, "TESSERA"};
        QTest::newRow("calibrate 1.23 TESSERA3") << BackendVersions{1, 23, 0, "TESSERA3"};
        QTest::newRow("transfer") << BackendVersions{1, 23, 0, "VANTA"};
    }

    void workflows()
    {
        QFETCH(BackendVersions, versions);
        const QString variant = QTest::currentDataTag(), workflow = variant.section(' ', 0, 0);
        m_calibrate = workflow == "calibrate";
        // The deeper a workflow, the likelier it must get through each exchange.
        m_plausibleWeight = m_calibrate || workflow == "transfer" ? 300 : 62;
        m_timer.start(0);
        for (const auto& sim : m_sims) {
            sim->setVersion(versions.versionMajor, versions.versionMinor, versions.versionPatch);
            sim->setModelName(versions.modelName);
        }
        QWidget host;
        RoomCalibrationDialog dialog(&m_io, &host, &versions);
        CalibrationProgressDlg progress(&m_io, nullptr, &versions, variant.endsWith("step-wise"));
        QTimer* update = nullptr;
        // Polls as fast as the test can follow; the run logic does not depend on the interval.
        for (CalibrationProgressDlg* p : {dialog.progressDialog(), &progress}) {
            p->findChild<QTimer*>("warningTimer")->setInterval(15);
            (update = p->findChild<QTimer*>("updateTimer"))->setInterval(0);
        }
        int completed = 0;
        QByteArray record = recordFile();
        for (int i = 0; i < Iterations; ++i) {
            const QString where = QString("%1, iteration %2; replay with ROOMCAL_CHAOS_SEED=%3")
                                      .arg(variant)
                                      .arg(i)
                                      .arg(m_seed);
            const quint32 seed = qHash(where, m_seed);
            m_controller.seed(seed);
            m_random.seed(seed ^ 0x9e3779b9u);
            m_sim = m_sims.at(size_t(uniform(0, int(m_sims.size()) - 1))).get();
            m_io.clearCalls();
            m_problems.clear();
            m_lastStatus = m_startConfig = m_lastSwitch = m_previous = QString();
            int result = 0;
            if (workflow == "run") {
                result =
                    progress.run_calibration(variant.endsWith("scan") ? "reflex_scan" : "room");
                const int afterRun = m_io.calls.size();
                // Only the controller's "none" completes a run, never a cancel or an error.
                if (result != 0 && (result != 1 || m_lastStatus != "none"))
                    m_problems << QString("ended %1 after \"%2\"").arg(result).arg(m_lastStatus);
                // A closed dialog polls no more.
                QTest::qWait(3);
                if (m_io.calls.size() != afterRun || update->isActive())
                    m_problems << "polling went on after the run";
            } else if (workflow == "review") {
                result = RoomCalibrationResultDlg(&m_io, &host, &versions, variant.contains("re-"))
                             .update_and_exec();
            } else if (workflow == "transfer") {
                RoomcalPortDlg(&host, &m_io).fill_and_exec();
            } else {
                result = dialog.update_and_exec();
                // Accepting, and only accepting, appends a record and closes the dialog so.
                const bool accepted = m_io.logLines.contains("calibration accepted");
                if (accepted != (recordFile().size() > record.size()) ||
                    accepted != (result == QDialog::Accepted))
                    m_problems
                        << QString("result %1 after %2").arg(result).arg(m_io.logLines.join(','));
            }
            completed += result == 1;
            checkSwitchedBack();
            // Earlier calibrations stay as they were, whatever the workflow.
            const QByteArray after = recordFile();
            if (!after.startsWith(record))
                m_problems << "record file rewritten";
            record = after;
            if (QWidget* w = QApplication::activeModalWidget())
                m_problems << "modal window left open: " + w->objectName();
            if (m_io.calls.size() > MaxExchanges)
                m_problems << QString("%1 exchanges").arg(m_io.calls.size());
            QVERIFY2(m_problems.isEmpty(), qPrintable(where + ":\n" + m_problems.join('\n')));
        }
        qInfo("%d of %d iterations ended with 1", completed, Iterations);
        progress.detach_receiver();
        dialog.progressDialog()->detach_receiver();
        QVERIFY(m_io.receivers.isEmpty());
    }

private:
    int uniform(int low, int high) { return draw(m_controller, low, high); }

    QByteArray randomBytes(int minLength, int maxLength)
    {
        QByteArray bytes(uniform(minLength, maxLength), Qt::Uninitialized);
        for (char& c : bytes)
            c = char(uniform(1, 255));
        return bytes;
    }

    // A failure (buffer left alone or filled with rubbish) weighs 8, nonsense 28, a plausible
    // answer m_plausibleWeight; what the module sends is watched on the way.
    std::optional<FakeIOManager::Reply> reply(const QString& op, const QString& text)
    {
        // The controller acts on a request even when its answer is lost on the way.
        m_clock += uniform(0, 1500);
        const std::optional<QString> sensible = plausible(op, text);
        const int weight = uniform(0, m_plausibleWeight + 35) - m_plausibleWeight;
        const int failure = std::vector<int>{-1, 1, 2, -42, INT_MIN, INT_MAX}[uniform(0, 5)];
        const int result = !sensible || (weight >= 0 && weight < 8) ? failure : 0;
        const QByteArray answer =
            result != 0  ? (chance(m_controller, 0.5) ? randomBytes(0, 300) : QByteArray())
            : weight < 0 ? sensible->toLatin1()
                         : distorted(sensible->toLatin1());
        const QString exchange = op + ' ' + text;
        if (exchange.startsWith("setParameter config active_config ")) {
            // A switch can take the controller long; the host is told just before each.
            if (m_previous != "setChannelOption 0 20000 0")
                m_problems << "switch without channel option: " + exchange;
            m_lastSwitch = text.section(' ', 2);
        } else if (exchange == "getString config active_config" && result == 0) {
            checkSwitchedBack();
            m_startConfig = QString::fromLatin1(answer);
        } else if (text == "status active" || text == "status step_active") {
            m_lastStatus = result == 0 ? QString::fromLatin1(answer) : QString();
        } else if (text.startsWith("morvek2 cal ") && text.endsWith(" start")) {
            // Otherwise late, when a stalled run has kept the operator waiting.
            m_cancelAfter = chance(m_random, m_calibrate ? 0.3 : 0.65) ? draw(m_random, 0, 30)
                                                                       : draw(m_random, 150, 300);
        }
        m_previous = exchange;
        return FakeIOManager::Reply{result, QString::fromLatin1(answer)};
    }

    // The simulator's answer as a host hands it on, nothing when it refuses. It knows one-step room
    // runs only: other types are asked as such, and now and then a second step is made up.
    std::optional<QString> plausible(const QString& op, const QString& text)
    {
        const QString request = QString(text).replace("reflex_scan", "room");
        if (op == "sendCommand")
            return m_sim->handle(request).replace(
                " room ", text.contains("reflex") ? " reflex_scan " : " room ");
        const QString echo = "morvek2 set " + request;
        if (op == "setParameter")
            return m_sim->handle(echo) == "morvek2 ok" ? std::make_optional(QString())
                                                       : std::nullopt;
        if (!op.startsWith("get"))
            return QString();
        const QString answer = m_sim->handle("morvek2 get " + request) + ' ';
        if (answer == echo + " 1 " && request.startsWith("cal number_of_steps"))
            return pick(m_controller, {"1", "1", "2"});
        if (answer == echo + " cal 1 " && request == "status step_active")
            return pick(m_controller, {"cal 1", "cal 1", "cal 2", "pause 1"});
        return answer.startsWith(echo + ' ')
                   ? std::make_optional(answer.mid(echo.size() + 1).chopped(1))
                   : std::nullopt;
    }

    // What a broken controller makes of an answer: nothing, too much, too little, odd blanks,
    // rubbish, or a word replaced by a non-number, a directive, a non-finite or extreme number.
    QByteArray distorted(QByteArray text)
    {
        static const QByteArrayList odd = {
            "yes", "-1",         "none",        "1e5",      "abc",  "1.2.3",  "0x",
            "0,5", "%s%n%x",     "\"%s\"",      "\"",       "'%n'", "\"open", "%1 %%",
            "nan", "inf",        "-inf",        "1e999",    "NaN",  "-5",     "0",
            "250", "2147483647", "-2147483648", "4.9e-324", "-0"};
        QByteArrayList words = text.split(' ');
        const QByteArray word = odd.at(uniform(0, odd.size() - 1));
        switch (uniform(0, 6)) {
        case 0:
            return QByteArray();
        case 1:
            return (text + " x ")
                .repeated(IOManager::AnswerBufferSize)
                .left(IOManager::AnswerBufferSize - 1);
        case 2:
            return words.mid(0, uniform(0, words.size() - 1)).join(' ');
        case 3:
            return ' ' + text.replace(" ", "  ") + ' ';
        case 4:
            return randomBytes(1, IOManager::AnswerBufferSize - 1);
        case 5: // a number alone, as extreme as the counts a broken controller gives
            return odd.at(uniform(odd.size() - 8, odd.size() - 1));
        default:
            words[uniform(0, words.size() - 1)] = word;
            return words.join(' ') + (chance(m_controller, 0.5) ? QByteArray() : ' ' + word);
        }
    }

    // A transfer ends on the configuration that was active when it began.
    void checkSwitchedBack()
    {
        if (!m_lastSwitch.isNull() && m_lastSwitch != m_startConfig)
            m_problems << "transfer left " + m_lastSwitch + " instead of " + m_startConfig;
        m_lastSwitch = QString();
    }

    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        // A monitor message of either kind, in wrong case or of another kind, with any payload.
        if (chance(m_random, w && w->objectName() == "CalibrationProgressDialog" ? 0.2 : 0.01)) {
            const QByteArray payloads[] = {
                ' ' + QByteArray::number(uniform(-1, 5)) + " 3,2,1,0,7,x,,-1,99999999999",
                ' ' + QByteArray::number(uniform(0, 8)) + ',' + QByteArray::number(uniform(0, 8)),
                QByteArray(), " 2147483647 -2147483648,0", randomBytes(0, 300)};
            m_io.deliver(pick(m_controller, {"Monitor2dTabChanged", "Monitor2dMostActive",
                                             "monitor2dtabchanged", "", "Other"})
                             .toLatin1() +
                         payloads[uniform(0, 4)]);
        }
        if (!w || m_scheduled || m_busy.contains(w))
            return;
        // From a fresh timer, so that a window the action opens does not stop the polling.
        m_scheduled = true;
        QTimer::singleShot(0, this, [this, target = QPointer<QWidget>(w)] {
            m_scheduled = false;
            // A window that closed on its own meanwhile takes no clicks.
            if (!target || QApplication::activeModalWidget() != target)
                return;
            m_busy.insert(target);
            act(qobject_cast<QDialog*>(target));
            m_busy.remove(target);
        });
    }

    // Closes the window now and then, otherwise works one reachable input; a run waits for its
    // drawn cancel, and Calibrate and Advanced are favoured only where the workflow wants them.
    void act(QDialog* dialog)
    {
        if (dialog->objectName() == "CalibrationProgressDialog" && m_cancelAfter-- != 0)
            return;
        if (dialog->objectName() == "RoomcalPortDlgClass" && chance(m_random, 0.1))
            // The warning for an empty selection, which the button state hides.
            return void(QMetaObject::invokeMethod(dialog, "on_pushButton_apply_clicked"));
        // Exit buttons count among the ways to close, which come one time in ten.
        QWidgetList inputs, exits;
        for (QWidget* input : dialog->findChildren<QWidget*>()) {
            const QString name = input->objectName();
            const bool deep = name == "pb_calibrate" || name == "pushButton_advanced";
            if (!input->isVisible() || !input->isEnabled())
                continue;
            if (name.endsWith("exit"))
                exits << input;
            else if (input->inherits("QAbstractButton") || input->inherits("QDoubleSpinBox") ||
                     input->inherits("QComboBox") || input->inherits("QTableWidget"))
                for (int copies = deep ? 4 * m_calibrate : 1; copies > 0; --copies)
                    inputs << input;
        }
        QWidget* input = chance(m_random, 0.1)
                             ? nullptr
                             : inputs.value(draw(m_random, 0, qMax(0, inputs.size() - 1)));
        if (!input) {
            const int way = draw(m_random, exits.isEmpty(), 3);
            way == 0   ? static_cast<QAbstractButton*>(exits[0])->click()
            : way == 1 ? QTest::keyClick(dialog, Qt::Key_Escape)
            : way == 2 ? void(dialog->close())
                       : dialog->reject();
        } else if (auto* box = qobject_cast<QDoubleSpinBox*>(input)) {
            const double low = box->minimum(), high = box->maximum();
            box->setValue(low + (high - low) * draw(m_random, -1, 10) / 9);
        } else if (auto* combo = qobject_cast<QComboBox*>(input)) {
            // With the focus a new row is the user's choice and applies a kit; without it the
            // change is the program's own.
            QApplication::setActiveWindow(dialog);
            chance(m_random, 0.5) ? combo->setFocus() : combo->clearFocus();
            combo->setCurrentIndex(draw(m_random, -1, combo->count() - 1));
        } else if (auto* table = qobject_cast<QTableWidget*>(input)) {
            // Only the boxes a user can toggle, as a click does.
            QList<QTableWidgetItem*> boxes;
            for (int row = 0; row < table->rowCount(); ++row)
                for (int column = 0; column < table->columnCount(); ++column)
                    if (QTableWidgetItem* item = table->item(row, column);
                        item && item->flags() & Qt::ItemIsUserCheckable)
                        boxes << item;
            if (QTableWidgetItem* item =
                    boxes.value(draw(m_random, 0, qMax(0, boxes.size() - 1)))) {
                item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked
                                                                      : Qt::Checked);
                emit table->cellClicked(item->row(), item->column());
            }
        } else {
            static_cast<QAbstractButton*>(input)->click();
        }
    }

    FakeIOManager m_io;
    std::mt19937 m_random, m_controller;
    QTimer m_timer;
    QSet<QWidget*> m_busy;
    QStringList m_problems;
    QString m_lastStatus, m_startConfig, m_lastSwitch, m_previous;
    bool m_calibrate = false, m_scheduled = false;
    int m_cancelAfter = -1, m_plausibleWeight = 62;
    quint32 m_seed = 20240611;
    QTemporaryDir m_home;
    std::vector<std::unique_ptr<SimController>> m_sims;
    SimController* m_sim = nullptr;
    qint64 m_clock = 0;
};

ROOMCAL_TEST_MAIN(TestChaos)
#include "tst_chaos.moc"
