#pragma once

#include "ui_CameraStatus.h"

#include <QGroupBox>
#include <QString>

class IOManager;
struct BackendVersions;

// One camera's tile in the calibration progress grid: identifier, serial number, 2D monitor tab
// and the camera's own calibration progress.
class CameraStatus : public QGroupBox, public Ui::CameraStatus
{
    Q_OBJECT

public:
    // index is 0-based; the controller names the camera index + 1.
    CameraStatus(IOManager* io, QWidget* parent, BackendVersions* versions, int index);

    // The border tells the most active cameras apart; colours follow the palette at call time.
    void set_most_active(bool active);

    int cameraIndex() const { return m_index; }
    QString serial() const { return m_serial; }
    int tabNumber() const { return m_tab; }

    static const QString BlueBarStyle;
    static const QString GreenBarStyle;

public slots:
    void set_progressBar(int value);
    void set_tab_number(int tab);
    void update_progressBar();

private:
    IOManager* m_io;
    BackendVersions* m_versions;
    int m_index;
    QString m_serial;
    int m_tab = 0;
};
