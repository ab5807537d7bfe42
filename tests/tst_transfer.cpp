#include "kit/FakeIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "transfer/RoomcalPortDlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace {
using Reply = FakeIOManager::Reply;

// Texts the controller accepts back as commands. The tag carries printf directives and
// non-ASCII bytes, which must travel as plain data.
QStringList calibration(const QString& tag, int cameras = 2)
{
    QStringList texts;
    for (int c = 1; c <= cameras; ++c)
        texts << QString::asprintf("morvek2 set tracking room c%02d 0.5 1.5 ", c) + tag +
                     QStringLiteral(" %n%s\xe9");
    return texts;
}

// What the controller stores per configuration and which one is active: a transfer's outcome.
struct Controller
{
    QHash<QString, QStringList> cameras;
    QString active = QStringLiteral("t02");
    QString rejecting;    // its first camera answers an error
    QString unswitchable; // cannot be made active
    QStringList activations;

    std::optional<Reply> handle(const QString& op, const QString& text)
    {
        const QString argument = text.section(' ', 2);
        if (text == QLatin1String("camera number_of_cameras"))
            return Reply{0, QString::number(cameras[active].size())};
        if (op == QLatin1String("setParameter") && text.startsWith("config active_config ")) {
            if (!cameras.contains(argument) || argument == unswitchable)
                return Reply{-1, QString()};
            activations << (active = argument);
            return Reply{0, QString()};
        }
        if (op != QLatin1String("sendCommand") || !text.startsWith("morvek2 set tracking room "))
            return std::nullopt;
        const int camera = text.section(' ', 4, 4).mid(1).toInt() - 1;
        if (camera < 0 || camera >= cameras[active].size() || (camera == 0 && active == rejecting))
            return Reply{0, QStringLiteral("morvek2 error no such camera")};
        cameras[active][camera] = text;
        return Reply{0, QStringLiteral("morvek2 ok")};
    }
};

// Three configurations with the second active. Sorted by description the others show as
// "Atrium" above "Studio B"; Atrium's ID is not a plain slot name on purpose.
void setUp(FakeIOManager& io, Controller& model)
{
    const QStringList ids{"t01", "t02", "t%s%n"}, owners{"\"ann\"", "bob", ""};
    const QStringList descriptions{"\"Studio \"B\"\"", "\"Hall\"", "Atrium"};
    io.answer("config number_of_configs", "3");
    io.answer("config active_config", "t02");
    io.answer("config desc", "\"Hall\"");
    for (int i = 0; i < 3; ++i) {
        io.answer(QString::asprintf("config config t%02d", i + 1), ids[i]);
        io.answer("config desc_of_config " + ids[i], descriptions[i]);
        io.answer("config owner_of_config " + ids[i], owners[i]);
        io.answer("config config_has_password " + ids[i], "no");
        model.cameras[ids[i]] = calibration(i == 1 ? "new" : "old");
    }
    for (int c = 0; c < 2; ++c)
        io.answer(QString::asprintf("morvek2 get tracking room c%02d", c + 1),
                  model.cameras["t02"][c]);
    io.setHandler(
        [&model](const QString& op, const QString& text) { return model.handle(op, text); });
}

QTableWidget* tableOf(QWidget* dialog)
{
    return dialog->findChild<QTableWidget*>("tableWidget_configs");
}

QPushButton* button(QWidget* dialog, const char* name)
{
    return dialog->findChild<QPushButton*>(name);
}

// Checks or unchecks a Select box and reports the click, as a user's click on it would.
void select(QTableWidget* table, int row, bool on)
{
    table->item(row, 4)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    emit table->cellClicked(row, 4);
}

} // namespace

class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void listsOtherConfigurations_data();
    void listsOtherConfigurations();
    void transfer_data();
    void transfer();
};

void TestTransfer::listsOtherConfigurations_data()
{
    QTest::addColumn<QString>("lockAnswer"); // Atrium's; null: the read fails
    QTest::addColumn<bool>("selectable");
    QTest::addColumn<QString>("shown");
    QTest::newRow("unlocked, quoted") << "\"no\"" << true << "no";
    QTest::newRow("locked") << "yes" << false << "yes";
    QTest::newRow("other spelling") << "No" << false << "No";
    QTest::newRow("unreadable") << QString() << false << "unknown";
}

void TestTransfer::listsOtherConfigurations()
{
    QFETCH(QString, lockAnswer);
    QFETCH(bool, selectable);
    QFETCH(QString, shown);
    FakeIOManager io;
    Controller model;
    setUp(io, model);
    lockAnswer.isNull() ? io.fail("config config_has_password t%s%n")
                        : io.answer("config config_has_password t%s%n", lockAnswer);

    RoomcalPortDlg dialog(nullptr, &io);
    QStringList seen;
    QList<bool> apply;
    int flags = -1;
    ModalDriver driver;
    driver.on(QStringLiteral("RoomcalPortDlgClass"), [&](QWidget* w) {
        QTableWidget* table = tableOf(w);
        seen << w->findChild<QLineEdit*>("lineEdit_activeConfig")->text();
        for (int row = 0; row < table->rowCount(); ++row)
            for (int c = 0; c < 4; ++c)
                seen << table->item(row, c)->text();
        flags = int(table->item(0, 4)->flags());
        apply << button(w, "pushButton_apply")->isEnabled();
        select(table, 1, true);
        apply << button(w, "pushButton_apply")->isEnabled();
        select(table, 1, false);
        apply << button(w, "pushButton_apply")->isEnabled();
        button(w, "pushButton_exit")->click();
    });
    QCOMPARE(dialog.fill_and_exec(), int(QDialog::Accepted));
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join('\n')));
    QCOMPARE(seen,
             (QStringList{"Hall", "t%s%n", "Atrium", "", shown, "t01", "Studio B", "ann", "no"}));
    QCOMPARE(flags, selectable ? int(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled) : 0);
    QCOMPARE(apply, (QList<bool>{false, true, false}));

    // With the active configuration alone there is nothing to list.
    io.answer("config number_of_configs", "1");
    io.answer("config active_config", "t01");
    int rows = -1;
    ModalDriver again;
    again.on(QStringLiteral("RoomcalPortDlgClass"), [&](QWidget* w) {
        rows = tableOf(w)->rowCount();
        button(w, "pushButton_exit")->click();
    });
    // Re-opening lays the columns out again, whatever the operator dragged them to.
    const int width = tableOf(&dialog)->columnWidth(1);
    tableOf(&dialog)->setColumnWidth(1, width + 50);
    dialog.fill_and_exec();
    QCOMPARE(rows, 0);
    QCOMPARE(tableOf(&dialog)->columnWidth(1), width);
}

