#pragma once

#include "ui_CountdownDialog.h"

#include <QDialog>
#include <QString>
#include <QTimer>

// Counts whole seconds down before a calibration (or one of its steps) begins. exec() returns 1
// when the count reached zero or the operator pressed "Start now", 0 when the run must not start.
class CountdownDlg : public QDialog, private Ui::CountdownDialog
{
    Q_OBJECT

public:
    explicit CountdownDlg(QWidget* parent = nullptr);

    void start_countdown(const QString& message, int seconds);

    // A dialog that has ended must not keep ticking, or a later tick would end it again.
    void done(int result) override;

public slots:
    void updateCountdown();

private:
    int m_remaining = 0;
    QTimer m_timer;
};
