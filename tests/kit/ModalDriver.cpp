#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTest>

namespace {
QList<const ModalDriver*>& liveDrivers()
{
    static QList<const ModalDriver*> drivers;
    return drivers;
}
} // namespace

ModalDriver::ModalDriver(int timeoutMs) : m_timeoutMs(timeoutMs)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
    m_timer.start();
    liveDrivers().append(this);
}

ModalDriver::~ModalDriver()
{
    liveDrivers().removeOne(this);
}

bool ModalDriver::anyWaiting()
{
    for (const ModalDriver* driver : liveDrivers())
        if (!driver->done())
            return true;
    return false;
}

void ModalDriver::fail(const QString& error)
{
    m_errors << error;
    if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(QStringLiteral("modal driver: ") + error), __FILE__, __LINE__);
}

bool ModalDriver::clickButton(QWidget* dialog, const QString& buttonName, QString* why)
{
    auto* button = dialog->findChild<QAbstractButton*>(buttonName);
    const QString problem = !button                        ? QStringLiteral("no button")
                            : !button->isVisibleTo(dialog) ? QStringLiteral("hidden button")
                            : !button->isEnabled()         ? QStringLiteral("disabled button")
                                                           : QString();
    if (!problem.isEmpty()) {
        if (why)
            *why = QStringLiteral("%1 %2 in %3").arg(problem, buttonName, dialog->objectName());
        return false;
    }
    button->click();
    return true;
}

ModalDriver& ModalDriver::on(const QString& name, Action action)
{
    m_steps.append({name, std::move(action)});
    return *this;
}

ModalDriver& ModalDriver::click(const QString& dialogName, const QString& buttonName)
{
    return on(dialogName, [this, buttonName](QWidget* w) {
        QString why;
        if (!clickButton(w, buttonName, &why)) {
            fail(why);
            closeAllModals();
        }
    });
}

ModalDriver& ModalDriver::answer(QMessageBox::StandardButton button, QString* title, QString* text)
{
    return on(QStringLiteral("QMessageBox"), [this, button, title, text](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (title)
            *title = box->windowTitle();
        if (text)
            *text = box->text();
        QAbstractButton* b = box->button(button);
        if (!b || !b->isVisibleTo(box) || !b->isEnabled()) {
            fail(QStringLiteral("message box \"%1\" offers no such button").arg(box->text()));
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

void ModalDriver::closeAllModals()
{
    // done() ends the nested loop without running a dialog's own reject() logic.
    for (int closed = 0; closed <= 50; ++closed) {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialog->done(0);
        dialog->hide();
    }
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
            fail(QStringLiteral("timed out waiting for %1 (active modal: %2)")
                     .arg(step.name, w ? w->objectName() + QLatin1Char('/') +
                                             QString::fromLatin1(w->metaObject()->className())
                                       : QStringLiteral("none")));
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
