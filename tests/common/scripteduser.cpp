#include "scripteduser.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// How long dialogs that refuse to close (busy with the network) get once the script has given
// up, before they are hidden, which ends their loop all the same.
constexpr qint64 kCloseGraceMs = 5000;

} // namespace

ScriptedUser::ScriptedUser(QList<Step> steps, int timeoutMs) : m_steps(std::move(steps))
{
    // Three timers, as Qt does not fire a timer again while its own slot runs: the limit and the
    // closing still come while a step spins an event loop of its own.
    connect(&m_timer, &QTimer::timeout, this, &ScriptedUser::Tick);
    connect(&m_deadline, &QTimer::timeout, this, &ScriptedUser::GiveUp);
    connect(&m_closer, &QTimer::timeout, this, &ScriptedUser::CloseLeftOvers);
    m_deadline.setSingleShot(true);
    m_deadline.start(timeoutMs);
    m_timer.start(5);
}

QDialog *ScriptedUser::ModalNamed(const QString &objectName)
{
    QDialog *dialog = Modal<QDialog>();
    return dialog && dialog->objectName() == objectName ? dialog : nullptr;
}

QDialog *ScriptedUser::ModalOfClass(const char *className)
{
    QDialog *dialog = Modal<QDialog>();
    return dialog && dialog->inherits(className) ? dialog : nullptr;
}

ScriptedUser::Step ScriptedUser::OnModalNamed(const QString &objectName,
                                              std::function<void(QDialog *)> act)
{
    return [objectName, act] {
        QDialog *dialog = ModalNamed(objectName);
        if (!dialog)
            return false;
        act(dialog);
        return true;
    };
}

ScriptedUser::Step ScriptedUser::OnModalOfClass(const char *className,
                                                std::function<void(QDialog *)> act)
{
    return [className, act] {
        QDialog *dialog = ModalOfClass(className);
        if (!dialog)
            return false;
        act(dialog);
        return true;
    };
}

ScriptedUser::Step ScriptedUser::ClickInModalNamed(const QString &dialogName,
                                                   const QString &buttonName,
                                                   std::function<void(QDialog *)> before)
{
    return [dialogName, buttonName, before] {
        QDialog *dialog = ModalNamed(dialogName);
        if (!dialog)
            return false;
        ActThenClick(dialog, buttonName, before);
        return true;
    };
}

QWidget *ScriptedUser::ActiveModal()
{
    return QApplication::activeModalWidget();
}

void ScriptedUser::ActThenClick(QDialog *dialog, const QString &buttonName,
                                const std::function<void(QDialog *)> &before)
{
    const QPointer<QDialog> guard(dialog);
    if (before)
        before(dialog);
    if (!guard || !guard->isVisible())
        return; // before closed it
    auto *button = guard->findChild<QAbstractButton *>(buttonName);
    if (!button || !button->isEnabled()) {
        // A click that cannot happen would leave the dialog's loop running for ever.
        const QString why =
            u"ScriptedUser: no enabled button "_s + buttonName + u" in "_s + guard->objectName();
        QTest::qFail(qPrintable(why), __FILE__, __LINE__);
        guard->reject();
        return;
    }
    // From a zero timer, so that a button opening a further modal dialog leaves the script free
    // to answer that one.
    QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
}

void ScriptedUser::Tick()
{
    if (m_steps.isEmpty()) {
        m_timer.stop();
        m_deadline.stop();
        return;
    }
    // A step may spin an event loop (typing, a click that opens a dialog); the next step, or
    // this one again, must not run from inside it.
    if (m_running)
        return;
    m_running = true;
    const Step step = m_steps.front();
    const bool done = step();
    m_running = false;
    // A step still running when the script gave up does not count as done.
    if (done && !m_givenUp)
        m_steps.removeFirst();
}

void ScriptedUser::GiveUp()
{
    qWarning("ScriptedUser: %d step(s) not done", int(m_steps.size()));
    m_givenUp = true;
    m_timer.stop();
    m_elapsed.start();
    m_closer.start(5);
    CloseLeftOvers();
}

void ScriptedUser::CloseLeftOvers()
{
    QWidget *modal = ActiveModal();
    if (!modal) {
        m_closer.stop();
        return;
    }
    if (m_elapsed.elapsed() > kCloseGraceMs) {
        modal->hide();
        return;
    }
    // Each dialog is asked once: some show a waiting cue on every close request.
    if (m_asked.contains(modal))
        return;
    m_asked.append(modal);
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}
