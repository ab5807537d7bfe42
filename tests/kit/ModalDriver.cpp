#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>

ModalDriver::ModalDriver(int timeoutMs, QObject* parent) : QObject(parent), m_timeoutMs(timeoutMs)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
    m_timer.start();
}

ModalDriver::~ModalDriver() = default;

ModalDriver& ModalDriver::on(const QString& name, Action action)
{
    m_steps.append({name, std::move(action)});
    return *this;
}

ModalDriver& ModalDriver::click(const QString& dialogName, const QString& buttonName)
{
    return on(dialogName, [this, buttonName](QWidget* w) {
        auto* button = w->findChild<QAbstractButton*>(buttonName);
        if (!button) {
            m_errors << QStringLiteral("no button %1 in %2").arg(buttonName, w->objectName());
            closeAllModals();
            return;
        }
        button->click();
    });
}

ModalDriver& ModalDriver::answer(QMessageBox::StandardButton button, QString* title, QString* text,
                                 QMessageBox::Icon* icon)
{
    return on(QStringLiteral("QMessageBox"), [this, button, title, text, icon](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (title)
            *title = box->windowTitle();
        if (text)
            *text = box->text();
        if (icon)
            *icon = box->icon();
        QAbstractButton* b = box->button(button);
        if (!b) {
            m_errors << QStringLiteral("message box \"%1\" has no such button").arg(box->text());
            box->done(0);
            return;
        }
        b->click();
    });
}

ModalDriver& ModalDriver::reject(const QString& dialogName)
{
    return on(dialogName, [](QWidget* w) {
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
    });
}

int ModalDriver::closeAllModals()
{
    int closed = 0;
    while (QWidget* w = QApplication::activeModalWidget()) {
        auto* dialog = qobject_cast<QDialog*>(w);
        if (!dialog || closed > 50)
            break;
        // done() ends the nested loop without running a dialog's own reject() logic.
        dialog->done(0);
        dialog->hide();
        ++closed;
    }
    return closed;
}

void ModalDriver::poll()
{
    if (done())
        return;
    QWidget* w = QApplication::activeModalWidget();
    const Step& step = m_steps.at(m_next);
    const bool matches =
        w && w != m_lastHandled &&
        (step.name == QLatin1String("QMessageBox") ? qobject_cast<QMessageBox*>(w) != nullptr
                                                   : w->objectName() == step.name);
    if (!matches) {
        m_waitedMs += m_timer.interval();
        if (m_waitedMs >= m_timeoutMs) {
            m_errors << QStringLiteral("timed out waiting for %1 (active modal: %2)")
                            .arg(step.name,
                                 w ? w->objectName() + QLatin1Char('/') +
                                         QString::fromLatin1(w->metaObject()->className())
                                   : QStringLiteral("none"));
            m_next = m_steps.size();
            closeAllModals();
        }
        return;
    }
    m_waitedMs = 0;
    m_lastHandled = w;
    ++m_next;
    QPointer<QWidget> target(w);
    Action action = step.action;
    QTimer::singleShot(0, this, [target, action] {
        if (target)
            action(target);
    });
}
