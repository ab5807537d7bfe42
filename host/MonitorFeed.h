#pragma once

#include <QObject>
#include <QTimer>
#include <QVector>

class DemoWindow;
class IOManager;

// The 2D monitor's side of a calibration run. In the frontend the monitor is a module of its own,
// fed by the controller; the demo's panel cannot be used while the progress dialog's modal loop
// runs, so this feed speaks for it: when a run starts it announces the panel's tab layout, and
// then, from the controller's per-camera progress, names the cameras that gained most since the
// last look as the most active ones.
class MonitorFeed : public QObject
{
    Q_OBJECT

public:
    MonitorFeed(IOManager* io, DemoWindow* window, int cameras, QObject* parent = nullptr);

    void start(int intervalMs = 1000);
    void stop();

public slots:
    // One look at the controller.
    void poll();

private:
    IOManager* m_io;
    DemoWindow* m_window;
    int m_cameras;
    bool m_running = false;
    QVector<double> m_progress;
    QTimer m_timer;
};
