#pragma once

#include "ui_CalibrationProgressDialog.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPair>
#include <QString>
#include <QTimer>
#include <QVector>
#include <vector>

class CameraStatus;
class IOManager;
class RoomCalMessageReceiver;
struct BackendVersions;

// Starts a calibration on the controller and follows it to its end: overall progress, the time
// left in the step, a warning when the wand stops adding coverage, and one tile per camera.
class CalibrationProgressDlg : public QDialog, public Ui::CalibrationProgressDialog
{
    Q_OBJECT

public:
    // The dialog is always a top-level window; parent is accepted for symmetry with the others.
    CalibrationProgressDlg(IOManager* io, QWidget* parent, BackendVersions* versions,
                           bool stepwise);
    // Withdraws the receiver if the host was not told yet, so it never calls a dead object.
    ~CalibrationProgressDlg() override;

    // Runs one calibration of the given type; 1 when the controller finished it, 0 otherwise.
    int run_calibration(const char* type);
    // Withdraws the monitor receiver before the host goes away; the receiver object stays.
    void detach_receiver();

    const std::vector<CameraStatus*>& tiles() const { return m_tiles; }

    // Grid columns for a camera count; 12 for counts beyond the table.
    static int tileColumns(int cameraCount);

    struct StepProgress
    {
        int step = 0;             // 0 when the answer has no leading integer
        bool hasFraction = false; // false keeps the previous step fraction
        double fraction = 0.0;
    };
    // "status step_progress": the step number and the fraction done in that step.
    static StepProgress parseStepProgress(const QString& answer);
    // The pause of a "cal step_pause" answer: "yes 5" gives 5 seconds, anything else none.
    static int pauseSeconds(const QString& answer);
    // The text between the first two double quotes; empty without them.
    static QString quotedMessage(const QString& answer);
    // "N list" from the 2D monitor: (tile, tab) for each listed camera that has a tile.
    static QVector<QPair<int, int>> tabAssignments(const QString& message, int tileCount);

    // Every way the dialog ends stops the polling, so a hidden dialog never talks to the
    // controller.
    void done(int result) override;

public slots:
    void update_cal_status();
    void reject() override;
    void accept() override;
    void show_warning();
    void update_cam_status();
    void onReceiveCameraTabChanges(const QString& msg);
    void onReceiveMostActiveChanges(const QString& msg);

private:
    void build_camera_tiles();
    void fit_to_screen();
    void stop_polling();
    void update_normal();
    void update_stepwise();
    int poll_step_progress();
    void show_error(const QString& message);
    // Reads the activity state and, when the controller stays silent, says so in label_info.
    QString poll_activity(const QString& name);
    void forget_silence();
    static QString silenceNote();
    // The controller's quoted reason in an answer, or the answer itself.
    static QString reasonOf(const QString& answer);
    QString step_name(int step) const;

    IOManager* m_io;
    BackendVersions* m_versions;
    QTimer m_updateTimer;
    QString m_type;
    int m_stepCount = 1;
    int m_currentStep = 1;
    bool m_calculating = false;
    int m_firstPause = 5;
    int m_secondPause = 5;
    bool m_stepwise = false;
    int m_lastPercentage = -1;
    QTimer m_warningTimer;
    std::vector<CameraStatus*> m_tiles;
    int m_cameraCount = 0;
    int m_tickCounter = 0;
    std::vector<int> m_columnTable;
    RoomCalMessageReceiver* m_receiver = nullptr;
    bool m_tilesEnabled = false;
    bool m_receiverRegistered = false;
    // Polls of the activity state that failed in a row, and since when.
    static constexpr int UnansweredPolls = 25;
    static constexpr int UnansweredMs = 5000;
    int m_unansweredPolls = 0;
    bool m_silenceShown = false;
    QElapsedTimer m_unansweredSince;
    QString m_infoBeforeSilence;
    bool m_infoVisibleBeforeSilence = true;
};
