// Every workflow against a controller that answers at random, driven by an operator who acts at
// random on whatever modal window is up, with monitor messages arriving at random. Passing
// means: no crash, no sanitizer report, no hang, no modal window left open, the record file
// only ever appended to, and a few rules that hold whatever the controller says.
// ROOMCAL_CHAOS_SEED replays a run ("random" draws a seed); ROOMCAL_CHAOS_ITERATIONS sets the
// iterations per data row (default 25).

#include "dialog/RoomCalibrationDialog.h"
#include "kit/ChaosIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "plugin/BackendVersions.h"
#include "progress/CalibrationProgressDlg.h"
#include "result/RoomCalibrationResultDlg.h"
#include "transfer/RoomcalPortDlg.h"

#include <QtTest>
#include <csignal>
#include <cstring>
#include <unistd.h>

Q_DECLARE_METATYPE(BackendVersions)

namespace {
// An iteration that makes no progress for this long, even inside the module's own loops, aborts
// the process; so does a crash. Either prints where it happened and the seed that replays it.
constexpr unsigned HangSeconds = 60;
char g_context[256] = "chaos: crash or hang in set-up\n";
struct sigaction g_previous[NSIG];

void onFatalSignal(int signal)
{
    const bool written = ::write(STDERR_FILENO, g_context, std::strlen(g_context)) >= 0;
    Q_UNUSED(written);
    const int rethrown = signal == SIGALRM ? SIGABRT : signal;
    sigaction(rethrown, &g_previous[rethrown], nullptr);
    raise(rethrown);
}

// The offscreen platform warns about every fixed-size window; thousands of those would bury
// anything that matters.
QtMessageHandler g_kitHandler = nullptr;
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!message.contains("propagateSizeHints"))
        g_kitHandler(type, context, message);
}

