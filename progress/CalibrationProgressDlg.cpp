#include "CalibrationProgressDlg.h"

#include "CameraStatus.h"
#include "CountdownDlg.h"
#include "RoomCalMessageReceiver.h"
#include "plugin/BackendVersions.h"
#include "plugin/ControllerText.h"
#include "plugin/IOManager.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>
#include <QStyle>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

// The controller's progress survives the dialog: a new run starts from where the last poll left
// the values, and a failed read keeps them.
double s_overallFraction = 0.0;
double s_stepFraction = 0.0;

const QLatin1String RoomType("room");
const QLatin1String ReflexScanType("reflex_scan");
const char* const ReceiverName = "RoomCalModule";

// Keeps NaN and out-of-range values out of the int conversion.
int toIntClamped(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 1e9)
        return 1000000000;
    if (value <= -1e9)
        return -1000000000;
    return int(value);
}

int percentOf(double fraction)
{
    return toIntClamped(std::floor(fraction * 100.0));
}

// Reads a leading number as the controller's own clients do (scanf style): blanks skipped, then
// as much of the text as forms a number.
bool leadingDouble(const QByteArray& text, double* value)
{
    char* end = nullptr;
    const double parsed = std::strtod(text.constData(), &end);
    if (end == text.constData())
        return false;
    *value = parsed;
    return true;
}

std::vector<int> makeColumnTable()
{
    std::vector<int> table(101, 12);
    const auto fill = [&table](int from, int to, int columns) {
        for (int count = from; count <= to; ++count)
            table[size_t(count)] = columns;
    };
    for (int count = 0; count <= 5; ++count)
        table[size_t(count)] = count;
    fill(6, 6, 3);
    fill(7, 8, 4);
    fill(9, 10, 5);
    fill(11, 12, 6);
    fill(13, 15, 5);
    fill(16, 18, 6);
    fill(19, 20, 5);
    fill(21, 22, 6);
    fill(23, 23, 5);
    fill(24, 24, 6);
    fill(25, 25, 5);
    fill(26, 42, 6);
    fill(43, 49, 7);
    fill(50, 55, 8);
    fill(56, 62, 9);
    fill(63, 69, 10);
    fill(70, 75, 11);
    fill(76, 100, 12);
    return table;
}

const std::vector<int>& columnTable()
{
    static const std::vector<int> table = makeColumnTable();
    return table;
}

// Room for a window's title in its title bar: the text in a bold font, the window icon and the
// close button.
int titleWidth(const QWidget& window)
{
    QFont bold = window.font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(window.windowTitle()) + 120;
}

} // namespace

CalibrationProgressDlg::CalibrationProgressDlg(IOManager* io, QWidget* parent,
                                               BackendVersions* versions, bool stepwise)
    : QDialog(nullptr), m_updateTimer(this), m_warningTimer(this)
{
    Q_UNUSED(parent);
    setupUi(this);
    m_io = io;
    m_versions = versions;
    m_stepCount = 1;
    m_currentStep = 1;
    m_tickCounter = 0;

    m_receiver = new RoomCalMessageReceiver(this);
    // Withdrawn later even if the host refused it: the host may have kept it all the same.
    if (m_io) {
        m_io->registerReceiver(ReceiverName, m_receiver);
        m_receiverRegistered = true;
    }
    connect(m_receiver, &RoomCalMessageReceiver::CameraTabChanges, this,
            &CalibrationProgressDlg::onReceiveCameraTabChanges);
    connect(m_receiver, &RoomCalMessageReceiver::MostActiveChanges, this,
            &CalibrationProgressDlg::onReceiveMostActiveChanges);

    m_columnTable = columnTable();

    m_updateTimer.setObjectName(QStringLiteral("updateTimer"));
    m_updateTimer.setInterval(200);
    m_updateTimer.setSingleShot(false);
    connect(&m_updateTimer, &QTimer::timeout, this, &CalibrationProgressDlg::update_cal_status);
    connect(&m_updateTimer, &QTimer::timeout, this, &CalibrationProgressDlg::update_cam_status);

    m_firstPause = 5;
    m_secondPause = 5;
    m_stepwise = stepwise;
    label_remaining_time->setText(QString());

    m_warningTimer.setObjectName(QStringLiteral("warningTimer"));
    m_warningTimer.setInterval(5000);
    m_warningTimer.setSingleShot(true);
    connect(&m_warningTimer, &QTimer::timeout, this, &CalibrationProgressDlg::show_warning);

    m_tilesEnabled = m_versions && m_versions->atLeast(1, 11);
    frame_name->setVisible(!m_tilesEnabled);
    frame_grid->setVisible(m_tilesEnabled);
    scrollArea_grid->setVisible(m_tilesEnabled);
    label_warning->clear();
}

