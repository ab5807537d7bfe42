#include "HistoryWindow.h"

#include "CalibrationListModel.h"
#include "CameraTableModel.h"
#include "HistoryExport.h"
#include "RecordParser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QScreen>
#include <QSet>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cstdio>

using namespace QtCharts;

namespace {
// Above this many cameras only the flagged ones are drawn at first; the operator picks more.
constexpr int AllCamerasUpTo = 16;
constexpr int WandItem = -1;

QTableView* makeTable(QAbstractItemModel* model, const QString& name, QWidget* parent)
{
    auto* view = new QTableView(parent);
    view->setObjectName(name);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    view->setWordWrap(false);
    return view;
}
} // namespace

HistoryWindow::HistoryWindow(const QString& path, IOManager* io, const HealthSettings& settings,
                             QWidget* parent)
    : QMainWindow(parent), m_path(path), m_io(io), m_settings(settings),
      m_listModel(new CalibrationListModel(this)), m_cameraModel(new CameraTableModel(this)),
      m_watcher(new QFileSystemWatcher(this)), m_reloadTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(tr("Calibration history"));
    m_logger = [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };

    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* reloadAction = file->addAction(tr("&Reload"), this, &HistoryWindow::reload);
    reloadAction->setShortcut(QKeySequence::Refresh);
    reloadAction->setObjectName(QStringLiteral("action_reload"));
    file->addAction(tr("&Export…"), this, &HistoryWindow::exportAs)
        ->setObjectName(QStringLiteral("action_export"));
    file->addAction(tr("Save &chart as PNG…"), this, &HistoryWindow::saveChartAs)
        ->setObjectName(QStringLiteral("action_saveChart"));
    file->addSeparator();
    file->addAction(tr("&Close"), this, &QWidget::close)->setShortcut(QKeySequence::Close);
    QMenu* calibration = menuBar()->addMenu(tr("&Calibration"));
    m_restore = calibration->addAction(tr("&Restore…"), this, &HistoryWindow::restoreSelected);
    m_restore->setObjectName(QStringLiteral("action_restore"));
    QToolBar* tools = addToolBar(tr("Actions"));
    tools->setObjectName(QStringLiteral("toolBar_actions"));
    tools->addActions({reloadAction, m_restore});

    m_empty = new QLabel(this);
    m_empty->setObjectName(QStringLiteral("label_empty"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    m_empty->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_list = makeTable(m_listModel, QStringLiteral("tableView_calibrations"), this);
    m_cameras = makeTable(m_cameraModel, QStringLiteral("tableView_cameras"), this);
    m_chart = new QChartView(new QChart, this);
    m_chart->setObjectName(QStringLiteral("chartView_residuals"));
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumHeight(220);
    m_picker = new QListWidget(this);
    m_picker->setObjectName(QStringLiteral("listWidget_cameras"));
    m_picker->setToolTip(tr("Cameras shown in the chart"));
    m_picker->setMaximumWidth(180);

    auto* tablesSplit = new QSplitter(Qt::Horizontal);
    tablesSplit->addWidget(m_list);
    tablesSplit->addWidget(m_cameras);
    tablesSplit->setSizes({700, 400});
    auto* chartSplit = new QSplitter(Qt::Horizontal);
    chartSplit->addWidget(m_chart);
    chartSplit->addWidget(m_picker);
    chartSplit->setStretchFactor(0, 1);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(tablesSplit);
    split->addWidget(chartSplit);

    m_stack = new QStackedWidget(this);
    m_stack->addWidget(m_empty);
    m_stack->addWidget(split);
    setCentralWidget(m_stack);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("label_status"));
    statusBar()->addWidget(m_status, 1);

    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                m_cameraModel->setBlock(&m_history, &m_flags,
                                        m_listModel->blockIndex(current.row()));
                m_cameras->resizeColumnsToContents();
                m_restore->setEnabled(m_io && current.isValid());
            });
    connect(m_picker, &QListWidget::itemChanged, this, &HistoryWindow::cameraPicked);
    // The module writes a block line by line: wait for a quiet moment before reading it.
    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(300);
    connect(m_reloadTimer, &QTimer::timeout, this, &HistoryWindow::reload);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, m_reloadTimer,
            QOverload<>::of(&QTimer::start));
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_reloadTimer,
            QOverload<>::of(&QTimer::start));

    m_restore->setEnabled(false);
    if (!m_io)
        m_restore->setToolTip(tr("Needs a controller connection (--controller HOST:PORT)"));
    // A 1366×768 screen, or 1600×1000 at a scale factor of 1.5, leaves less than the usual size;
    // the frame a window manager adds needs room too.
    resize(QSize(1280, 700).boundedTo(screen()->availableGeometry().size() - QSize(16, 40)));
    reload();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::setLogger(RestoreTransaction::Logger logger)
{
    m_logger = std::move(logger);
}

