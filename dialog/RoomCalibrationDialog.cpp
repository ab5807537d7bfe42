#include "RoomCalibrationDialog.h"

#include "CalibrationKits.h"
#include "CalibrationRecord.h"
#include "CameraText.h"
#include "plugin/BackendVersions.h"
#include "plugin/ControllerText.h"
#include "progress/CalibrationProgressDlg.h"
#include "result/RoomCalibrationResultDlg.h"
#include "transfer/RoomcalPortDlg.h"

#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPixmap>

namespace CT = ControllerText;

namespace {
const double DefaultDuration = 30.0;
const QString MidCamera = QStringLiteral("mid_camera");

void enableAll(std::initializer_list<QWidget*> widgets, bool enabled)
{
    for (QWidget* w : widgets)
        w->setEnabled(enabled);
}

void showAll(std::initializer_list<QWidget*> widgets, bool shown)
{
    for (QWidget* w : widgets)
        w->setVisible(shown);
}

// The status column follows the check box; the words are the operator's, so they are translated.
QString cameraState(bool fixed)
{
    return fixed ? RoomCalibrationDialog::tr("static") : RoomCalibrationDialog::tr("moved");
}

QString lastCalibrationText(const QString& date)
{
    return QStringLiteral("date and time of the last room calibration: %1").arg(date);
}
} // namespace

RoomCalibrationDialog::RoomCalibrationDialog(IOManager* io, QWidget* parent,
                                             BackendVersions* versions)
    : QDialog(parent), m_io(io), m_parent(parent), m_versions(versions)
{
    setupUi(this);
    m_lockIcon = QIcon(QStringLiteral(":/lock.png"));
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    build_calibration_sets();
    setup_static_cameras_table();
    tableStaticCameras->hide();
    line_staticCameras->hide();
    label_staticCameras->hide();
    checkBox_recal->setChecked(false);
    m_progress = new CalibrationProgressDlg(m_io, this, m_versions, false);
}

RoomCalibrationDialog::~RoomCalibrationDialog()
{
    delete m_progress;
}

bool RoomCalibrationDialog::atLeast(int major, int minor) const
{
    return m_versions && m_versions->atLeast(major, minor);
}

QString RoomCalibrationDialog::modelName() const
{
    return m_versions ? m_versions->modelName : QString();
}

// A failed read leaves an undefined buffer on a real host; an empty answer matches none of the
// words these answers are compared with.
QString RoomCalibrationDialog::answerOf(const QString& name) const
{
    QString answer;
    CT::getString(m_io, name, &answer);
    return answer;
}

// ---------------------------------------------------------------------------------------------
// Opening

int RoomCalibrationDialog::update_and_exec()
{
    load_coordinate_types();
    check_read_only();
    update_last_calibration();

    const bool trackingAvailable =
        !(atLeast(0, 17) && answerOf(QStringLiteral("tracking available")) == QLatin1String("no"));
    if (!trackingAvailable) {
        set_available(false);
        show_details(false);
        if (!m_calibrationBlocked)
            update_calibrate_button();
    } else {
        set_available(true);

        double duration = DefaultDuration;
        if (atLeast(0, 12) && !CT::getDouble(m_io, QStringLiteral("roomcal duration"), &duration)) {
            CT::log(m_io,
                    QStringLiteral("Error: Cannot get information room calibration duration"));
            duration = DefaultDuration;
        }
        doubleSpinBox_duration->setValue(duration);
        show_details(doubleSpinBox_duration->value() != DefaultDuration);
        m_calibrationBlocked = false;

        const QString hasRecalibration = answerOf(QStringLiteral("roomcal has_type wand_no_angle"));
        start_tracking();

        double wand = 0.0;
        CT::getDouble(m_io, QStringLiteral("roomcal wand_length"), &wand);
        dsb_wand->setValue(wand);

        if (hasRecalibration == QLatin1String("no")) {
            checkBox_recal->setChecked(false);
            checkBox_recal->setEnabled(false);
        }

        double angle[3] = {0.0, 0.0, 0.0}; // A, C, B
        CT::getDoubles(m_io, QStringLiteral("roomcal angle"), angle, 3);
        double height = 0.0;
        if (atLeast(1, 23))
            CT::getDouble(m_io, QStringLiteral("roomcal angle_height"), &height);
        apply_angle_values(angle[0], angle[1], angle[2], height);
        select_calibration_set({angle[0], angle[1], angle[2], height});

        select_coordinate_type(CT::getStringOr(m_io, QStringLiteral("roomcal coordinate_type"),
                                               QStringLiteral("normal")));

        if (hasRecalibration == QLatin1String("yes")) {
            if (!m_readOnly)
                checkBox_recal->setEnabled(cb_coordinateType->currentData().toString() !=
                                           MidCamera);
            const QString type =
                CT::getStringOr(m_io, QStringLiteral("roomcal type"), QStringLiteral("wand"));
            checkBox_recal->setChecked(type == QLatin1String("wand_no_angle"));
        }
        refresh_input_state();
        check_calibration_possible();
    }

    if (checkBox_recal->isEnabled() && checkBox_recal->isChecked())
        fill_static_cameras();
    return exec();
}