int CalibrationProgressDlg::tileColumns(int cameraCount)
{
    const std::vector<int>& table = columnTable();
    return cameraCount >= 0 && size_t(cameraCount) < table.size() ? table[size_t(cameraCount)] : 12;
}

CalibrationProgressDlg::StepProgress
CalibrationProgressDlg::parseStepProgress(const QString& answer)
{
    StepProgress result;
    const QByteArray text = answer.toLatin1();
    char* end = nullptr;
    const long step = std::strtol(text.constData(), &end, 10);
    if (end == text.constData())
        return {};
    result.step = int(qBound<long>(INT_MIN, step, INT_MAX));
    double fraction = 0.0;
    if (leadingDouble(QByteArray(end), &fraction)) {
        result.hasFraction = true;
        result.fraction = fraction;
    }
    return result;
}

int CalibrationProgressDlg::pauseSeconds(const QString& answer)
{
    if (!answer.startsWith(QLatin1String("yes")))
        return 0;
    double seconds = 0.0;
    if (!leadingDouble(ControllerText::word(answer, 1).toLatin1(), &seconds))
        return 0;
    // A negative pause means none; an hour is beyond any sensible wait before a calibration.
    if (!(seconds > 0.0))
        return 0;
    return seconds > 3600.0 ? 3600 : int(seconds);
}

QString CalibrationProgressDlg::quotedMessage(const QString& answer)
{
    const int first = answer.indexOf(QLatin1Char('"'));
    if (first < 0)
        return QString();
    const int second = answer.indexOf(QLatin1Char('"'), first + 1);
    if (second < 0)
        return QString();
    return answer.mid(first + 1, second - first - 1);
}

QVector<QPair<int, int>> CalibrationProgressDlg::tabAssignments(const QString& message,
                                                                int tileCount)
{
    bool ok = false;
    const int perTab = message.section(QLatin1Char(' '), 0, 0).toInt(&ok, 10);
    if (!ok || perTab <= 0)
        return {};
    // Without a blank there is no list, and the empty remainder names no camera.
    QVector<QPair<int, int>> result;
    const QStringList cameras = message.section(QLatin1Char(' '), 1).split(QLatin1Char(','));
    for (int position = 0; position < cameras.size(); ++position) {
        const int camera = cameras.at(position).toInt(&ok, 10);
        if (ok && camera >= 0 && camera < tileCount)
            result.append(qMakePair(camera, position / perTab));
    }
    return result;
}

QString CalibrationProgressDlg::step_name(int step) const
{
    return m_type + QLatin1Char(' ') + ControllerText::numbered('s', step);
}