void HistoryWindow::watch()
{
    // A file that is replaced or appears later drops out of the watch: add it anew each time.
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!m_watcher->directories().contains(folder) && QFileInfo::exists(folder))
        m_watcher->addPath(folder);
    if (!m_watcher->files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher->addPath(m_path);
}

void HistoryWindow::reload()
{
    const int selected = selectedBlock();
    const int previousCount = m_history.blocks.size();
    m_history = RecordParser::parseFile(m_path);
    m_flags = HealthRules::evaluate(m_history, m_settings);
    m_listModel->setHistory(&m_history, &m_flags);
    m_list->resizeColumnsToContents();
    watch();

    if (m_history.blocks.isEmpty()) {
        m_empty->setText(
            (m_history.fileFound ? tr("No calibration has been recorded yet.")
                                 : tr("There is no calibration record yet.")) +
            QStringLiteral("\n\n") +
            tr("Every accepted room calibration is appended to\n%1\nThis window shows it as soon "
               "as it appears.")
                .arg(QDir::toNativeSeparators(m_path)));
        m_stack->setCurrentWidget(m_empty);
    } else {
        m_stack->setCurrentIndex(1);
    }
    QStringList skipped;
    for (const SkippedLine& line : m_history.skipped.mid(0, 50))
        skipped << tr("line %1: %2: %3")
                       .arg(line.line)
                       .arg(QCoreApplication::translate("RecordParser", qPrintable(line.reason)),
                            line.text.left(80));
    m_status->setText(tr("%1 calibrations, %2 lines skipped in %3")
                          .arg(m_history.blocks.size())
                          .arg(m_history.skipped.size())
                          .arg(QDir::toNativeSeparators(m_path)));
    m_status->setToolTip(skipped.join(QLatin1Char('\n')));

    fillCameraPicker();
    rebuildChart();
    // A new block is what the operator wants to see; otherwise keep the selection.
    selectBlock(m_history.blocks.size() != previousCount || selected < 0
                    ? m_history.blocks.size() - 1
                    : selected);
}

QSet<QString> HistoryWindow::flaggedInNewest() const
{
    QSet<QString> flagged;
    if (!m_flags.isEmpty())
        for (const HealthFlag& flag : m_flags.last())
            if (HealthRules::isQuality(flag.kind))
                flagged << flag.serial;
    return flagged;
}

int HistoryWindow::selectedBlock() const
{
    return m_listModel->blockIndex(m_list->currentIndex().row());
}

void HistoryWindow::selectBlock(int blockIndex)
{
    const int row = m_listModel->rowOf(blockIndex);
    if (row < 0) {
        m_cameraModel->setBlock(&m_history, &m_flags, -1);
        m_restore->setEnabled(false);
        return;
    }
    m_list->setCurrentIndex(m_listModel->index(row, 0));
}