void RoomCalibrationDialog::load_coordinate_types()
{
    if (atLeast(1, 9)) {
        int count = 0;
        if (!CT::getInt(m_io, QStringLiteral("roomcal number_of_available_coordinate_types"),
                        &count)) {
            CT::log(m_io, QStringLiteral(
                              "Error: Cannot get information room calibration coordinate types"));
            count = 0;
        }
        if (count < 1)
            return;
        count = CT::boundedCount(count);

        bool cleared = false;
        bool failed = false;
        for (int i = 1; i <= count && !failed; ++i) {
            QString name;
            if (!CT::getString(m_io,
                               QStringLiteral("roomcal available_coordinate_type %1")
                                   .arg(CT::numbered('t', i)),
                               &name)) {
                failed = true;
                break;
            }
            if (name == QLatin1String("first_camera"))
                continue;
            if (name == MidCamera) {
                int cameras = 0;
                CT::getInt(m_io, QStringLiteral("camera number_of_cameras"), &cameras);
                if (cameras > 2)
                    continue;
            }
            QString description;
            if (!CT::getString(m_io,
                               QStringLiteral("roomcal available_coordinate_type_desc ") + name,
                               &description)) {
                failed = true;
                break;
            }
            if (!cleared) {
                cb_coordinateType->clear();
                cleared = true;
            }
            cb_coordinateType->addItem(CT::withoutQuotes(description), CT::withoutQuotes(name));
        }
        if (!failed)
            return;
        CT::log(m_io, QStringLiteral(
                          "Error: Cannot get information room calibration coordinate type name"));
    }

    cb_coordinateType->clear();
    cb_coordinateType->addItem(tr("normal"), QStringLiteral("normal"));
    cb_coordinateType->addItem(tr("powerwall"), QStringLiteral("powerwall"));
    cb_coordinateType->addItem(tr("powerwall standing"), QStringLiteral("powerwall_standing"));
}

void RoomCalibrationDialog::check_read_only()
{
    QString changeable;
    m_readOnly = atLeast(1, 9) &&
                 CT::getString(m_io, QStringLiteral("config is_changeable"), &changeable) &&
                 changeable == QLatin1String("no");
    if (m_readOnly) {
        setWindowIcon(m_lockIcon);
        enableAll({dsb_wand, cb_calibrationSet, cb_coordinateType, checkBox_recal,
                   doubleSpinBox_duration, pushButton_durationDefault, pb_calibrate},
                  false);
    } else if (m_parent) {
        setWindowIcon(m_parent->windowIcon());
    }
}

void RoomCalibrationDialog::set_available(bool available)
{
    update_error_line(available);
    label_7->setEnabled(available);
    if (!m_readOnly) {
        dsb_wand->setEnabled(available);
        cb_calibrationSet->setEnabled(available);
        cb_coordinateType->setEnabled(available);
        checkBox_recal->setEnabled(available);
    }
    enableAll({label_3, label_4, dsb_a, label_5, dsb_b, label_6, dsb_c, label_2,
               doubleSpinBox_heightAboveFloor, pushButton_details},
              available);
    if (!m_readOnly) {
        pb_calibrate->setEnabled(available);
        m_calibrationBlocked = !pb_calibrate->isEnabled();
    }
    // Controllers before 0.12 have a fixed duration.
    const bool durationSettable = atLeast(0, 12);
    label_duration->setEnabled(durationSettable && available);
    if (!durationSettable || !m_readOnly) {
        doubleSpinBox_duration->setEnabled(durationSettable && available);
        pushButton_durationDefault->setEnabled(durationSettable && available);
    }
    label_lastRoomcal->setEnabled(available);
}