int CalibrationProgressDlg::run_calibration(const char* type)
{
    if (!m_io)
        return 0;
    m_type = type ? QString::fromLatin1(type) : QString();
    if (m_type == ReflexScanType)
        setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    else
        setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);

    QString description;
    if (!ControllerText::getString(m_io, QStringLiteral("cal type_desc ") + m_type, &description))
        description = m_type;
    description = ControllerText::withoutQuotes(description);
    if (!ControllerText::getInt(m_io, QStringLiteral("cal number_of_steps ") + m_type,
                                &m_stepCount))
        m_stepCount = 1;
    m_firstPause = pauseSeconds(
        ControllerText::getStringOr(m_io, QStringLiteral("cal step_pause ") + step_name(1), {}));

    if (m_stepwise && m_stepCount == 2) {
        // The full command also tells whether the step pauses at all (field 6) and for how
        // long in whole seconds (field 7).
        const auto stepPause = [this](int step, bool* pauses) {
            QString answer;
            ControllerText::sendCommand(
                m_io, QStringLiteral("morvek2 get cal step_pause ") + step_name(step), &answer);
            *pauses = ControllerText::word(answer, 6) == QLatin1String("yes");
            const int seconds = ControllerText::word(answer, 7).toInt();
            return seconds > 0 && seconds <= 3600 ? seconds : 5;
        };
        bool pauses = false;
        const int first = stepPause(1, &pauses);
        if (!pauses) {
            m_stepCount = 1;
        } else {
            m_firstPause = first;
            m_secondPause = stepPause(2, &pauses);
        }
    }

    if (m_firstPause != 0) {
        CountdownDlg countdown(nullptr);
        countdown.start_countdown(QString(), m_firstPause);
        if (countdown.exec() == 0)
            return 0;
    }

    if (m_stepCount == 1) {
        label_info->setText(QString());
    } else {
        QString info = description + tr(" is a %1 step calibration.").arg(m_stepCount);
        if (m_type.contains(ReflexScanType))
            info += tr("\nCurrently this calibration cannot be interrupted!");
        label_info->setText(info);
    }
    pb_cancel->setVisible(!m_type.contains(ReflexScanType));

    if (m_tilesEnabled) {
        build_camera_tiles();
        fit_to_screen();
        resize(minimumSize());
    }
    progressBar_overall->reset();
    for (CameraStatus* tile : m_tiles)
        tile->set_progressBar(0);

    m_calculating = false;
    forget_silence();
    m_updateTimer.start();

    const QString active =
        ControllerText::getStringOr(m_io, QStringLiteral("status active"), QString());
    if (active != QLatin1String("none") && active != QLatin1String("err"))
        ControllerText::sendCommand(m_io, QStringLiteral("morvek2 tracking stop"), nullptr);

    const QString answer =
        ControllerText::commandAnswer(m_io, QStringLiteral("morvek2 cal %1 start").arg(m_type));
    if (answer == QLatin1String("morvek2 ok"))
        return exec();
    m_updateTimer.stop();
    // The caller only learns "not run" and logs a cancel; without this line the operator could
    // not tell a refusal from a cancel of their own.
    ControllerText::log(m_io,
                        QStringLiteral("Error: The controller did not start the calibration: %1")
                            .arg(reasonOf(answer)));
    return 0;
}

void CalibrationProgressDlg::build_camera_tiles()
{
    int count = 0;
    if (!ControllerText::getInt(m_io, QStringLiteral("camera number_of_cameras"), &count)) {
        count = 0;
        ControllerText::log(m_io, QStringLiteral("Error: Unable to get the number of cameras"));
    }
    m_cameraCount = ControllerText::boundedCount(count);
    const int columns = tileColumns(m_cameraCount);

    for (int row = 0; row < gridLayout_cam->rowCount(); ++row) {
        for (int column = 0; column < gridLayout_cam->columnCount(); ++column) {
            QLayoutItem* item = gridLayout_cam->itemAtPosition(row, column);
            if (!item)
                continue;
            gridLayout_cam->removeItem(item);
            delete item->widget();
            delete item;
        }
    }
    m_tiles.clear();

    // Without tiles the grid takes no room at all.
    QSize tileSize(0, 0);
    // Made in the widget that holds the grid: handing a finished tile over to another parent
    // costs as much as building it.
    QWidget* frame = gridLayout_cam->parentWidget();
    for (int index = 0; index < m_cameraCount; ++index) {
        auto* tile = new CameraStatus(m_io, frame, m_versions, index);
        tile->set_tab_number(0);
        if (index == 0)
            tileSize = tile->size();
        m_tiles.push_back(tile);
        gridLayout_cam->addWidget(tile, index / columns, index % columns);
    }

    const int rows = m_cameraCount == 0 ? 0 : (m_cameraCount - 1) / columns + 1;
    setMinimumSize((columns + 1) * tileSize.width() + 80, rows * tileSize.height() + 240);
}

void CalibrationProgressDlg::fit_to_screen()
{
    // The tile area shows every tile while the screen has room for them; on a smaller screen
    // (many cameras, a low resolution, a large scale factor) it scrolls instead, so that the
    // overall bar and Cancel stay on the screen. The room left for the window frame is a guess,
    // as the frame is only known once a window manager has drawn it.
    const QSize frame(16, 40);
    const QScreen* where = screen();
    const QSize room =
        where ? where->availableSize() - frame : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // Tiles take their size from their style sheet and fonts, so they are measured polished.
    frame_grid->ensurePolished();
    const QSize grid = frame_grid->sizeHint();
    scrollArea_grid->setMinimumSize(grid);
    QSize over = (layout()->totalMinimumSize() - room).expandedTo(QSize(0, 0));
    if (!over.isNull()) {
        // Scrolling one way takes a scroll bar's room in the other.
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const QSize withBars =
            grid + QSize(over.height() > 0 ? bar : 0, over.width() > 0 ? bar : 0);
        scrollArea_grid->setMinimumSize(withBars);
        over = (layout()->totalMinimumSize() - room).expandedTo(QSize(0, 0));
        scrollArea_grid->setMinimumSize((withBars - over).expandedTo(QSize(4 * bar, 4 * bar)));
    }
    setMinimumSize(minimumSize().boundedTo(room));
}

