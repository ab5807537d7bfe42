#include "kit/FakeIOManager.h"
#include "kit/ModalDriver.h"
#include "kit/TestMain.h"
#include "transfer/RoomcalPortDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableWidget>

namespace {
using Reply = FakeIOManager::Reply;

// A controller that stores configurations, keeps one active and holds each one's per-camera
// room calibration, so that a transfer is judged by what ends up stored.
struct Controller
{
    struct Config
    {
        QString id, description, owner, locked;
        QStringList cameras;
        QString fault; // "count", "command", "reject" (first camera) or "switch"
    };
    QList<Config> configs;
    int offered = -1; // slots offered; all configurations when negative
    QString active = QStringLiteral("t02");
    QStringList activations;

    Config* find(const QString& id)
    {
        for (Config& c : configs)
            if (c.id == id)
                return &c;
        return nullptr;
    }

    std::optional<Reply> handle(const QString& op, const QString& text)
    {
        Config* current = find(active);
        Config* named = find(text.section(QLatin1Char(' '), 2));
        const QString key = op + QLatin1Char(' ') + text.section(QLatin1Char(' '), 0, 2);
        const int slot = text.section(QLatin1Char(' '), 2).mid(1).toInt();
        const int camera = text.section(QLatin1Char(' '), 4, 4).mid(1).toInt() - 1;
        const bool hasCamera = current && camera >= 0 && camera < current->cameras.size();
        const auto value = [](bool good, const QString& v) { return Reply{good ? 0 : -1, v}; };
        const auto field = [&](QString Config::*m) {
            return value(named, named ? named->*m : QString());
        };

        if (text == QLatin1String("config number_of_configs"))
            return value(true, QString::number(offered < 0 ? configs.size() : offered));
        if (op == QLatin1String("getString") && text == QLatin1String("config active_config"))
            return value(true, active);
        if (text == QLatin1String("config desc"))
            return value(current, current ? current->description : QString());
        if (text.startsWith(QLatin1String("config config t")))
            return slot >= 1 && slot <= configs.size() ? value(true, configs.at(slot - 1).id)
                                                       : value(false, QString());
        if (text.startsWith(QLatin1String("config desc_of_config ")))
            return field(&Config::description);
        if (text.startsWith(QLatin1String("config owner_of_config ")))
            return field(&Config::owner);
        if (text.startsWith(QLatin1String("config config_has_password ")))
            return field(&Config::locked);
        if (text == QLatin1String("camera number_of_cameras"))
            return value(current && current->fault != QLatin1String("count"),
                         QString::number(current ? current->cameras.size() : 0));
        if (key == QLatin1String("sendCommand morvek2 get tracking"))
            return value(hasCamera, hasCamera ? current->cameras.at(camera) : QString());
        if (key == QLatin1String("sendCommand morvek2 set tracking")) {
            if (!current || current->fault == QLatin1String("command"))
                return value(false, QString());
            if (!hasCamera || (camera == 0 && current->fault == QLatin1String("reject")))
                return value(true, QStringLiteral("morvek2 error no such camera"));
            current->cameras[camera] = text;
            return value(true, QStringLiteral("morvek2 ok"));
        }
        if (op == QLatin1String("setParameter") &&
            text.startsWith(QLatin1String("config active_config "))) {
            if (!named || named->fault == QLatin1String("switch"))
                return value(false, QString());
            activations << (active = named->id);
            return value(true, QString());
        }
        return std::nullopt;
    }
};

// Texts the controller accepts back as commands; field 5 is "none" when uncalibrated. The tag
// carries printf directives and non-ASCII bytes, which must travel as plain data.
QStringList calibration(const QString& tag, int cameras = 2)
{
    QStringList texts;
    for (int c = 1; c <= cameras; ++c)
        texts << QStringLiteral("morvek2 set tracking room c%1 0.5 1.5 %2 %n%s\xe9")
                     .arg(c, 2, 10, QLatin1Char('0'))
                     .arg(tag);
    return texts;
}

// Sorted by description the others show as "Atrium" above "Studio B"; Atrium's ID is not a
// plain slot name on purpose.
Controller threeConfigurations()
{
    Controller c;
    c.configs = {{"t01", "\"Studio \"B\"\"", "\"ann\"", "no", calibration("old"), ""},
                 {"t02", "\"Hall\"", "bob", "no", calibration("new"), ""},
                 {"t%s%n", "Atrium", "", "no", calibration("old"), ""}};
    return c;
}

template <typename T = QWidget> T* child(QWidget* parent, const char* name)
{
    return parent->findChild<T*>(QLatin1String(name));
}

QTableWidget* tableOf(QWidget* dialog)
{
    return child<QTableWidget>(dialog, "tableWidget_configs");
}
QPushButton* applyOf(QWidget* dialog)
{
    return child<QPushButton>(dialog, "pushButton_apply");
}
void clickExit(QWidget* dialog)
{
    child<QPushButton>(dialog, "pushButton_exit")->click();
}

QStringList column(QTableWidget* table, int c)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << (table->item(row, c) ? table->item(row, c)->text() : QStringLiteral("-"));
    return texts;
}

