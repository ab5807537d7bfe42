#include "RoomcalPortDlg.h"

#include "plugin/ControllerText.h"
#include "plugin/IOManager.h"
#include "ui_RoomcalPortDlgClass.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QTableWidgetItem>

namespace CT = ControllerText;

namespace {
const QString ActiveConfig = QStringLiteral("config active_config");
const QString NumberOfCameras = QStringLiteral("camera number_of_cameras");
const QString CommandAccepted = QStringLiteral("morvek2 ok");
const QString NotLocked = QStringLiteral("no");
const int RowHeight = 28;

// The host is told before every switch of the active configuration, which can take the
// controller far longer than an ordinary exchange.
void prepareSwitch(IOManager* io)
{
    io->setChannelOption(0, 20000, 0);
}
} // namespace

RoomcalPortDlg::RoomcalPortDlg(QWidget* parent, IOManager* io)
    : QDialog(parent), m_ui(std::make_unique<Ui::RoomcalPortDlgClass>()), m_io(io)
{
    m_ui->setupUi(this);

    QTableWidget* table = m_ui->tableWidget_configs;
    table->setColumnCount(5);
    table->setRowCount(0);
    table->setHorizontalHeaderLabels(
        {tr("ID"), tr("Description"), tr("Owner"), tr("Locked"), tr("Select")});
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionsClickable(false);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setColumnHidden(ColumnId, true);

    // A click on a Select box arrives through cellClicked; the space key toggles a box without
    // any click, and "&Apply" must follow that too.
    connect(table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == ColumnSelect)
            update_apply_button();
    });
}

RoomcalPortDlg::~RoomcalPortDlg() = default;

int RoomcalPortDlg::fill_and_exec()
{
    // The active ID only decides whether the description is worth asking for.
    QString activeDescription;
    QString activeId;
    if (CT::getString(m_io, ActiveConfig, &activeId) &&
        CT::getString(m_io, QStringLiteral("config desc"), &activeDescription))
        activeDescription = CT::withoutQuotes(activeDescription);
    else
        activeDescription.clear();
    m_ui->lineEdit_activeConfig->setText(activeDescription);

    fill_config_table();
    set_controls_enabled(read_room_calibration());
    update_apply_button();
    return exec();
}

void RoomcalPortDlg::fill_config_table()
{
    QTableWidget* table = m_ui->tableWidget_configs;
    int count = 0;
    if (!CT::getInt(m_io, QStringLiteral("config number_of_configs"), &count))
        count = 0;
    count = CT::boundedCount(count);
    table->setRowCount(qMax(0, count - 1));
    table->clearContents();

    QString activeId;
    if (!CT::getString(m_io, ActiveConfig, &activeId)) {
        CT::log(m_io, QStringLiteral("Error: Cannot retrieve ID of active configuration"));
        return;
    }

    int row = 0;
    for (int slot = 1; slot <= count; ++slot) {
        QString id;
        if (!CT::getString(m_io, QStringLiteral("config config ") + CT::numbered('t', slot), &id) ||
            id == activeId)
            continue;
        const QString description =
            CT::getStringOr(m_io, QStringLiteral("config desc_of_config ") + id, tr("unknown"));
        const QString owner =
            CT::getStringOr(m_io, QStringLiteral("config owner_of_config ") + id, QString());
        QString locked;
        const bool lockKnown =
            CT::getString(m_io, QStringLiteral("config config_has_password ") + id, &locked);
        locked = lockKnown ? CT::withoutQuotes(locked) : tr("unknown");

        // Sized for the active configuration being one of the slots; when it is not, the last
        // configuration still gets a row instead of being dropped.
        if (row >= table->rowCount())
            table->setRowCount(row + 1);
        table->setItem(row, ColumnId, new QTableWidgetItem(id));
        table->setItem(row, ColumnDescription,
                       new QTableWidgetItem(CT::withoutQuotes(description)));
        table->setItem(row, ColumnOwner, new QTableWidgetItem(CT::withoutQuotes(owner)));
        table->setItem(row, ColumnLocked, new QTableWidgetItem(locked));
        // A configuration behind a password, or one whose lock state is unknown, is never a
        // target: its box is shown greyed and takes no clicks.
        auto* select = new QTableWidgetItem();
        select->setFlags(lockKnown && locked == NotLocked
                             ? Qt::ItemIsUserCheckable | Qt::ItemIsEnabled
                             : Qt::NoItemFlags);
        select->setCheckState(Qt::Unchecked);
        table->setItem(row, ColumnSelect, select);
        table->setRowHeight(row, RowHeight);
        ++row;
    }

    table->sortItems(ColumnDescription, Qt::AscendingOrder);
    resize_columns();
}

