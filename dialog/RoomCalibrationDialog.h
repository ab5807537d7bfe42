#pragma once

#include "ui_roomCalibration.h"

#include <QDialog>
#include <QIcon>
#include <QVariantList>

class IOManager;
struct BackendVersions;
class CalibrationProgressDlg;
class QKeyEvent;

// The room calibration dialog that the "&Room calibration" action opens.
class RoomCalibrationDialog : public QDialog, public Ui::roomCalibration
{
    Q_OBJECT

public:
    RoomCalibrationDialog(IOManager* io, QWidget* parent, BackendVersions* versions);
    ~RoomCalibrationDialog() override;

    CalibrationProgressDlg* progressDialog() const { return m_progress; }

public slots:
    int update_and_exec();

private slots:
    void on_pushButton_advanced_clicked();
    void on_doubleSpinBox_duration_valueChanged(double value);
    void on_pushButton_durationDefault_clicked();
    void on_pushButton_details_clicked();
    void on_tableStaticCameras_cellChanged(int row, int column);
    void on_cb_calibrationSet_currentIndexChanged(int index);
    void on_cb_coordinateType_currentIndexChanged(int index);
    void on_pb_calibrate_clicked();
    void on_checkBox_recal_stateChanged(int state);
    void on_dsb_wand_valueChanged(double d);
    void on_dsb_a_valueChanged(double d);
    void on_dsb_b_valueChanged(double d);
    void on_dsb_c_valueChanged(double d);
    void keyPressEvent(QKeyEvent* event) override;
    void on_pb_exit_clicked();

private:
    bool atLeast(int major, int minor) const;
    QString modelName() const;
    QString answerOf(const QString& name) const;

    // Opening
    void load_coordinate_types();
    void check_read_only();
    void set_available(bool available);
    void update_last_calibration();
    void select_calibration_set(const QVariantList& values);
    void select_coordinate_type(const QString& name);
    void check_calibration_possible();
    void start_tracking();
    void stop_tracking();

    // Inputs
    void build_calibration_sets();
    void apply_calibration_set(int index);
    void apply_angle_values(double a, double c, double b, double height);
    void refresh_input_state();
    void update_calibrate_button();
    void switch_recalibration(int state);
    void show_coordinate_type(const QString& name);
    void update_error_line(bool available);
    void show_details(bool show);

    // Static cameras
    void setup_static_cameras_table();
    void fill_static_cameras();
    void update_camera_status(int row);
    void apply_static_cameras();
    int checkedStaticCameras() const;

    // Calibration
    void run_room_calibration();
    void send_duration();
    void write_record();
    void report_refused_accept(const QString& answer);

    IOManager* m_io;
    int m_expertIndex = 0;
    QWidget* m_parent;
    BackendVersions* m_versions;
    bool m_calibrationBlocked = false;
    bool m_tableReady = true;
    bool m_readOnly = false;
    QIcon m_lockIcon;
    CalibrationProgressDlg* m_progress = nullptr;
};
