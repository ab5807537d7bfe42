#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>

class QWidget;

// Drives modal windows from inside their exec() loops: steps wait in order for the expected active
// modal widget (by object name; "QMessageBox" for any box) and act from a fresh event-loop turn, so
// an action may open another modal loop. A step not reached in time closes every modal widget;
// that, and a click on a hidden or disabled button, fails the running test.
class ModalDriver : public QObject
{
    Q_OBJECT

public:
    explicit ModalDriver(int timeoutMs = 5000);
    ~ModalDriver() override;

    using Action = std::function<void(QWidget*)>;
    ModalDriver& on(const QString& name, Action action);
    // Clicks the push button with this object name inside the named dialog.
    ModalDriver& click(const QString& dialogName, const QString& buttonName);
    // Answers the next message box with a standard button, keeping its title and text.
    ModalDriver& answer(QMessageBox::StandardButton button, QString* title = nullptr,
                        QString* text = nullptr);
    // Rejects the named dialog (as Escape would).
    ModalDriver& reject(const QString& dialogName);

    bool done() const { return m_next >= m_steps.size(); }
    int stepsTaken() const { return m_next; }
    QStringList errors() const { return m_errors; }

    // Closes every modal widget that is still open.
    static void closeAllModals();
    // Clicks the named button only when it is there, shown and enabled; else false, and why.
    static bool clickButton(QWidget* dialog, const QString& buttonName, QString* why = nullptr);
    // Whether any driver still waits for a window; windows it waits for are its to handle.
    static bool anyWaiting();
    // Object name and class, and for a message box its title and text.
    static QString describe(QWidget* w);

private:
    void poll();
    void fail(const QString& error);

    struct Step
    {
        QString name;
        Action action;
    };
    QList<Step> m_steps;
    int m_next = 0;
    QPointer<QWidget> m_lastHandled;
    QTimer m_timer;
    int m_timeoutMs;
    int m_waitedMs = 0;
    QStringList m_errors;
};