QList<bool> checkedBoxes(QTableWidget* table)
{
    QList<bool> checked;
    for (int row = 0; row < table->rowCount(); ++row)
        checked << (table->item(row, 4)->checkState() == Qt::Checked);
    return checked;
}

// Clicks a Select box where a user would: on its check indicator.
void clickSelectBox(QTableWidget* table, int row)
{
    QStyleOptionViewItem option;
    option.initFrom(table->viewport());
    option.rect = table->visualItemRect(table->item(row, 4));
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    const QRect box =
        table->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, table);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
}

// Answers message boxes with OK, noting each as "title: text" and the dialog's cursor then.
void recordBoxes(ModalDriver& driver, int count, QStringList* boxes, QWidget* dialog)
{
    for (int i = 0; i < count; ++i)
        driver.on(QStringLiteral("QMessageBox"), [boxes, dialog](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            *boxes << box->windowTitle() + QStringLiteral(": ") + box->text();
            if (dialog->cursor().shape() == Qt::WaitCursor)
                *boxes << QStringLiteral("(wait cursor)");
            box->button(QMessageBox::Ok)->click();
        });
}

#define DRIVER_CLEAN(driver)                                                                       \
    QVERIFY(driver.done());                                                                        \
    QVERIFY2(driver.errors().isEmpty(), qPrintable(driver.errors().join(QLatin1Char('\n'))))
} // namespace

class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void listsOtherConfigurations_data();
    void listsOtherConfigurations();
    void openingWithMissingData_data();
    void openingWithMissingData();
    void transfer_data();
    void transfer();
};

void TestTransfer::listsOtherConfigurations_data()
{
    QTest::addColumn<QString>("lockAnswer");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("selectable");
    QTest::newRow("unlocked") << "no"
                              << "no" << true;
    QTest::newRow("unlocked, quoted") << "\"no\""
                                      << "no" << true;
    QTest::newRow("locked") << "yes"
                            << "yes" << false;
    QTest::newRow("other spelling") << "No"
                                    << "No" << false;
    QTest::newRow("unreadable") << QString() << "unknown" << false;
}