void RoomCalibrationDialog::update_last_calibration()
{
    QString date = QStringLiteral("none");
    if (atLeast(1, 11))
        date = CT::getStringOr(m_io, QStringLiteral("roomcal last_date"), QStringLiteral("none"));
    date.remove(QLatin1Char('\''));
    if (date == QLatin1String("none") || date == QLatin1String("1970-01-01 00:00:00") ||
        date == QLatin1String("1970-01-01T00:00:00"))
        label_lastRoomcal->setText(lastCalibrationText(QStringLiteral("-")));
    else
        label_lastRoomcal->setText(
            lastCalibrationText(date.replace(QLatin1Char(' '), QLatin1Char('T'))));
}

void RoomCalibrationDialog::select_calibration_set(const QVariantList& values)
{
    for (int row = 0; row < cb_calibrationSet->count(); ++row) {
        const QVariantList kit = cb_calibrationSet->itemData(row).toList();
        bool same = kit.size() == values.size();
        for (int i = 0; same && i < kit.size(); ++i)
            same = kit.at(i).toDouble() == values.at(i).toDouble();
        if (same) {
            cb_calibrationSet->setCurrentIndex(row);
            return;
        }
    }
    cb_calibrationSet->setItemData(m_expertIndex, values);
    cb_calibrationSet->setCurrentIndex(m_expertIndex);
}