bool RoomcalPortDlg::read_room_calibration()
{
    m_snapshot.clear();
    int cameras = 0;
    if (!CT::getInt(m_io, NumberOfCameras, &cameras)) {
        CT::log(m_io, QStringLiteral("Error: Unable to get number of cameras"));
        return false;
    }
    // A snapshot cut short by the bound never matches a target's count, so nothing is sent.
    cameras = CT::boundedCount(cameras);
    for (int camera = 1; camera <= cameras; ++camera) {
        QString answer;
        if (!CT::sendCommand(m_io,
                             QStringLiteral("morvek2 get tracking room ") + CT::cameraName(camera),
                             &answer)) {
            CT::log(m_io,
                    QStringLiteral("Error: Unable to get calibration of camera c0%1").arg(camera));
            return false;
        }
        if (CT::word(answer, 5) == QLatin1String("none"))
            return false;
        m_snapshot << answer;
    }
    return true;
}

void RoomcalPortDlg::set_controls_enabled(bool on)
{
    m_ui->label_activeConfig->setEnabled(on);
    m_ui->label_applyRoomCal->setEnabled(on);
    m_ui->tableWidget_configs->setEnabled(on);
    m_ui->pushButton_apply->setEnabled(on);
    if (on) {
        m_ui->label_error->hide();
        return;
    }
    m_ui->label_error->setText(
        tr("<b><font color=red>Active configuration has no valid room calibration!</font></b>"));
    m_ui->label_error->show();
}

bool RoomcalPortDlg::is_selected(int row) const
{
    const QTableWidgetItem* item = m_ui->tableWidget_configs->item(row, ColumnSelect);
    return item && item->checkState() == Qt::Checked;
}

void RoomcalPortDlg::update_apply_button()
{
    bool any = false;
    for (int row = 0; row < m_ui->tableWidget_configs->rowCount() && !any; ++row)
        any = is_selected(row);
    m_ui->pushButton_apply->setEnabled(any);
}

void RoomcalPortDlg::resize_columns()
{
    QTableWidget* table = m_ui->tableWidget_configs;
    const int columns = table->columnCount();
    if (columns < 2)
        return;
    const int width = table->width() / (columns - 1);
    for (int column = 1; column < columns; ++column)
        table->setColumnWidth(column, width - 1);
}

void RoomcalPortDlg::on_tableWidget_configs_cellClicked(int, int column)
{
    if (column == ColumnSelect)
        update_apply_button();
}

QString RoomcalPortDlg::description_of(const QString& id) const
{
    const QTableWidget* table = m_ui->tableWidget_configs;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem* idItem = table->item(row, ColumnId);
        const QTableWidgetItem* description = table->item(row, ColumnDescription);
        if (idItem && description && idItem->text() == id)
            return description->text();
    }
    return id;
}