void TestTransfer::listsOtherConfigurations()
{
    QFETCH(QString, lockAnswer);
    QFETCH(QString, shown);
    QFETCH(bool, selectable);

    Controller model = threeConfigurations();
    model.configs[2].locked = lockAnswer;
    FakeIOManager io;
    io.setHandler([&](const QString& op, const QString& text) { return model.handle(op, text); });
    if (lockAnswer.isNull())
        io.fail(QStringLiteral("config config_has_password t%s%n"));

    RoomcalPortDlg dialog(nullptr, &io);
    QStringList seen;
    QList<int> sizes;
    QList<bool> applyStates, checkedAfterClicks;
    ModalDriver driver;
    driver.on(QStringLiteral("RoomcalPortDlgClass"), [&](QWidget* w) {
        QTableWidget* table = tableOf(w);
        seen << child<QLineEdit>(w, "lineEdit_activeConfig")->text();
        for (int c = 0; c < 4; ++c)
            seen << column(table, c);
        sizes << table->isColumnHidden(0) << table->rowHeight(0) << table->rowHeight(1)
              << int(table->item(0, 4)->flags());

        applyStates << applyOf(w)->isEnabled();
        clickSelectBox(table, 0); // Atrium takes the click only when unlocked
        applyStates << applyOf(w)->isEnabled();
        clickSelectBox(table, 1);
        applyStates << applyOf(w)->isEnabled();
        checkedAfterClicks = checkedBoxes(table);
        clickSelectBox(table, 1);
        if (selectable)
            clickSelectBox(table, 0);
        applyStates << applyOf(w)->isEnabled();

        w->resize(w->width() - table->width() + 801, w->height());
        sizes << table->width() << table->columnWidth(1) << table->columnWidth(2)
              << table->columnWidth(3);
        clickExit(w);
    });
    QCOMPARE(dialog.fill_and_exec(), int(QDialog::Accepted));
    DRIVER_CLEAN(driver);

    QCOMPARE(seen,
             (QStringList{"Hall", "t%s%n", "t01", "Atrium", "Studio B", "", "ann", shown, "no"}));
    const int flags = selectable ? int(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled) : 0;
    QCOMPARE(sizes, (QList<int>{true, 28, 28, flags, 801, 199, 199, 199}));
    QCOMPARE(checkedAfterClicks, (QList<bool>{selectable, true}));
    QCOMPARE(applyStates, (QList<bool>{false, selectable, true, false}));
    QVERIFY(io.logLines.isEmpty());
}

void TestTransfer::openingWithMissingData_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("log");
    const QStringList both{"Atrium", "Studio B"};
    QTest::newRow("active ID unreadable")
        << "config active_config"
        << "" << QStringList{"-", "-"} << true
        << QStringList{"Error: Cannot retrieve ID of active configuration"};
    QTest::newRow("active configuration in no slot")
        << ""
        << "no slot" << QStringList{"Hall", "Studio B"} << true << QStringList();
    QTest::newRow("one slot unreadable")
        << "config config t01"
        << "" << QStringList{"Atrium", "-"} << true << QStringList();
    QTest::newRow("number of configurations unreadable")
        << "config number_of_configs"
        << "" << QStringList() << true << QStringList();
    QTest::newRow("number of cameras unreadable")
        << "camera number_of_cameras"
        << "" << both << false << QStringList{"Error: Unable to get number of cameras"};
    QTest::newRow("camera unreadable")
        << "morvek2 get tracking room c02"
        << "" << both << false << QStringList{"Error: Unable to get calibration of camera c02"};
    QTest::newRow("camera uncalibrated") << ""
                                         << "none" << both << false << QStringList();
    QTest::newRow("\"none\" in another field") << ""
                                               << "late none" << both << true << QStringList();
    QTest::newRow("no cameras") << ""
                                << "no cameras" << both << true << QStringList();
}

