#include "MonitorFeed.h"

#include "DemoWindow.h"
#include "plugin/IOManager.h"

#include <QApplication>
#include <cstring>

MonitorFeed::MonitorFeed(IOManager* io, DemoWindow* window, int cameras, QObject* parent)
    : QObject(parent), m_io(io), m_window(window), m_cameras(qMax(0, cameras))
{
    // While no modal dialog is up the operator drives the panel, and the controller is spared
    // the reads (a silent one would stall the window at every look).
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (QApplication::activeModalWidget())
            poll();
    });
}

void MonitorFeed::start(int intervalMs)
{
    m_timer.start(intervalMs);
}

void MonitorFeed::stop()
{
    m_timer.stop();
}

void MonitorFeed::poll()
{
    char active[200] = {};
    const bool running =
        m_io->getString(active, "%s", "status active") == 0 && std::strcmp(active, "cal") == 0;
    if (!running) {
        m_running = false;
        return;
    }
    if (!m_running) {
        // The progress dialog has just built its tiles: tell them where the monitor shows them.
        m_running = true;
        m_progress.fill(0.0, m_cameras);
        m_window->sendTabLayout();
    }

    QList<int> mostActive;
    double largestGain = 0.0;
    for (int i = 0; i < m_cameras; ++i) {
        double progress = 0.0;
        if (m_io->getDouble(&progress, "status camera_progress c%02d", i + 1) != 0)
            continue;
        const double gain = progress - m_progress[i];
        m_progress[i] = progress;
        // Gains within a rounding step of each other count as equal.
        if (gain > largestGain + 1e-6) {
            largestGain = gain;
            mostActive = {i};
        } else if (gain > 1e-6 && gain >= largestGain - 1e-6) {
            mostActive << i;
        }
    }
    m_window->showMostActive(mostActive);
}