void RoomcalPortDlg::on_pushButton_apply_clicked()
{
    QTableWidget* table = m_ui->tableWidget_configs;
    bool anySelected = false;
    for (int row = 0; row < table->rowCount() && !anySelected; ++row)
        anySelected = is_selected(row);
    if (!anySelected) {
        QMessageBox::warning(this, tr("Warning"), tr("No configuration selected!"));
        return;
    }

    // Parentless so that it sits above whatever window the host keeps in front.
    QMessageBox confirmation;
    confirmation.setObjectName(QStringLiteral("transferConfirmation"));
    confirmation.setWindowTitle(tr("Transfer room calibration"));
    confirmation.setIcon(QMessageBox::Question);
    confirmation.setText(tr("Change room calibration of the selected configurations?"));
    confirmation.setInformativeText(tr("This procedure cannot be reverted!"));
    confirmation.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    confirmation.setDefaultButton(QMessageBox::Cancel);
    if (confirmation.exec() != QMessageBox::Ok)
        return;

    QString originalId;
    if (!CT::getString(m_io, ActiveConfig, &originalId)) {
        CT::log(m_io, QStringLiteral("Error 2: Cannot retrieve ID of active configuration"));
        return;
    }

    setCursor(Qt::WaitCursor);
    bool allDone = true;
    QStringList transferred;
    // A failed target leaves the others worth trying: each one is independent of the rest.
    for (int row = 0; row < table->rowCount(); ++row) {
        if (!is_selected(row))
            continue;
        const QTableWidgetItem* idItem = table->item(row, ColumnId);
        const QString id = idItem ? idItem->text() : QString();
        if (transfer_to_config(id))
            transferred << description_of(id);
        else
            allDone = false;
    }

    prepareSwitch(m_io);
    if (!CT::setParameter(m_io, ActiveConfig + QLatin1Char(' ') + originalId)) {
        CT::log(m_io, QStringLiteral("Error: Cannot change back to active configuration"));
        allDone = false;
    }
    setCursor(Qt::ArrowCursor);

    if (!allDone) {
        // The boxes stay checked so that the user can retry the same choice after a look at
        // the controller.
        QMessageBox::critical(this, tr("Error"),
                              tr("Error(s) occoured during transferring the room calibration.\n\n"
                                 "Please check your active configuration."));
        return;
    }

    for (int row = 0; row < table->rowCount(); ++row)
        if (QTableWidgetItem* select = table->item(row, ColumnSelect))
            select->setCheckState(Qt::Unchecked);
    update_apply_button();

    QString text = tr("Room calibration successfully transferred to the following "
                      "configuration(s):\n\t");
    for (const QString& description : qAsConst(transferred))
        text += QStringLiteral("- ") + description + QStringLiteral("\n\t");
    QMessageBox::information(this, tr("Success"), text);
}

bool RoomcalPortDlg::transfer_to_config(const QString& id)
{
    prepareSwitch(m_io);
    if (!CT::setParameter(m_io, ActiveConfig + QLatin1Char(' ') + id)) {
        CT::log(m_io, QStringLiteral("Error: Cannot change back to active configuration"));
        return false;
    }

    int cameras = 0;
    if (!CT::getInt(m_io, NumberOfCameras, &cameras)) {
        CT::log(m_io, QStringLiteral("Error 3: Unable to get number of cameras"));
        return false;
    }
    if (cameras != m_snapshot.size()) {
        QMessageBox::critical(
            this, tr("Error"),
            tr("Number of cameras has changed.\nUnable to transfer the roomcalibration"));
        return false;
    }

    // Cameras written before a failure stay written: the controller has no way to undo them.
    for (int i = 0; i < m_snapshot.size(); ++i) {
        QString answer;
        if (!CT::sendCommand(m_io, m_snapshot.at(i), &answer)) {
            CT::log(m_io,
                    QStringLiteral("Error: Unable to set calibration of camera c0%1").arg(i + 1));
            return false;
        }
        if (answer != CommandAccepted)
            return false;
    }
    return true;
}

void RoomcalPortDlg::on_pushButton_exit_clicked()
{
    accept();
}

void RoomcalPortDlg::resizeEvent(QResizeEvent* event)
{
    Q_UNUSED(event);
    resize_columns();
}