void RoomCalibrationDialog::select_coordinate_type(const QString& name)
{
    cb_coordinateType->setCurrentIndex(
        cb_coordinateType->findData(name, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void RoomCalibrationDialog::check_calibration_possible()
{
    if (answerOf(QStringLiteral("cal available room")) != QLatin1String("yes")) {
        pb_calibrate->setEnabled(false);
        m_calibrationBlocked = true;
        return;
    }
    if (!m_readOnly) {
        pb_calibrate->setEnabled(true);
        m_calibrationBlocked = false;
    }
    update_calibrate_button();
}

void RoomCalibrationDialog::start_tracking()
{
    const QString status = answerOf(QStringLiteral("status active"));
    if (status != QLatin1String("none") && status != QLatin1String("err"))
        return;
    if (atLeast(0, 14) && answerOf(QStringLiteral("tracking available")) != QLatin1String("yes"))
        return;
    CT::sendCommand(m_io, QStringLiteral("morvek2 tracking start"), nullptr);
}

void RoomCalibrationDialog::stop_tracking()
{
    const QString status = answerOf(QStringLiteral("status active"));
    if (status == QLatin1String("none") || status == QLatin1String("err"))
        return;
    CT::sendCommand(m_io, QStringLiteral("morvek2 tracking stop"), nullptr);
}

void RoomCalibrationDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape) {
        QDialog::keyPressEvent(event);
        return;
    }
    stop_tracking();
    reject();
}

void RoomCalibrationDialog::on_pb_exit_clicked()
{
    stop_tracking();
    reject();
}

void RoomCalibrationDialog::on_pushButton_advanced_clicked()
{
    stop_tracking();
    // The transfer dialog belongs to the host window, not to this dialog.
    RoomcalPortDlg dlg(m_parent, m_io);
    dlg.fill_and_exec();
    start_tracking();
}

// ---------------------------------------------------------------------------------------------
// Inputs

void RoomCalibrationDialog::build_calibration_sets()
{
    const QList<CalibrationKits::Kit> kits = CalibrationKits::kits(modelName());
    for (int row = 0; row < kits.size(); ++row) {
        if (row == kits.size() - 1)
            m_expertIndex = cb_calibrationSet->count();
        cb_calibrationSet->insertItem(cb_calibrationSet->count(), QIcon(),
                                      CalibrationKits::translatedText(kits.at(row)),
                                      CalibrationKits::values(kits.at(row)));
    }
}

void RoomCalibrationDialog::on_cb_calibrationSet_currentIndexChanged(int index)
{
    // Only the user's own choice applies a kit; rows selected while opening must not overwrite
    // the values just read from the controller.
    if (!cb_calibrationSet->hasFocus())
        return;
    apply_calibration_set(index);
}

void RoomCalibrationDialog::apply_calibration_set(int index)
{
    const QVariantList values = cb_calibrationSet->itemData(index).toList();
    if (values.size() != 4)
        return;
    apply_angle_values(values.at(0).toDouble(), values.at(1).toDouble(), values.at(2).toDouble(),
                       values.at(3).toDouble());
    double length = 0.0;
    switch (CalibrationKits::wandChoice(modelName(), index, &length)) {
    case CalibrationKits::WandChoice::Set:
        dsb_wand->setValue(length);
        break;
    case CalibrationKits::WandChoice::FocusWand:
        dsb_wand->setFocus(Qt::OtherFocusReason);
        dsb_wand->selectAll();
        break;
    case CalibrationKits::WandChoice::Leave:
        break;
    }
    refresh_input_state();
}

void RoomCalibrationDialog::apply_angle_values(double a, double c, double b, double height)
{
    dsb_a->setValue(a);
    dsb_c->setValue(c);
    dsb_b->setValue(b);
    doubleSpinBox_heightAboveFloor->setValue(height);
}

void RoomCalibrationDialog::refresh_input_state()
{
    const Qt::CheckState state = checkBox_recal->checkState();
    const bool editable =
        cb_calibrationSet->currentIndex() == m_expertIndex && state == Qt::Unchecked;
    dsb_a->setEnabled(editable);
    dsb_b->setEnabled(editable);
    dsb_c->setEnabled(editable);
    doubleSpinBox_heightAboveFloor->setEnabled(editable);
    if (!m_readOnly)
        cb_calibrationSet->setEnabled(state == Qt::Unchecked);
    if (state == Qt::Checked) {
        stackedWidget->setCurrentIndex(1);
        cb_coordinateType->setEnabled(false);
    } else {
        stackedWidget->setCurrentIndex(0);
        if (!m_readOnly)
            cb_coordinateType->setEnabled(true);
    }
}

void RoomCalibrationDialog::update_calibrate_button()
{
    if (m_calibrationBlocked || m_readOnly)
        return;
    // The height may well be 0; only the distances must be known.
    pb_calibrate->setEnabled(dsb_wand->value() != 0.0 && dsb_a->value() != 0.0 &&
                             dsb_b->value() != 0.0 && dsb_c->value() != 0.0);
}

void RoomCalibrationDialog::on_dsb_wand_valueChanged(double)
{
    update_calibrate_button();
}
void RoomCalibrationDialog::on_dsb_a_valueChanged(double)
{
    update_calibrate_button();
}
void RoomCalibrationDialog::on_dsb_b_valueChanged(double)
{
    update_calibrate_button();
}
void RoomCalibrationDialog::on_dsb_c_valueChanged(double)
{
    update_calibrate_button();
}

void RoomCalibrationDialog::on_checkBox_recal_stateChanged(int state)
{
    switch_recalibration(state);
}

void RoomCalibrationDialog::switch_recalibration(int state)
{
    refresh_input_state();
    if (state != Qt::Checked) {
        tableStaticCameras->hide();
        line_staticCameras->hide();
        label_staticCameras->hide();
        return;
    }
    // That model keeps its static cameras to itself, but the controller still expects them sent.
    if (modelName() != QLatin1String("TESSERA")) {
        line_staticCameras->show();
        label_staticCameras->show();
        tableStaticCameras->show();
    }
    fill_static_cameras();
}

void RoomCalibrationDialog::on_cb_coordinateType_currentIndexChanged(int index)
{
    show_coordinate_type(cb_coordinateType->itemData(index).toString());
}

void RoomCalibrationDialog::show_coordinate_type(const QString& name)
{
    // With the camera-defined system there is no angle tool to describe and nothing to keep.
    //: The controller's name of the camera-defined type, compared with the row's data: keep it
    //: exactly as it is.
    const bool midCamera = name == tr("mid_camera");
    showAll({label_2, cb_calibrationSet, label_3, dsb_a, label_4, dsb_b, label_5, dsb_c, label_6,
             doubleSpinBox_heightAboveFloor},
            !midCamera);
    if (midCamera)
        checkBox_recal->setEnabled(false);
    else if (!m_readOnly)
        checkBox_recal->setEnabled(true);

    const QString path = modelName() == QLatin1String("TESSERA3") && name == MidCamera
                             ? QStringLiteral(":/images/mid_camera_tsr3.png")
                             : QStringLiteral(":/images/") + name + QStringLiteral(".png");
    l_CoordinateSystem->setPixmap(QPixmap(path));
}

void RoomCalibrationDialog::update_error_line(bool available)
{
    if (!available) {
        label_error->setText(tr("<b><font color=red>Tracking is not available!</font></b>"));
        label_error->show();
    } else if (doubleSpinBox_duration->value() == DefaultDuration) {
        label_error->setText(QString());
        label_error->hide();
    } else {
        label_error->setText(
            tr("<font color=red>Room calibration duration differs from the default of %1 s!</font>")
                .arg(DefaultDuration, 0, 'g'));
        label_error->show();
    }
}

void RoomCalibrationDialog::on_doubleSpinBox_duration_valueChanged(double)
{
    update_error_line(true);
}

void RoomCalibrationDialog::on_pushButton_durationDefault_clicked()
{
    doubleSpinBox_duration->setValue(DefaultDuration);
}

void RoomCalibrationDialog::show_details(bool show)
{
    showAll({label_duration, doubleSpinBox_duration, pushButton_durationDefault,
             label_duration_empty, label_lastRoomcal},
            show);
    pushButton_details->setText(show ? QStringLiteral("Hide &details")
                                     : QStringLiteral("Show &details"));
}

void RoomCalibrationDialog::on_pushButton_details_clicked()
{
    show_details(pushButton_details->text().compare(QLatin1String("show &details"),
                                                    Qt::CaseInsensitive) == 0);
}

// ---------------------------------------------------------------------------------------------
// Static cameras

void RoomCalibrationDialog::setup_static_cameras_table()
{
    tableStaticCameras->setColumnCount(4);
    tableStaticCameras->setRowCount(0);
    tableStaticCameras->setHorizontalHeaderLabels(
        {QStringLiteral("Camera"), QStringLiteral("Status"), QStringLiteral("Model"),
         QStringLiteral("Serial")});
    tableStaticCameras->verticalHeader()->hide();
    tableStaticCameras->horizontalHeader()->setSectionsClickable(false);
    tableStaticCameras->horizontalHeader()->setStretchLastSection(true);
    tableStaticCameras->setSelectionMode(QAbstractItemView::NoSelection);
    // Only the check boxes react to the user.
    tableStaticCameras->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void RoomCalibrationDialog::fill_static_cameras()
{
    m_tableReady = false;
    int count = 0;
    CT::getInt(m_io, QStringLiteral("camera number_of_cameras"), &count);
    count = CT::boundedCount(count);
    tableStaticCameras->setRowCount(count);

    for (int i = 1; i <= count; ++i) {
        const QString camera = CT::cameraName(i);
        QString answer;
        CT::sendCommand(m_io, QStringLiteral("morvek2 get camera camera ") + camera, &answer);
        const QString value = CameraText::cameraValue(answer);

        QString modelAnswer;
        CT::sendCommand(
            m_io, QStringLiteral("morvek2 get camera model_desc ") + CameraText::typeWord(value),
            &modelAnswer);
        const QString model = CT::withoutQuotes(CT::word(modelAnswer, 5));

        QString typeCode;
        QString serial;
        CameraText::split(value, &typeCode, &serial);

        bool fixed = false;
        CT::getFlag(m_io, QStringLiteral("roomcal fixed_camera ") + camera, &fixed);
        bool hasReference = true;
        if (atLeast(1, 18))
            CT::getFlag(m_io, QStringLiteral("roomcal has_reference ") + camera, &hasReference);

        if (CameraText::hasSerialDescription(typeCode)) {
            if (atLeast(1, 23))
                serial = answerOf(QStringLiteral("camera serial_desc ") + value);
            else
                serial.clear();
            serial = CT::withoutQuotes(serial);
        }

        const int row = i - 1;
        auto* name = new QTableWidgetItem(camera);
        name->setCheckState(fixed ? Qt::Checked : Qt::Unchecked);
        tableStaticCameras->setItem(row, 0, name);
        tableStaticCameras->setItem(row, 1, new QTableWidgetItem(cameraState(fixed)));
        tableStaticCameras->setItem(row, 2, new QTableWidgetItem(model));
        tableStaticCameras->setItem(row, 3, new QTableWidgetItem(serial));
        if (!hasReference)
            for (int column = 0; column < 4; ++column)
                tableStaticCameras->item(row, column)->setFlags(Qt::NoItemFlags);
    }

    // Every row is one line of text in the table's font beside a check box, so the first row's
    // measured height fits them all; measuring all rows lays out every cell's text anew.
    const int rows = tableStaticCameras->rowCount();
    if (rows > 0) {
        tableStaticCameras->resizeRowToContents(0);
        const int measured = tableStaticCameras->rowHeight(0);
        for (int row = 1; row < rows; ++row)
            tableStaticCameras->setRowHeight(row, measured);
    }
    const int columns = tableStaticCameras->columnCount();
    for (int column = 0; column + 1 < columns; ++column)
        tableStaticCameras->setColumnWidth(column, 488 / columns);
    for (int row = 0; row < tableStaticCameras->rowCount(); ++row)
        for (int column = 1; column < columns; ++column)
            if (QTableWidgetItem* item = tableStaticCameras->item(row, column))
                item->setTextAlignment(Qt::AlignCenter);
    m_tableReady = true;
}

void RoomCalibrationDialog::on_tableStaticCameras_cellChanged(int row, int column)
{
    if (!m_tableReady || column != 0)
        return;
    update_camera_status(row);
}

void RoomCalibrationDialog::update_camera_status(int row)
{
    const QTableWidgetItem* name = tableStaticCameras->item(row, 0);
    QTableWidgetItem* status = tableStaticCameras->item(row, 1);
    if (!name || !status)
        return;
    status->setText(cameraState(name->checkState() != Qt::Unchecked));
}

void RoomCalibrationDialog::apply_static_cameras()
{
    const QString first =
        CT::getStringOr(m_io, QStringLiteral("camera camera c01"), QStringLiteral("0x0C00"));
    if (CameraText::isPairedFirstCamera(first)) {
        for (int camera = 1; camera <= 2; ++camera)
            if (!CT::setParameter(
                    m_io,
                    QStringLiteral("roomcal fixed_camera %1 yes").arg(CT::cameraName(camera))))
                CT::log(m_io,
                        QStringLiteral("Error: Cannot set fixed camera for room recalibration"));
        return;
    }
    for (int row = 0; row < tableStaticCameras->rowCount(); ++row) {
        const QTableWidgetItem* name = tableStaticCameras->item(row, 0);
        if (!name)
            continue;
        const bool fixed = name->checkState() == Qt::Checked;
        CT::sendCommand(m_io,
                        QStringLiteral("morvek2 set roomcal fixed_camera %1 %2")
                            .arg(CT::cameraName(CameraText::numberFromName(name->text())),
                                 fixed ? QStringLiteral("yes") : QStringLiteral("no")),
                        nullptr);
    }
}

int RoomCalibrationDialog::checkedStaticCameras() const
{
    int checked = 0;
    for (int row = 0; row < tableStaticCameras->rowCount(); ++row) {
        const QTableWidgetItem* name = tableStaticCameras->item(row, 0);
        if (name && name->checkState() == Qt::Checked)
            ++checked;
    }
    return checked;
}

// ---------------------------------------------------------------------------------------------
// Calibration

void RoomCalibrationDialog::on_pb_calibrate_clicked()
{
    run_room_calibration();
}

void RoomCalibrationDialog::send_duration()
{
    double current = DefaultDuration;
    if (!CT::getDouble(m_io, QStringLiteral("roomcal duration"), &current)) {
        CT::log(m_io, QStringLiteral("Error: Cannot get information room calibration duration"));
        current = DefaultDuration;
    }
    const double duration = doubleSpinBox_duration->value();
    if (duration != current &&
        !CT::setParameter(m_io, QString::asprintf("roomcal duration %.1f", duration)))
        CT::log(m_io, QStringLiteral("Error: Cannot set room calibration duration"));
}

void RoomCalibrationDialog::run_room_calibration()
{
    if (atLeast(0, 12))
        send_duration();

    if (checkBox_recal->isChecked()) {
        int minimum = 2;
        if (atLeast(1, 9) &&
            !CT::getInt(m_io, QStringLiteral("roomcal fixed_camera_min_number"), &minimum)) {
            CT::log(m_io, QStringLiteral(
                              "Error: Cannot get information of minimum number of fixed camera"));
            minimum = 2;
        }
        if (!modelName().startsWith(QLatin1String("TESSERA")) && checkedStaticCameras() < minimum) {
            const QString text =
                minimum == 1 ? QStringLiteral("At least one camera must be static")
                             : QStringLiteral("At least %1 cameras must be static").arg(minimum);
            QMessageBox::warning(this, tr("MORVEK3"), text, QMessageBox::Ok);
            return;
        }
        CT::setParameter(m_io, QStringLiteral("roomcal type wand_no_angle"));
        apply_static_cameras();
    } else {
        CT::setParameter(m_io, QStringLiteral("roomcal type wand"));
    }

    CT::setParameter(m_io, QString::asprintf("roomcal angle %.3f %.3f %.3f", dsb_a->value(),
                                             dsb_c->value(), dsb_b->value()));
    if (atLeast(1, 23))
        CT::setParameter(m_io, QString::asprintf("roomcal angle_height %.3f",
                                                 doubleSpinBox_heightAboveFloor->value()));
    CT::setParameter(m_io, QString::asprintf("roomcal wand_length %.3f", dsb_wand->value()));
    CT::setParameter(m_io, QStringLiteral("roomcal coordinate_type ") +
                               cb_coordinateType->currentData().toString());
    CT::log(m_io, QStringLiteral("calibration started"));

    if (m_progress->run_calibration("room") == 0) {
        CT::log(m_io, QStringLiteral("calibration canceled"));
        start_tracking();
        return;
    }

    {
        RoomCalibrationResultDlg result(m_io, this, m_versions,
                                        checkBox_recal->isChecked() && checkBox_recal->isEnabled());
        if (result.update_and_exec() == 0) {
            CT::log(m_io, QStringLiteral("calibration discarded"));
            start_tracking();
            return;
        }
    }

    CT::log(m_io, QStringLiteral("calibration accepted"));
    write_record();
    const QString answer =
        CT::commandAnswer(m_io, QStringLiteral("morvek2 roomcal accept_new_calibration"));
    if (answer != QLatin1String("morvek2 ok"))
        report_refused_accept(answer);
    update_last_calibration();
    QDialog::accept();
}

void RoomCalibrationDialog::report_refused_accept(const QString& answer)
{
    // The block is already written and "calibration accepted" logged; both must say that the
    // controller went on with its old calibration.
    const QString quoted = answer.isEmpty() ? QStringLiteral("(no answer)") : answer;
    CT::log(m_io, QStringLiteral("Error: The controller did not adopt the new room calibration, "
                                 "answer: %1")
                      .arg(quoted));
    CalibrationRecord::appendLine(CalibrationRecord::notAdoptedLine(quoted));
    QMessageBox::warning(this, tr("MORVEK3"),
                         tr("The controller did not adopt the new room calibration and kept its "
                            "previous calibration.\n\nAnswer of the controller: %1")
                             .arg(answer.isEmpty() ? tr("(no answer)") : answer),
                         QMessageBox::Ok);
}

void RoomCalibrationDialog::write_record()
{
    int cameras = 0;
    CT::getInt(m_io, QStringLiteral("camera number_of_cameras"), &cameras);
    cameras = CT::boundedCount(cameras);

    CalibrationRecord::appendLine(CalibrationRecord::header(QDateTime::currentDateTime()));
    double wand[2] = {0.0, 0.0};
    CT::getDoubles(m_io, QStringLiteral("roomcal wand_residual"), wand, 2);
    CalibrationRecord::appendLine(CalibrationRecord::wandLine(wand[0], wand[1]));
    for (int i = 1; i <= cameras; ++i) {
        const QString residual =
            answerOf(QStringLiteral("roomcal cam_residual ") + CT::cameraName(i));
        const QString camera = answerOf(QStringLiteral("camera camera ") + CT::cameraName(i));
        CalibrationRecord::appendLine(CalibrationRecord::cameraLine(i, camera, residual));
    }
    CalibrationRecord::appendLine(CalibrationRecord::separator());
    for (int i = 1; i <= cameras; ++i)
        CalibrationRecord::appendLine(CalibrationRecord::commandLine(
            i, answerOf(QStringLiteral("roomcal new ") + CT::cameraName(i))));
}
