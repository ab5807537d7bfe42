#include "DemoWindow.h"

#include "MessageBus.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDockWidget>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStatusBar>
#include <QTime>
#include <QVBoxLayout>

namespace {
const QByteArray MonitorSender = "Monitor2d";
}

DemoWindow::DemoWindow(EventLog* log, MessageBus* bus, QWidget* parent)
    : QMainWindow(parent), m_log(log), m_bus(bus)
{
    setObjectName(QStringLiteral("RoomCalDemoWindow"));
    setWindowTitle(QStringLiteral("Room calibration demo host"));
    setWindowIcon(QIcon(QStringLiteral(":/images/icons/morvek_16x16.png")));

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* quit = file->addAction(QStringLiteral("&Quit"), this, &QWidget::close);
    quit->setObjectName(QStringLiteral("action_quit"));
    quit->setShortcut(QKeySequence::Quit);
    m_trackingMenu = menuBar()->addMenu(QStringLiteral("&Tracking"));
    m_trackingMenu->setObjectName(QStringLiteral("menu_tracking"));

    m_logView = new QPlainTextEdit(this);
    m_logView->setObjectName(QStringLiteral("eventLogView"));
    m_logView->setReadOnly(true);
    m_logView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_logView->setMaximumBlockCount(m_log ? m_log->capacity() : 10000);
    setCentralWidget(m_logView);

    auto* dock = new QDockWidget(QStringLiteral("2D monitor"), this);
    dock->setObjectName(QStringLiteral("dock_monitor"));
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dock->setWidget(makeMonitorPanel());
    addDockWidget(Qt::RightDockWidgetArea, dock);

    if (m_log) {
        for (const EventLog::Entry& entry : m_log->entries())
            showEntry(entry);
        connect(m_log, &EventLog::entryAdded, this, &DemoWindow::showEntry);
    }
    resize(900, 560);
}

QWidget* DemoWindow::makeMonitorPanel()
{
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);

    auto* tabs = new QGroupBox(QStringLiteral("Tab layout"), panel);
    auto* form = new QFormLayout(tabs);
    m_camerasPerTab = new QSpinBox(tabs);
    m_camerasPerTab->setObjectName(QStringLiteral("spinBox_camerasPerTab"));
    m_camerasPerTab->setRange(1, 64);
    m_camerasPerTab->setValue(4);
    form->addRow(QStringLiteral("Cameras per tab:"), m_camerasPerTab);
    m_order = new QLineEdit(tabs);
    m_order->setObjectName(QStringLiteral("lineEdit_order"));
    // Sent exactly as typed, so that malformed lists can be tried on the module as well.
    m_order->setWhatsThis(QStringLiteral("0-based camera indices in the monitor's order, "
                                         "separated by commas; sent as typed."));
    m_order->setPlaceholderText(QStringLiteral("0,1,2,3"));
    form->addRow(QStringLiteral("Order:"), m_order);
    auto* send = new QPushButton(QStringLiteral("&Send tab layout"), tabs);
    send->setObjectName(QStringLiteral("pushButton_sendTabs"));
    connect(send, &QPushButton::clicked, this, &DemoWindow::sendTabLayout);
    connect(m_order, &QLineEdit::returnPressed, this, &DemoWindow::sendTabLayout);
    form->addRow(send);
    layout->addWidget(tabs);

    auto* active = new QGroupBox(QStringLiteral("Most active"), panel);
    auto* activeOuter = new QVBoxLayout(active);
    auto* scroll = new QScrollArea(active);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* boxes = new QWidget;
    m_activeLayout = new QVBoxLayout(boxes);
    m_activeLayout->addStretch();
    scroll->setWidget(boxes);
    activeOuter->addWidget(scroll);
    layout->addWidget(active, 1);
    return panel;
}

void DemoWindow::setModuleActions(const QList<QAction*>& actions, bool observer)
{
    m_trackingMenu->clear();
    if (actions.isEmpty()) {
        QAction* none = m_trackingMenu->addAction(observer ? QStringLiteral("(observer mode)")
                                                           : QStringLiteral("(no module)"));
        none->setEnabled(false);
        return;
    }
    m_trackingMenu->addActions(actions);
}

void DemoWindow::setCameraCount(int count)
{
    count = qBound(0, count, 128);
    const QString order = m_order->text();
    while (m_activeBoxes.size() > count)
        delete m_activeBoxes.takeLast();
    while (m_activeBoxes.size() < count) {
        const int index = m_activeBoxes.size();
        auto* box = new QCheckBox(QStringLiteral("c%1").arg(index + 1, 2, 10, QLatin1Char('0')));
        box->setObjectName(QStringLiteral("checkBox_active_%1").arg(index));
        connect(box, &QCheckBox::toggled, this, &DemoWindow::sendMostActive);
        m_activeLayout->insertWidget(m_activeLayout->count() - 1, box);
        m_activeBoxes << box;
    }
    // Keep what the operator typed; offer the plain order otherwise.
    if (order.isEmpty()) {
        QStringList indices;
        for (int i = 0; i < count; ++i)
            indices << QString::number(i);
        m_order->setText(indices.join(QLatin1Char(',')));
    }
}

void DemoWindow::setControllerSummary(const QString& summary)
{
    statusBar()->showMessage(summary);
}

void DemoWindow::setChannelState(bool answering, const QTime& since)
{
    if (!m_channelState) {
        m_channelState = new QLabel(this);
        m_channelState->setObjectName(QStringLiteral("label_channelState"));
        statusBar()->addPermanentWidget(m_channelState);
    }
    const QString time = since.toString(QStringLiteral("HH:mm:ss"));
    m_channelState->setText(answering
                                ? QStringLiteral("controller answers again since %1").arg(time)
                                : QStringLiteral("controller not answering since %1").arg(time));
}

QByteArray DemoWindow::tabMessage() const
{
    return "Monitor2dTabChanged " + QByteArray::number(m_camerasPerTab->value()) + ' ' +
           m_order->text().trimmed().toLatin1();
}

QByteArray DemoWindow::mostActiveMessage() const
{
    QByteArrayList indices;
    for (int i = 0; i < m_activeBoxes.size(); ++i)
        if (m_activeBoxes.at(i)->isChecked())
            indices << QByteArray::number(i);
    return "Monitor2dMostActive " + indices.join(',');
}

void DemoWindow::sendTabLayout()
{
    if (m_bus)
        m_bus->deliver(tabMessage(), MonitorSender);
}

void DemoWindow::sendMostActive()
{
    if (m_bus)
        m_bus->deliver(mostActiveMessage(), MonitorSender);
}

void DemoWindow::showMostActive(const QList<int>& cameras)
{
    for (int i = 0; i < m_activeBoxes.size(); ++i) {
        const QSignalBlocker quiet(m_activeBoxes.at(i));
        m_activeBoxes.at(i)->setChecked(cameras.contains(i));
    }
    sendMostActive();
}

void DemoWindow::showEntry(const EventLog::Entry& entry)
{
    // Entry texts may hold anything, '%' included: no placeholders are filled with them.
    m_logView->appendPlainText(entry.time.toString(QStringLiteral("HH:mm:ss.zzz")) +
                               QStringLiteral("  ") + entry.source + QLatin1Char('/') +
                               entry.category + QLatin1Char(' ') + QString::number(entry.level) +
                               QStringLiteral("  ") + entry.text);
}