void TestTransfer::transfer_data()
{
    QTest::addColumn<QString>("fault"); // of Atrium, of switching back, or the user's "cancel"
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QStringList>("activations");

    const QString summary = QStringLiteral(
        "Error: Error(s) occoured during transferring the room calibration.\n\nPlease check "
        "your active configuration.");
    const QString changed = QStringLiteral(
        "Error: Number of cameras has changed.\nUnable to transfer the roomcalibration");
    const QStringList both{"t%s%n", "t01"}, there{"t%s%n", "t01", "t02"}, back{"t01", "t02"};
    const QStringList noBack{"Error: Cannot change back to active configuration"};
    auto row = [](const char* name, const char* fault, const QStringList& boxes,
                  const QStringList& log, const QStringList& written, const QStringList& active) {
        QTest::newRow(name) << QString(fault) << boxes << log << written << active;
    };
    row("both succeed", "",
        {"Success: Room calibration successfully transferred to the following "
         "configuration(s):\n\t- Atrium\n\t- Studio B\n\t"},
        {}, both, there);
    row("other camera count", "3 cameras", {changed, summary}, {}, {"t01"}, there);
    row("camera answers an error", "reject", {summary}, {}, {"t01"}, there);
    // A target that cannot be made active must not be reported as done.
    row("switch to a target fails", "switch there", {summary}, noBack, {"t01"}, back);
    row("switch back fails", "switch back", {summary}, noBack, both, both);
    // A camera without calibration must not wipe the targets' calibrations.
    row("uncalibrated camera", "none", {changed, changed, summary}, {}, {}, there);
    row("cancel", "cancel", {}, {}, {}, {});
}

void TestTransfer::transfer()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, log);
    QFETCH(QStringList, written);
    QFETCH(QStringList, activations);

    FakeIOManager io;
    Controller model;
    setUp(io, model);
    if (fault == QLatin1String("3 cameras"))
        model.cameras["t%s%n"] = calibration("old", 3);
    model.rejecting = fault == QLatin1String("reject") ? "t%s%n" : "";
    model.unswitchable = fault == QLatin1String("switch back")    ? "t02"
                         : fault == QLatin1String("switch there") ? "t%s%n"
                                                                  : "";
    if (fault == QLatin1String("none"))
        io.answer("morvek2 get tracking room c02", "morvek2 set tracking room c02 none 0 0");
    const auto before = model.cameras;

    RoomcalPortDlg dialog(nullptr, &io);
    QStringList seenBoxes;
    QList<bool> after;
    ModalDriver driver;
    driver.on(QStringLiteral("RoomcalPortDlgClass"), [&](QWidget* w) {
        QTableWidget* table = tableOf(w);
        select(table, 0, true);
        select(table, 1, true);
        io.clearCalls();
        button(w, "pushButton_apply")->click();
        for (int row = 0; row < table->rowCount(); ++row)
            after << (table->item(row, 4)->checkState() == Qt::Checked);
        after << button(w, "pushButton_apply")->isEnabled();
        button(w, "pushButton_exit")->click();
    });
    driver.on(QStringLiteral("transferConfirmation"), [&](QWidget* w) {
        const bool cancel = fault == QLatin1String("cancel");
        qobject_cast<QMessageBox*>(w)
            ->button(cancel ? QMessageBox::Cancel : QMessageBox::Ok)
            ->click();
    });
    for (int i = 0; i < boxes.size(); ++i)
        driver.on(QStringLiteral("QMessageBox"), [&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            seenBoxes << box->windowTitle() + QStringLiteral(": ") + box->text();
            box->button(QMessageBox::Ok)->click();
        });
    dialog.fill_and_exec();
    QVERIFY2(driver.done() && driver.errors().isEmpty(), qPrintable(driver.errors().join('\n')));

    QCOMPARE(seenBoxes, boxes);
    QCOMPARE(io.logLines, log);
    // Every exchange is byte for byte what the controller gave: the IDs and texts hold "%s".
    for (const QString& id : QStringList{"t%s%n", "t01"})
        QCOMPARE(model.cameras[id], before[written.contains(id) ? "t02" : id]);
    QCOMPARE(model.activations, activations);
    if (fault == QLatin1String("cancel"))
        QCOMPARE(io.calls, QStringList());
    // Only full success clears the choice, so that a failed transfer can be retried as it was.
    const bool cleared = written.size() == 2 && activations.size() == 3;
    QCOMPARE(after, (QList<bool>{!cleared, !cleared, !cleared}));
}

ROOMCAL_TEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