// Missing data never blocks the dialog; a snapshot that cannot be complete disables the transfer.
void TestTransfer::openingWithMissingData()
{
    QFETCH(QString, failing);
    QFETCH(QString, variant);
    QFETCH(QStringList, rows);
    QFETCH(bool, valid);
    QFETCH(QStringList, log);

    Controller model = threeConfigurations();
    QStringList& cameras = model.configs[1].cameras;
    if (variant == QLatin1String("no slot")) {
        model.active = QStringLiteral("t%s%n"); // Atrium, the third configuration: not offered
        model.offered = 2;
    } else if (variant == QLatin1String("none")) {
        cameras[0] = QStringLiteral("morvek2 set tracking room c01 none 0 0");
    } else if (variant == QLatin1String("late none")) {
        cameras[0] = QStringLiteral("morvek2 set tracking room c01 0 none 0");
    } else if (variant == QLatin1String("no cameras")) {
        cameras.clear();
    }
    FakeIOManager io;
    io.setHandler([&](const QString& op, const QString& text) { return model.handle(op, text); });
    if (!failing.isEmpty())
        io.fail(failing);

    RoomcalPortDlg dialog(nullptr, &io);
    QStringList shown, warning;
    QList<bool> enabled;
    ModalDriver driver;
    driver.on(QStringLiteral("RoomcalPortDlgClass"), [&](QWidget* w) {
        shown = column(tableOf(w), 1);
        for (const char* name : {"label_activeConfig", "label_applyRoomCal", "tableWidget_configs",
                                 "pushButton_apply", "label_error"})
            enabled << (child(w, name)->isEnabled() && child(w, name)->isVisible());
        // Rows without items are no selection either.
        applyOf(w)->setEnabled(true);
        applyOf(w)->click();
        clickExit(w);
    });
    recordBoxes(driver, 1, &warning, &dialog);
    dialog.fill_and_exec();
    DRIVER_CLEAN(driver);

    QCOMPARE(shown, rows);
    // "&Apply" waits for a checked box even with a complete snapshot.
    QCOMPARE(enabled, (QList<bool>{valid, valid, valid, false, !valid}));
    if (!valid)
        QCOMPARE(child<QLabel>(&dialog, "label_error")->text(),
                 QStringLiteral("<b><font color=red>Active configuration has no valid room "
                                "calibration!</font></b>"));
    QCOMPARE(warning, QStringList{"Warning: No configuration selected!"});
    QCOMPARE(io.logLines, log);
}

void TestTransfer::transfer_data()
{
    QTest::addColumn<QString>("fault"); // "<configuration>:<fault>"
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<QStringList>("activations");
    QTest::addColumn<QStringList>("traffic"); // every exchange, when the procedure stops early

    const QString summary = QStringLiteral(
        "Error: Error(s) occoured during transferring the room calibration.\n\nPlease check "
        "your active configuration.");
    const QString noSwitch = QStringLiteral("Error: Cannot change back to active configuration");
    const QStringList both{"t%s%n", "t01"};
    const QStringList there{"t%s%n", "t01", "t02"}, skipped{"t01"}, thereAndBack{"t01", "t02"};
    const QStringList any{"*"};

    QTest::newRow("both succeed")
        << ""
        << "ok"
        << QStringList{"Success: Room calibration successfully transferred to the following "
                       "configuration(s):\n\t- Atrium\n\t- Studio B\n\t"}
        << QStringList() << both << there << any;
    QTest::newRow("other camera count")
        << "t%s%n:3 cameras"
        << "ok"
        << QStringList{"Error: Number of cameras has changed.\nUnable to transfer the "
                       "roomcalibration",
                       "(wait cursor)", summary}
        << QStringList() << skipped << there << any;
    QTest::newRow("camera answers an error")
        << "t%s%n:reject"
        << "ok" << QStringList{summary} << QStringList() << skipped << there << any;
    QTest::newRow("camera command fails")
        << "t%s%n:command"
        << "ok" << QStringList{summary}
        << QStringList{"Error: Unable to set calibration of camera c01"} << skipped << there << any;
    QTest::newRow("target cannot be made active")
        << "t%s%n:switch"
        << "ok" << QStringList{summary} << QStringList{noSwitch} << skipped << thereAndBack << any;
    QTest::newRow("target camera count unreadable")
        << "t%s%n:count"
        << "ok" << QStringList{summary} << QStringList{"Error 3: Unable to get number of cameras"}
        << skipped << there << any;
    QTest::newRow("switch back fails") << "t02:switch"
                                       << "ok" << QStringList{summary} << QStringList{noSwitch}
                                       << both << QStringList{"t%s%n", "t01"} << any;
    QTest::newRow("cancel") << ""
                            << "cancel" << QStringList() << QStringList() << QStringList()
                            << QStringList() << QStringList();
    QTest::newRow("escape") << ""
                            << "escape" << QStringList() << QStringList() << QStringList()
                            << QStringList() << QStringList();
    QTest::newRow("active ID unreadable")
        << "unreadable"
        << "ok" << QStringList()
        << QStringList{"Error 2: Cannot retrieve ID of active configuration"} << QStringList()
        << QStringList()
        << QStringList{"getString config active_config",
                       "logMessage Error 2: Cannot retrieve ID of active configuration"};
}

