#include "RoomCalibrationResultDlg.h"

#include "RoomAdjustment.h"
#include "plugin/ControllerText.h"

#include <QHeaderView>
#include <QLabel>
#include <QShowEvent>
#include <QTableWidgetItem>
#include <cmath>

namespace {
QString millimetres(double value)
{
    return QStringLiteral("%1 mm").arg(value, 0, 'f', 2);
}

// Truncated, never rounded: a camera that dropped a single frame must not read 100%.
QString percent(double fraction)
{
    const double scaled = std::trunc(fraction * 100.0);
    // A garbled value must neither overflow the conversion nor pass for a plausible share.
    const int shown = std::isfinite(scaled) && std::abs(scaled) < 1e9 ? int(scaled) : 0;
    return QStringLiteral("%1%").arg(shown);
}
} // namespace

RoomCalibrationResultDlg::RoomCalibrationResultDlg(IOManager* io, QWidget* parent,
                                                   BackendVersions* versions, bool recalibration)
    : QDialog(parent), m_io(io), m_versions(versions), m_recalibration(recalibration)
{
    setupUi(this);

    tableWidget->verticalHeader()->setDefaultSectionSize(28);
    tableWidget->verticalHeader()->hide();
    tableWidget->setColumnCount(3);
    tableWidget->setRowCount(0);

    QHeaderView* header = tableWidget->horizontalHeader();
    header->resizeSection(0, 90);
    header->setStretchLastSection(true);
    header->setDefaultAlignment(Qt::AlignLeft);
    header->setSectionsClickable(false);
    tableWidget->setHorizontalHeaderLabels({tr("Camera"), tr("Residual"), tr("Used Frames")});
    // The two wand captions keep their values in one column, whatever their translation's length.
    const int captions = qMax(label->sizeHint().width(), label_2->sizeHint().width());
    label->setMinimumWidth(qMax(label->minimumWidth(), captions));
    label_2->setMinimumWidth(qMax(label_2->minimumWidth(), captions));
}

int RoomCalibrationResultDlg::update_and_exec()
{
    double wand[2] = {0.0, 0.0};
    if (m_io)
        ControllerText::getDoubles(m_io, QStringLiteral("roomcal wand_residual"), wand, 2);
    label_wand_res->setText(millimetres(wand[0]));
    label_wand_range->setText(millimetres(wand[1]));

    const bool measured = fill_cameras();

    m_adjustmentFree = check_room_adjustment();
    if (!m_adjustmentFree && !m_recalibration)
        label_roomAdjustment_reset_warning->setText(
            tr("<b><font color=red>Accept this room calibration will reset the room "
               "adjustment.</font></b>"));
    else
        label_roomAdjustment_reset_warning->setText(QString());

    pushButton_2->setFocus(Qt::OtherFocusReason);
    if (!measured)
        warn_empty_result();
    return exec();
}

void RoomCalibrationResultDlg::warn_empty_result()
{
    // A run the controller lost (restarted, or its results unreadable) would otherwise look like
    // a poor but valid result, one Enter away from replacing the calibration in use.
    auto* note = new QLabel(tr("<b><font color=red>This result holds no measurement: no camera "
                               "used any frame.</font></b>"),
                            this);
    note->setObjectName(QStringLiteral("label_empty_result"));
    note->setWordWrap(true);
    vboxLayout->insertWidget(vboxLayout->indexOf(label_roomAdjustment_reset_warning), note);
    // The focus stays on OK; it just no longer takes Enter.
    pushButton_2->setAutoDefault(false);
    pushButton_2->setDefault(false);
    pushButton_3->setDefault(true);
}

bool RoomCalibrationResultDlg::fill_cameras()
{
    bool measured = false;
    int cameras = 0;
    if (m_io)
        ControllerText::getInt(m_io, QStringLiteral("camera number_of_cameras"), &cameras);
    cameras = ControllerText::boundedCount(cameras);
    tableWidget->setRowCount(cameras);

    for (int k = 1; k <= cameras; ++k) {
        auto* name = new QTableWidgetItem(ControllerText::cameraName(k));
        tableWidget->setItem(k - 1, 0, name);

        double residual[2] = {0.0, 0.0};
        if (ControllerText::getDoubles(
                m_io, QStringLiteral("roomcal cam_residual %1").arg(ControllerText::cameraName(k)),
                residual, 2))
            measured = measured || residual[1] > 0.0;
        tableWidget->setItem(k - 1, 1, new QTableWidgetItem(millimetres(residual[0])));
        tableWidget->setItem(k - 1, 2, new QTableWidgetItem(percent(residual[1])));
    }

    // Room for up to ten rows plus the header; more cameras scroll.
    tableWidget->setMinimumHeight(qMin(cameras + 1, 11) * 20 + 4);
    return measured;
}

void RoomCalibrationResultDlg::accept()
{
    if (!m_adjustmentFree && !m_recalibration) {
        reset_room_adjustment();
        // Logged even after a failed write: the user has already seen which part failed, and
        // the log must show that a reset was attempted.
        if (m_io)
            ControllerText::log(m_io, QStringLiteral("room adjustment reset"));
    }
    done(QDialog::Accepted);
}

void RoomCalibrationResultDlg::showEvent(QShowEvent* event)
{
    Q_UNUSED(event);
    const int width = tableWidget->width() / 3 - 1;
    tableWidget->setColumnWidth(0, width);
    tableWidget->setColumnWidth(1, width);
    adjustSize();
}

bool RoomCalibrationResultDlg::check_room_adjustment()
{
    return RoomAdjustment::isFree(m_io, m_versions);
}

void RoomCalibrationResultDlg::reset_room_adjustment()
{
    RoomAdjustment::reset(m_io, m_versions, this);
}
