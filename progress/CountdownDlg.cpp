#include "CountdownDlg.h"

CountdownDlg::CountdownDlg(QWidget* parent) : QDialog(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &CountdownDlg::updateCountdown);
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
}

void CountdownDlg::start_countdown(const QString& message, int seconds)
{
    msg->setText(message);
    m_remaining = seconds;
    lcdNumber->display(m_remaining);
    m_timer.start(1000);
}

void CountdownDlg::updateCountdown()
{
    --m_remaining;
    lcdNumber->display(m_remaining);
    if (m_remaining > 0)
        return;
    done(1);
}

void CountdownDlg::done(int result)
{
    m_timer.stop();
    QDialog::done(result);
}