void CalibrationProgressDlg::update_cal_status()
{
    if (m_stepCount == 1 || !m_stepwise)
        update_normal();
    else
        update_stepwise();
}

QString CalibrationProgressDlg::poll_activity(const QString& name)
{
    QString active;
    if (ControllerText::getString(m_io, name, &active)) {
        if (m_silenceShown) {
            label_info->setText(m_infoBeforeSilence);
            label_info->setVisible(m_infoVisibleBeforeSilence);
        }
        forget_silence();
        return active;
    }
    if (m_unansweredPolls++ == 0)
        m_unansweredSince.start();
    // The timer ticks every 200 ms, so that many failed polls are at least the silence that
    // counts; polls that themselves wait long let the clock decide first.
    if (!m_silenceShown &&
        (m_unansweredPolls >= UnansweredPolls || m_unansweredSince.hasExpired(UnansweredMs))) {
        m_silenceShown = true;
        // Asking the operator to move the wand would send them looking in the wrong place.
        m_warningTimer.stop();
        label_warning->hide();
        m_infoBeforeSilence = label_info->text();
        m_infoVisibleBeforeSilence = label_info->isVisibleTo(this);
        label_info->setText(silenceNote());
        label_info->show();
    }
    return active;
}

void CalibrationProgressDlg::forget_silence()
{
    m_silenceShown = false;
    m_unansweredPolls = 0;
    m_unansweredSince.invalidate();
}

QString CalibrationProgressDlg::silenceNote()
{
    return tr("<b><font color=red>The controller does not answer</font></b>");
}

QString CalibrationProgressDlg::reasonOf(const QString& answer)
{
    const QString quoted = quotedMessage(answer);
    if (!quoted.isEmpty())
        return quoted;
    return answer.isEmpty() ? QStringLiteral("no answer") : answer;
}

void CalibrationProgressDlg::update_normal()
{
    const QString active = poll_activity(QStringLiteral("status active"));
    if (active == QLatin1String("cal")) {
        ControllerText::getDouble(m_io, QStringLiteral("status progress"), &s_overallFraction);
        const int percent = percentOf(s_overallFraction);
        if (m_type == RoomType) {
            if (percent != m_lastPercentage) {
                if (m_warningTimer.isActive())
                    m_warningTimer.stop();
                label_warning->clear();
            } else if (!m_warningTimer.isActive() && !m_calculating) {
                m_warningTimer.start();
            }
            m_lastPercentage = percent;
        }
        progressBar_overall->setValue(percent);

        const int step = poll_step_progress();

        if (step == 1 && !m_calculating && percent == 100 && label_info->text().isEmpty()) {
            m_calculating = true;
            if (m_warningTimer.isActive())
                m_warningTimer.stop();
            label_warning->hide();
            label_info->show();
            label_info->setText(tr("calculating..."));
        }
    } else if (active == QLatin1String("none")) {
        stop_polling();
        accept();
    } else if (active == QLatin1String("err")) {
        stop_polling();
        QString answer;
        ControllerText::sendCommand(m_io, QStringLiteral("morvek2 get status err"), &answer);
        show_error(quotedMessage(answer));
        done(0);
    }
}

int CalibrationProgressDlg::poll_step_progress()
{
    const StepProgress progress = parseStepProgress(
        ControllerText::getStringOr(m_io, QStringLiteral("status step_progress"), QString()));
    if (progress.hasFraction)
        s_stepFraction = progress.fraction;

    if (m_versions && m_versions->atLeast(1, 4)) {
        const QString answer = ControllerText::getStringOr(
            m_io, QStringLiteral("cal step_duration ") + step_name(m_currentStep), QString());
        double duration = 0.0;
        // Without a readable duration the last estimate is better than a made-up one.
        if (leadingDouble(answer.toLatin1(), &duration)) {
            const double remaining = (1.0 - s_stepFraction) * duration;
            if (std::isfinite(remaining))
                label_remaining_time->setText(
                    tr("remaining time: %1 seconds").arg(toIntClamped(remaining)));
        }
    }
    return progress.step;
}

