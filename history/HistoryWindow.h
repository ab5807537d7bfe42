#pragma once

#include "HealthRules.h"
#include "RestoreTransaction.h"

#include <QMainWindow>
#include <QSet>

class CalibrationListModel;
class CameraTableModel;
class IOManager;
class QAction;
class QFileSystemWatcher;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QStackedWidget;
class QTableView;
class QTimer;
namespace QtCharts {
class QChartView;
}

// The calibration history: the record's calibrations, the cameras of the selected one, and their
// residuals over time. A thin view over the models; it follows the file as the module appends to
// it. With a command channel it can also put a recorded calibration back on the controller.
class HistoryWindow : public QMainWindow
{
    Q_OBJECT

public:
    // io may be null: the window then only reads. Neither is owned.
    explicit HistoryWindow(const QString& path, IOManager* io = nullptr,
                           const HealthSettings& settings = HealthSettings(),
                           QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // Where restore steps go; the default writes them to stderr.
    void setLogger(RestoreTransaction::Logger logger);
    const CalibrationHistory& history() const { return m_history; }

public slots:
    void reload();
    void selectBlock(int blockIndex);
    bool exportTo(const QString& fileName);  // .json, otherwise CSV
    bool saveChart(const QString& fileName); // PNG
    void restoreSelected();

private slots:
    void exportAs();
    void saveChartAs();
    void cameraPicked(QListWidgetItem* item);

private:
    void rebuildChart();
    void fillCameraPicker();
    int selectedBlock() const;
    // Serials (empty for the wand) with an outlier or drift flag in the newest calibration.
    QSet<QString> flaggedInNewest() const;
    void watch();

    QString m_path;
    IOManager* m_io;
    HealthSettings m_settings;
    RestoreTransaction::Logger m_logger;
    CalibrationHistory m_history;
    QVector<QVector<HealthFlag>> m_flags;

    CalibrationListModel* m_listModel;
    CameraTableModel* m_cameraModel;
    QStackedWidget* m_stack;
    QLabel* m_empty;
    QTableView* m_list;
    QTableView* m_cameras;
    QtCharts::QChartView* m_chart;
    QListWidget* m_picker;
    QLabel* m_status;
    QAction* m_restore;
    QFileSystemWatcher* m_watcher;
    QTimer* m_reloadTimer;
};
