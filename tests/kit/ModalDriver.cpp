#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <algorithm>

namespace {
QList<const ModalDriver*> g_liveDrivers;

// Clicks as an operator would, or says why they could not.
bool press(QAbstractButton* button, QWidget* window, const QString& name, QString* why)
{
    const QString problem = !button                        ? QStringLiteral("no button")
                            : !button->isVisibleTo(window) ? QStringLiteral("hidden button")
                            : !button->isEnabled()         ? QStringLiteral("disabled button")
                                                           : QString();
    if (problem.isEmpty())
        button->click();
    else if (why)
        *why = QStringLiteral("%1 %2 in %3").arg(problem, name, ModalDriver::describe(window));
    return problem.isEmpty();
}
} // namespace

ModalDriver::ModalDriver(int timeoutMs) : m_timeoutMs(timeoutMs)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
    m_timer.start();
    g_liveDrivers.append(this);
}

ModalDriver::~ModalDriver()
{
    g_liveDrivers.removeOne(this);
}

bool ModalDriver::anyWaiting()
{
    return std::any_of(g_liveDrivers.begin(), g_liveDrivers.end(),
                       [](const ModalDriver* driver) { return !driver->done(); });
}

void ModalDriver::fail(const QString& error)
{
    m_errors << error;
    if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(QStringLiteral("modal driver: ") + error), __FILE__, __LINE__);
}

QString ModalDriver::describe(QWidget* w)
{
    QString text = w->objectName() + QLatin1Char('/') + QLatin1String(w->metaObject()->className());
    if (auto* box = qobject_cast<QMessageBox*>(w))
        text += QStringLiteral(" \"%1\": %2").arg(box->windowTitle(), box->text());
    return text;
}

bool ModalDriver::clickButton(QWidget* dialog, const QString& buttonName, QString* why)
{
    return press(dialog->findChild<QAbstractButton*>(buttonName), dialog, buttonName, why);
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
        QString why;
        if (!press(box->button(button), box, "0x" + QString::number(button, 16), &why)) {
            fail(why);
            box->done(0);
        }
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
                     .arg(step.name, w ? describe(w) : QStringLiteral("none")));
            m_next = m_steps.size();
            closeAllModals();
        }
        return;
    }
    m_waitedMs = 0;
    m_lastHandled = w;
    ++m_next;
    QTimer::singleShot(0, this, [target = QPointer<QWidget>(w), action = step.action] {
        if (target)
            action(target);
    });
}