QByteArray recordFile()
{
    QFile file(QDir::homePath() + "/.OLV/MORVEK3/roomcal_out.txt");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

// The test is also the operator: it answers whatever modal window is up, at random but never
// blocking, and watches every exchange for the rules the module must keep.
class TestChaos : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QByteArray seed = qgetenv("ROOMCAL_CHAOS_SEED");
        if (!seed.isEmpty())
            m_seed = seed == "random" ? std::random_device()() : seed.toUInt();
        if (qEnvironmentVariableIsSet("ROOMCAL_CHAOS_ITERATIONS"))
            m_iterations = qMax(1, qEnvironmentVariableIntValue("ROOMCAL_CHAOS_ITERATIONS"));
        qInfo("chaos seed %u, %d iterations per data row", m_seed, m_iterations);
        struct sigaction action = {};
        action.sa_handler = onFatalSignal;
        for (int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGALRM})
            sigaction(signal, &action, &g_previous[signal]);
        g_kitHandler = qInstallMessageHandler(quietHandler);
        m_io.setObserver([this](const auto&... exchange) { observe(exchange...); });
        connect(&m_timer, &QTimer::timeout, this, &TestChaos::poll);

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
        alarm(0);
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
        QTest::newRow("open 1.23 pre-release") << BackendVersions{1, 23, -1, "TESSERA"};
        QTest::newRow("open 2.0 no model") << BackendVersions{2, 0, 0, ""};
        // Runs that complete, fail or are cancelled, with the monitor messages in between.
        QTest::newRow("run 1.3 without tiles") << BackendVersions{1, 3, 0, "VANTA"};
        QTest::newRow("run 1.11 with tiles") << BackendVersions{1, 11, 0, "VANTA"};
        QTest::newRow("run 1.23 reflex_scan") << BackendVersions{1, 23, 0, "VANTA"};
        QTest::newRow("run 1.23 step-wise") << BackendVersions{1, 23, 0, "VANTA"};
        QTest::newRow("review 0.15 without adjustment") << BackendVersions{0, 15, 0, "VANTA"};
        QTest::newRow("review 0.16 re-calibration") << BackendVersions{0, 16, 0, "VANTA"};
        // The whole Calibrate workflow, nested dialogs, transfer and record file included.
        QTest::newRow("calibrate 0.17 TESSERA") << BackendVersions{0, 17, 0, "TESSERA"};
        QTest::newRow("calibrate 1.11 VANTA") << BackendVersions{1, 11, 0, "VANTA"};
        QTest::newRow("calibrate 1.23 TESSERA3") << BackendVersions{1, 23, 0, "TESSERA3"};
        QTest::newRow("transfer") << BackendVersions{1, 23, 0, "VANTA"};
    }

    void workflows()
    {
        QFETCH(BackendVersions, versions);
        const QString variant = QTest::currentDataTag(), workflow = variant.section(' ', 0, 0);
        m_calibrate = workflow == "calibrate";
        // The deeper a workflow, the likelier it must get through each exchange.
        m_io.setPlausibleWeight(m_calibrate || workflow == "transfer" ? 300 : 62);
        m_timer.start(0);
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
        for (int i = 0; i < m_iterations; ++i) {
            arm(QString("%1, iteration %2").arg(variant).arg(i));
            const quint32 seed = qHash(m_where, m_seed);
            m_io.reseed(seed);
            m_io.clearCalls();
            m_random.seed(seed ^ 0x9e3779b9u);
            m_problems.clear();
            m_lastStatus = m_startConfig = m_lastSwitch = m_previous = QString();
            dialog.setProperty("actionsLeft", QVariant());
            int result = 0;
            if (workflow == "run") {
                result =
                    progress.run_calibration(variant.endsWith("scan") ? "reflex_scan" : "room");
                const qint64 afterRun = m_io.exchanges();
                // Only the controller's "none" completes a run, never a cancel or an error.
                if (result != 0 && (result != 1 || m_lastStatus != "none"))
                    m_problems << QString("ended %1 after \"%2\"").arg(result).arg(m_lastStatus);
                // A closed dialog polls no more.
                QTest::qWait(3);
                if (m_io.exchanges() != afterRun || update->isActive())
                    m_problems << "polling went on after the run";
            } else if (workflow == "review") {
                RoomCalibrationResultDlg review(&m_io, &host, &versions,
                                                variant.contains("re-cal"));
                result = review.update_and_exec();
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
            QVERIFY2(m_problems.isEmpty(),
                     qPrintable(m_where + ":\n" + (m_problems + m_io.recent()).join('\n')));
        }
        qInfo("%d of %d iterations ended with 1", completed, m_iterations);
        progress.detach_receiver();
        dialog.progressDialog()->detach_receiver();
        QVERIFY(m_io.receivers.isEmpty());
    }

    void hugeCounts_data()
    {
        QTest::addColumn<QString>("count");
        QTest::newRow("configurations") << "config number_of_configs";
        QTest::newRow("snapshot cameras") << "camera number_of_cameras";
        QTest::newRow("coordinate types") << "roomcal number_of_available_coordinate_types";
    }

    // A count of INT_MAX and every other answer sensible: the dialogs still open and close, in
    // bounded time and memory.
    void hugeCounts()
    {
        QFETCH(QString, count);
        arm("huge count " + count);
        FakeIOManager io;
        io.setHandler([&](const QString& op, const QString& text) {
            const QString room = "morvek2 set tracking room " + text.section(' ', 4) + " 1 0 0";
            return FakeIOManager::Reply{0, text == count    ? QString::number(INT_MAX)
                                           : op == "getInt" ? "3"
                                           : text.startsWith("morvek2 get track") ? room
                                                                                  : "no"};
        });
        BackendVersions versions{1, 23, 0, "VANTA"};
        const bool transfer = count != "roomcal number_of_available_coordinate_types";
        ModalDriver driver(20000);
        driver.on(transfer ? "RoomcalPortDlgClass" : "roomCalibration",
                  [](QWidget* w) { w->close(); });
        if (transfer)
            RoomcalPortDlg(nullptr, &io).fill_and_exec();
        else
            RoomCalibrationDialog(&io, nullptr, &versions).update_and_exec();
        QVERIFY2(driver.done(), qPrintable(driver.errors().join("; ")));
    }

private:
    // Where the test is, for the reports of a failure, a crash or a hang; restarts the watchdog.
    void arm(const QString& where)
    {
        m_where = QString("%1; replay with ROOMCAL_CHAOS_SEED=%2").arg(where).arg(m_seed);
        qstrncpy(g_context, qPrintable("chaos: crash or hang in " + m_where + '\n'),
                 sizeof(g_context));
        alarm(HangSeconds);
    }

    // A transfer ends on the configuration that was active when it began.
    void checkSwitchedBack()
    {
        if (!m_lastSwitch.isNull() && m_lastSwitch != m_startConfig)
            m_problems << "transfer left " + m_lastSwitch + " instead of " + m_startConfig;
        m_lastSwitch = QString();
    }

    void observe(const QString& op, const QString& text, int result, const QByteArray& answer)
    {
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
            m_cancelAfter = chance(m_calibrate ? 0.3 : 0.65) ? uniform(0, 30) : -1;
            m_visits = 0;
        }
        m_previous = exchange;
    }

    static auto* button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(name); }
    int uniform(int low, int high) { return std::uniform_int_distribution<>(low, high)(m_random); }
    bool chance(double p) { return std::uniform_real_distribution<>(0, 1)(m_random) < p; }
    // Actions left on a window before the operator closes it.
    int left(QWidget* w, int actions)
    {
        const QVariant stored = w->property("actionsLeft");
        w->setProperty("actionsLeft", (stored.isValid() ? stored.toInt() : actions) - 1);
        return stored.isValid() ? stored.toInt() : actions;
    }

    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (chance(w && w->objectName() == "CalibrationProgressDialog" ? 0.2 : 0.01))
            m_io.deliver(m_io.randomMessage().constData());
        if (!w || m_scheduled || m_busy.contains(w))
            return;
        // From a fresh timer, so that a window the action opens does not stop the polling.
        m_scheduled = true;
        QTimer::singleShot(0, this, [this, target = QPointer<QWidget>(w)] {
            m_scheduled = false;
            // A window that closed on its own meanwhile takes no clicks.
            if (!target || QApplication::activeModalWidget() != target)
                return;
            QWidget* raw = target.data();
            m_busy.insert(raw);
            act(raw);
            m_busy.remove(raw);
        });
    }

    void act(QWidget* w)
    {
        const QString name = w->objectName();
        auto* dialog = qobject_cast<QDialog*>(w);
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            const bool ok = chance(name == "transferConfirmation" ? 0.7 : 0.5);
            QAbstractButton* choice = ok ? box->button(QMessageBox::Ok) : box->escapeButton();
            choice ? choice->click() : QTest::keyClick(box, Qt::Key_Escape);
        } else if (name == "CountdownDialog") {
            // Mostly start at once, now and then not at all; letting the count run out costs
            // real seconds, and the progress suite covers it.
            chance(0.85) ? button(w, chance(0.8) ? "pushButton_2" : "pushButton")->click()
                         : closeSomehow(dialog, nullptr);
        } else if (name == "CalibrationProgressDialog") {
            QPushButton* cancel = button(w, "pb_cancel");
            if (m_cancelAfter >= 0 && ++m_visits > m_cancelAfter)
                closeSomehow(dialog, cancel->isVisible() ? cancel : nullptr);
        } else if (name == "RoomCalibrationResultDialog") {
            chance(0.55) ? button(w, "pushButton_2")->click()
                         : closeSomehow(dialog, button(w, "pushButton_3"));
        } else if (name == "RoomcalPortDlgClass") {
            transferAction(dialog);
        } else if (auto* room = qobject_cast<RoomCalibrationDialog*>(w)) {
            roomAction(room);
        } else {
            m_problems << "unexpected modal window " + name;
            w->close();
        }
    }

    void closeSomehow(QDialog* dialog, QAbstractButton* button)
    {
        const int way = uniform(button ? 0 : 1, 3);
        way == 0 && button ? button->click()
        : way <= 1         ? QTest::keyClick(dialog, Qt::Key_Escape)
        : way == 2         ? void(dialog->close())
                           : dialog->reject();
    }

    void toggle(QTableWidgetItem* item)
    {
        // Only what a user can toggle: greyed boxes take no clicks.
        if (!item || !(item->flags() & Qt::ItemIsUserCheckable) ||
            !item->tableWidget()->isEnabled())
            return;
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        emit item->tableWidget()->cellClicked(item->row(), item->column());
    }

    void transferAction(QDialog* dialog)
    {
        if (left(dialog, uniform(1, 8)) <= 0)
            return closeSomehow(dialog, button(dialog, "pushButton_exit"));
        auto* table = dialog->findChild<QTableWidget*>("tableWidget_configs");
        const int row = uniform(0, qMax(0, table->rowCount() - 1)), action = uniform(0, 11);
        if (action < 6)
            toggle(table->item(row, 4));
        else if (action < 11)
            button(dialog, "pushButton_apply")->click();
        else // reaches the warning for an empty selection, which the button state hides
            QMetaObject::invokeMethod(dialog, "on_pushButton_apply_clicked");
    }

    void roomAction(RoomCalibrationDialog* d)
    {
        if (left(d, uniform(1, 14)) <= 0)
            return closeSomehow(d, d->pb_exit);
        QApplication::setActiveWindow(d);
        QList<QWidget*> inputs;
        inputs << d->dsb_wand << d->dsb_a << d->dsb_b << d->dsb_c << d->doubleSpinBox_duration
               << d->doubleSpinBox_heightAboveFloor << d->cb_calibrationSet << d->cb_calibrationSet
               << d->cb_coordinateType << d->tableStaticCameras << d->checkBox_recal
               << d->pushButton_durationDefault << d->pushButton_details;
        if (m_calibrate)
            inputs << d->pb_calibrate << d->pb_calibrate << d->pb_calibrate << d->pb_calibrate
                   << d->pushButton_advanced;
        // Only what a user can reach: disabled inputs take no changes.
        QWidget* input = inputs.value(uniform(0, inputs.size() - 1));
        if (!input->isEnabled())
            return;
        if (auto* box = qobject_cast<QDoubleSpinBox*>(input)) {
            const double low = box->minimum(), high = box->maximum();
            const double values[] = {0, low - 1, high + 1, 30,
                                     low + (high - low) * uniform(0, 9) / 9};
            box->setValue(values[uniform(0, 4)]);
        } else if (auto* combo = qobject_cast<QComboBox*>(input)) {
            // With the focus a new row is the user's choice and applies a kit; without it the
            // change is the program's own.
            (chance(0.5) ? input : d->pb_exit)->setFocus();
            combo->setCurrentIndex(uniform(-1, combo->count() - 1));
        } else if (auto* button = qobject_cast<QAbstractButton*>(input)) {
            button->click();
        } else {
            const int rows = d->tableStaticCameras->rowCount();
            toggle(d->tableStaticCameras->item(uniform(0, qMax(0, rows - 1)), 0));
        }
    }

    ChaosIOManager m_io;
    std::mt19937 m_random;
    QTimer m_timer;
    QSet<QWidget*> m_busy;
    QStringList m_problems;
    QString m_lastStatus, m_startConfig, m_lastSwitch, m_previous, m_where;
    bool m_calibrate = false, m_scheduled = false;
    int m_cancelAfter = -1, m_visits = 0, m_iterations = 25;
    quint32 m_seed = 20240611;
    QTemporaryDir m_home;
};

ROOMCAL_TEST_MAIN(TestChaos)
#include "tst_chaos.moc"