void TestTransfer::transfer()
{
    QFETCH(QString, fault);
    QFETCH(QString, confirm);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, log);
    QFETCH(QStringList, written);
    QFETCH(QStringList, activations);
    QFETCH(QStringList, traffic);

    Controller model = threeConfigurations();
    if (Controller::Config* target = model.find(fault.section(QLatin1Char(':'), 0, 0))) {
        target->fault = fault.section(QLatin1Char(':'), 1);
        if (target->fault == QLatin1String("3 cameras"))
            target->cameras = calibration("old", 3);
    }
    const QStringList snapshot = model.find("t02")->cameras;
    QHash<QString, QStringList> before;
    for (const Controller::Config& c : qAsConst(model.configs))
        before.insert(c.id, c.cameras);
    FakeIOManager io;
    io.setHandler([&](const QString& op, const QString& text) { return model.handle(op, text); });

    RoomcalPortDlg dialog(nullptr, &io);
    QStringList confirmation, seenBoxes;
    QList<bool> after;
    ModalDriver driver;
    driver.on(QStringLiteral("RoomcalPortDlgClass"), [&](QWidget* w) {
        QTableWidget* table = tableOf(w);
        for (int row : {0, 1}) {
            table->item(row, 4)->setCheckState(Qt::Checked);
            emit table->cellClicked(row, 4);
        }
        if (fault == QLatin1String("unreadable"))
            io.fail(QStringLiteral("config active_config"));
        io.clearCalls();
        applyOf(w)->click();
        after << checkedBoxes(table) << applyOf(w)->isEnabled()
              << (w->cursor().shape() == Qt::ArrowCursor);
        clickExit(w);
    });
    driver.on(QStringLiteral("transferConfirmation"), [&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        confirmation << box->windowTitle() << box->text() << box->informativeText()
                     << QString::number(box->icon())
                     << QString::number(box->parentWidget() == nullptr)
                     << QString::number(box->defaultButton() == box->button(QMessageBox::Cancel));
        if (confirm == QLatin1String("escape"))
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(confirm == QLatin1String("ok") ? QMessageBox::Ok : QMessageBox::Cancel)
                ->click();
    });
    recordBoxes(driver, boxes.size() - boxes.count(QStringLiteral("(wait cursor)")), &seenBoxes,
                &dialog);
    dialog.fill_and_exec();
    DRIVER_CLEAN(driver);

    QCOMPARE(confirmation, (QStringList{"Transfer room calibration",
                                        "Change room calibration of the selected configurations?",
                                        "This procedure cannot be reverted!",
                                        QString::number(QMessageBox::Question), "1", "1"}));
    QCOMPARE(seenBoxes, boxes);
    QCOMPARE(io.logLines, log);
    for (const QString& id : QStringList{"t%s%n", "t01"})
        QCOMPARE(model.find(id)->cameras, written.contains(id) ? snapshot : before.value(id));
    QCOMPARE(model.activations, activations);
    if (traffic != QStringList{"*"})
        QCOMPARE(io.calls, traffic);
    for (int i = 0; i < io.calls.size(); ++i)
        if (io.calls.at(i).startsWith(QLatin1String("setParameter config active_config")))
            QCOMPARE(io.calls.value(i - 1), QStringLiteral("setChannelOption 0 20000 0"));
    // Only full success clears the choice, so that a failed transfer can be retried as it was.
    const bool cleared = written.size() == 2 && activations.size() == 3;
    QCOMPARE(after, (QList<bool>{!cleared, !cleared, !cleared, true}));
}

ROOMCAL_TEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