void CalibrationProgressDlg::update_stepwise()
{
    const QString active = poll_activity(QStringLiteral("status step_active"));
    if (active == QLatin1String("cal 1") || active == QLatin1String("cal 2")) {
        ControllerText::getDouble(m_io, QStringLiteral("status progress"), &s_overallFraction);
        progressBar_overall->setValue(toIntClamped(s_overallFraction * 100.0));
        poll_step_progress();
    } else if (active == QLatin1String("none")) {
        m_updateTimer.stop();
        accept();
    } else if (active == QLatin1String("err")) {
        m_updateTimer.stop();
        QString answer;
        ControllerText::sendCommand(m_io, QStringLiteral("morvek2 get status err"), &answer);
        // Restarting tracking once brings the controller out of the failed step.
        ControllerText::sendCommand(m_io, QStringLiteral("morvek2 tracking start"), nullptr);
        ControllerText::sendCommand(m_io, QStringLiteral("morvek2 tracking stop"), nullptr);
        show_error(quotedMessage(answer));
        done(0);
    } else if (active == QLatin1String("pause 1")) {
        stop_polling();
        CountdownDlg countdown(nullptr);
        countdown.start_countdown(QString(), m_secondPause);
        if (countdown.exec() == 0) {
            done(0);
            return;
        }
        m_calculating = false;
        m_updateTimer.start();
    }
}

void CalibrationProgressDlg::show_error(const QString& message)
{
    // The box closes and the caller logs a cancel; the log must keep the controller's reason.
    ControllerText::log(m_io,
                        QStringLiteral("Error: The calibration failed on the controller: %1")
                            .arg(message.isEmpty() ? QStringLiteral("no reason given") : message));
    // The controller's text may carry markup; it is shown as it came.
    const QByteArray source = message.toUtf8();
    QMessageBox box(QMessageBox::Critical, tr("Calibration Error"),
                    QCoreApplication::translate("CalibrationProgressDlg", source.constData()),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    // A short message makes a box narrower than its own title; the title bar then cuts it off.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(
            new QSpacerItem(titleWidth(box), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
            grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
}

void CalibrationProgressDlg::stop_polling()
{
    m_updateTimer.stop();
    m_calculating = true;
    if (m_warningTimer.isActive())
        m_warningTimer.stop();
    label_warning->hide();
}

void CalibrationProgressDlg::show_warning()
{
    label_info->hide();
    label_warning->show();
    label_warning->setText(
        tr("<b><font color=red>Please move the wand in the view scope of ALL cameras!</font></b>"));
}

void CalibrationProgressDlg::reject()
{
    if (m_type == ReflexScanType)
        return;
    m_updateTimer.stop();
    ControllerText::sendCommand(m_io, QStringLiteral("morvek2 cal %1 stop").arg(m_type), nullptr);
    done(0);
}

void CalibrationProgressDlg::accept()
{
    done(1);
}

void CalibrationProgressDlg::done(int result)
{
    m_updateTimer.stop();
    m_warningTimer.stop();
    QDialog::done(result);
}

void CalibrationProgressDlg::update_cam_status()
{
    if (!m_tilesEnabled)
        return;
    ++m_tickCounter;
    if (m_tickCounter % 3 != 0)
        return;
    for (CameraStatus* tile : m_tiles)
        tile->update_progressBar();
}

void CalibrationProgressDlg::onReceiveCameraTabChanges(const QString& msg)
{
    if (!m_tilesEnabled)
        return;
    for (const auto& assignment : tabAssignments(msg, int(m_tiles.size())))
        m_tiles[size_t(assignment.first)]->set_tab_number(assignment.second);
}

void CalibrationProgressDlg::onReceiveMostActiveChanges(const QString& msg)
{
    if (!m_tilesEnabled)
        return;
    const QStringList active = msg.split(QLatin1Char(','));
    for (size_t i = 0; i < m_tiles.size(); ++i)
        m_tiles[i]->set_most_active(active.contains(QString::number(i)));
}

void CalibrationProgressDlg::detach_receiver()
{
    disconnect(m_receiver, &RoomCalMessageReceiver::CameraTabChanges, this,
               &CalibrationProgressDlg::onReceiveCameraTabChanges);
    disconnect(m_receiver, &RoomCalMessageReceiver::MostActiveChanges, this,
               &CalibrationProgressDlg::onReceiveMostActiveChanges);
    if (m_receiverRegistered)
        m_io->unregisterReceiver(ReceiverName, m_receiver);
    m_receiverRegistered = false;
}

CalibrationProgressDlg::~CalibrationProgressDlg()
{
    if (m_receiverRegistered)
        m_io->unregisterReceiver(ReceiverName, m_receiver);
}