void HistoryWindow::fillCameraPicker()
{
    // The operator's picks stay; a camera new to the list is picked by the first-time rule.
    QSet<QString> known, checked;
    for (int i = 0; i < m_picker->count(); ++i) {
        const QString serial = m_picker->item(i)->data(Qt::UserRole).toString();
        known << serial;
        if (m_picker->item(i)->checkState() == Qt::Checked)
            checked << serial;
    }
    const bool first = known.isEmpty();

    QStringList serials;
    QSet<QString> seen;
    for (const CalibrationBlock& block : qAsConst(m_history.blocks))
        for (const CameraResult& camera : block.cameras)
            if (!seen.contains(camera.serial)) {
                seen << camera.serial;
                serials << camera.serial;
            }
    const QSet<QString> flagged = flaggedInNewest();

    const QSignalBlocker blocker(m_picker);
    m_picker->clear();
    auto* wand = new QListWidgetItem(tr("Wand"), m_picker);
    wand->setData(Qt::UserRole, QString());
    wand->setData(Qt::UserRole + 1, WandItem);
    wand->setCheckState(first || checked.contains(QString()) ? Qt::Checked : Qt::Unchecked);
    for (const QString& serial : qAsConst(serials)) {
        auto* item = new QListWidgetItem(serial, m_picker);
        item->setData(Qt::UserRole, serial);
        const bool show = known.contains(serial)
                              ? checked.contains(serial)
                              : serials.size() <= AllCamerasUpTo || flagged.contains(serial);
        item->setCheckState(show ? Qt::Checked : Qt::Unchecked);
        if (flagged.contains(serial))
            item->setText(tr("%1 (flagged)").arg(serial));
    }
}

void HistoryWindow::rebuildChart()
{
    // Only the picked cameras become series: a long history of many cameras would otherwise
    // hand the chart millions of points nobody looks at.
    QSet<QString> picked;
    bool wandPicked = false;
    for (int i = 0; i < m_picker->count(); ++i) {
        const QListWidgetItem* item = m_picker->item(i);
        if (item->checkState() != Qt::Checked)
            continue;
        if (item->data(Qt::UserRole + 1).toInt() == WandItem)
            wandPicked = true;
        else
            picked << item->data(Qt::UserRole).toString();
    }
    bool allDated = true;
    for (const CalibrationBlock& block : qAsConst(m_history.blocks))
        allDated = allDated && block.date.isValid();
    const auto x = [allDated](const CalibrationBlock& block) {
        return allDated ? double(block.date.toMSecsSinceEpoch()) : double(block.number);
    };
    const QSet<QString> flagged = flaggedInNewest();

    // Points are gathered first and handed over whole: appending one by one costs a signal each.
    QVector<QPointF> wandPoints;
    QHash<QString, QVector<QPointF>> points;
    QStringList order;
    double left = qInf(), right = -qInf(), bottom = qInf(), top = -qInf();
    const auto add = [&](QVector<QPointF>& line, double px, double py) {
        line.append({px, py});
        left = qMin(left, px);
        right = qMax(right, px);
        bottom = qMin(bottom, py);
        top = qMax(top, py);
    };
    for (const CalibrationBlock& block : qAsConst(m_history.blocks)) {
        if (!block.adopted)
            continue; // what the controller refused is no part of the room's history
        if (wandPicked && block.wandResidual == block.wandResidual)
            add(wandPoints, x(block), block.wandResidual);
        for (const CameraResult& camera : block.cameras) {
            if (!camera.hasValues() || !picked.contains(camera.serial))
                continue;
            QVector<QPointF>& line = points[camera.serial];
            if (line.isEmpty())
                order << camera.serial;
            add(line, x(block), camera.residual);
        }
    }

    auto* chart = new QChart;
    chart->setTitle(tr("Residual per calibration"));
    chart->legend()->setAlignment(Qt::AlignRight);
    if (wandPicked) {
        auto* wand = new QLineSeries;
        wand->setName(tr("Wand"));
        wand->setPen(QPen(Qt::black, flagged.contains(QString()) ? 4 : 2, Qt::DashLine));
        wand->replace(wandPoints);
        chart->addSeries(wand);
    }
    for (const QString& serial : qAsConst(order)) {
        auto* line = new QLineSeries;
        line->setName(flagged.contains(serial) ? tr("%1 (flagged)").arg(serial) : serial);
        line->replace(points.value(serial));
        chart->addSeries(line);
        if (flagged.contains(serial)) {
            QPen pen = line->pen();
            pen.setWidth(4);
            line->setPen(pen);
        }
    }

    QAbstractAxis* xAxis;
    if (allDated) {
        auto* axis = new QDateTimeAxis;
        axis->setFormat(QStringLiteral("yyyy-MM-dd"));
        axis->setTitleText(tr("Date"));
        xAxis = axis;
    } else {
        auto* axis = new QValueAxis;
        axis->setLabelFormat(QStringLiteral("%d"));
        axis->setTitleText(tr("Calibration"));
        xAxis = axis;
    }
    auto* yAxis = new QValueAxis;
    yAxis->setTitleText(tr("Residual"));
    // The axes cover every point, not only those of the first series attached to them.
    if (left <= right) {
        const double margin = qMax((top - bottom) * 0.05, 0.001);
        yAxis->setRange(qMax(0.0, bottom - margin), top + margin);
        if (allDated)
            static_cast<QDateTimeAxis*>(xAxis)->setRange(
                QDateTime::fromMSecsSinceEpoch(qint64(left)),
                QDateTime::fromMSecsSinceEpoch(qint64(right) + (left == right ? 1000 : 0)));
        else
            static_cast<QValueAxis*>(xAxis)->setRange(left, qMax(right, left + 1));
    }
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(xAxis);
        series->attachAxis(yAxis);
    }
    QChart* old = m_chart->chart();
    m_chart->setChart(chart);
    delete old;
}

