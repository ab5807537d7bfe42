#include "CameraStatus.h"

#include "plugin/ControllerText.h"

#include <QApplication>
#include <QPalette>

const QString CameraStatus::BlueBarStyle = QStringLiteral(
    "QProgressBar{border: 1px solid grey;border-radius: 15px;}\nQProgressBar::chunk{background: "
    "qlineargradient(x1: 0, y1: 0.5, x2: 1, y2: 0.5, stop: 0 blue, stop: 1 white);}");
const QString CameraStatus::GreenBarStyle = QStringLiteral(
    "QProgressBar{border: 1px solid grey;border-radius: 15px;}\nQProgressBar::chunk{background: "
    "qlineargradient(x1: 0, y1: 0.5, x2: 1, y2: 0.5, stop: 0 green, stop: 1 white);}");

CameraStatus::CameraStatus(IOManager* io, QWidget* parent, BackendVersions* versions, int index)
    : QGroupBox(parent), m_io(io), m_versions(versions), m_index(index)
{
    // The tile's own style sheet goes on before its children exist, so that they are made
    // under it rather than each re-styled when it arrives. Polished first, the tile parses the
    // sheet once; unpolished, it parses it at once and again when it is shown.
    ensurePolished();
    set_most_active(false);
    setupUi(this);
    setTitle(ControllerText::cameraName(m_index + 1));

    QString answer;
    ControllerText::sendCommand(
        m_io,
        QStringLiteral("morvek2 get camera camera %1").arg(ControllerText::cameraName(m_index + 1)),
        &answer);
    m_serial = ControllerText::word(answer, 6);
    label_serial->setText(QLatin1Char('#') + m_serial);
    progressBar->setValue(0);
}

void CameraStatus::set_progressBar(int value)
{
    progressBar->setValue(value);
}

void CameraStatus::set_tab_number(int tab)
{
    m_tab = tab;
    label_tab->setText(tr("tab %1").arg(tab + 1, 2, 10, QLatin1Char('0')));
}

void CameraStatus::update_progressBar()
{
    QString answer;
    ControllerText::sendCommand(m_io,
                                QStringLiteral("morvek2 get status camera_progress %1")
                                    .arg(ControllerText::cameraName(m_index + 1)),
                                &answer);
    bool ok = false;
    const float fraction = ControllerText::word(answer, 5).toFloat(&ok);
    // The controller reports a single-precision fraction; keeping the product in float is what
    // makes 0.29 read as 29 here.
    const float product = ok ? fraction * 100.0f : 0.0f;
    int percent = 0;
    // Written so that NaN stays 0 and nothing beyond int reaches the conversion.
    if (product >= 1.0f)
        percent = product < 1e6f ? int(product) : 1000000;

    progressBar->setValue(percent);
    // Applying a style sheet re-parses and re-polishes the bar even when the text is the same,
    // and with a hundred tiles that is most of a refresh; only a change of colour is applied.
    const QString& style = percent == 100 ? GreenBarStyle : BlueBarStyle;
    if (progressBar->styleSheet() != style)
        progressBar->setStyleSheet(style);
}

void CameraStatus::set_most_active(bool active)
{
    const QPalette palette = QApplication::palette();
    const QString highlight = palette.color(QPalette::Active, QPalette::Highlight).name();
    const QString text = palette.color(QPalette::Active, QPalette::WindowText).name();
    const QString style =
        active ? QStringLiteral("QGroupBox{background-color: %1;color: %2;border: 4px solid "
                                "gray;border-radius: 5px;margin-top: 1ex;}\n QGroupBox::title "
                                "{subcontrol-origin: margin;subcontrol-position: top "
                                "center;padding: 0 3px;border: 1px solid gray;border-radius: "
                                "5px;background-color: %3;color: %4;}")
               : QStringLiteral("QGroupBox{background-color: %1;color: %2;border: 0px solid "
                                "gray;border-radius: 5px;margin-top: 1ex;}\nQGroupBox::title "
                                "{subcontrol-origin: margin;subcontrol-position: top "
                                "center;padding: 0 3px;border: 1px solid gray;border-radius: "
                                "5px;background-color: %3;color: %4;}");
    setStyleSheet(style.arg(highlight, text, highlight, text));
}