void HistoryWindow::cameraPicked(QListWidgetItem*)
{
    rebuildChart();
}

bool HistoryWindow::exportTo(const QString& fileName)
{
    QSaveFile file(fileName);
    const bool json = fileName.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
    return file.open(QIODevice::WriteOnly) &&
           file.write(json ? HistoryExport::json(m_history, m_flags)
                           : HistoryExport::csv(m_history, m_flags)) >= 0 &&
           file.commit();
}

bool HistoryWindow::saveChart(const QString& fileName)
{
    return m_chart->grab().save(fileName, "PNG");
}

void HistoryWindow::exportAs()
{
    QString filter;
    const QString name = QFileDialog::getSaveFileName(this, tr("Export calibration history"),
                                                      QStringLiteral("calibration-history.csv"),
                                                      tr("CSV (*.csv);;JSON (*.json)"), &filter);
    if (name.isEmpty())
        return;
    // The chosen filter decides when the name has no suffix of its own.
    const bool json = filter.contains(QLatin1String("*.json"));
    const QString target = QFileInfo(name).suffix().isEmpty()
                               ? name + (json ? QStringLiteral(".json") : QStringLiteral(".csv"))
                               : name;
    if (!exportTo(target))
        QMessageBox::warning(this, windowTitle(), tr("Cannot write %1.").arg(target));
}

void HistoryWindow::saveChartAs()
{
    const QString name = QFileDialog::getSaveFileName(
        this, tr("Save chart"), QStringLiteral("calibration-history.png"), tr("PNG image (*.png)"));
    if (!name.isEmpty() && !saveChart(name))
        QMessageBox::warning(this, windowTitle(), tr("Cannot write %1.").arg(name));
}

void HistoryWindow::restoreSelected()
{
    const int index = selectedBlock();
    if (!m_io || index < 0)
        return;
    const CalibrationBlock block = m_history.blocks.at(index);
    QStringList commands;
    QString error;
    if (!RecordParser::readCommands(m_path, block, &commands, &error)) {
        QMessageBox::warning(this, tr("Restore"), error);
        return;
    }
    RestoreTransaction transaction(m_io, m_logger);
    const auto confirm = [this](const RestoreTransaction::Plan& plan) {
        QMessageBox box(QMessageBox::Question, tr("Restore"),
                        tr("Put calibration %1 of %2 back on configuration %3?\n\nThe current "
                           "calibration is kept and comes back if anything fails.")
                            .arg(plan.block)
                            .arg(plan.date, plan.configuration),
                        QMessageBox::Yes | QMessageBox::Cancel, this);
        box.setDetailedText(tr("Cameras: %1\n\n%2")
                                .arg(plan.cameras.join(QStringLiteral(", ")),
                                     plan.commands.join(QLatin1Char('\n'))));
        box.setDefaultButton(QMessageBox::Cancel);
        return box.exec() == QMessageBox::Yes;
    };
    const RestoreTransaction::Report report = transaction.restore(block, commands, confirm);
    if (!report.changed && !report.success && report.cameras.isEmpty() && report.summary.isEmpty())
        return;
    QMessageBox box(report.success ? QMessageBox::Information : QMessageBox::Warning, tr("Restore"),
                    report.summary, QMessageBox::Ok, this);
    if (!report.cameras.isEmpty())
        box.setDetailedText(report.cameras.join(QLatin1Char('\n')));
    box.exec();
}
