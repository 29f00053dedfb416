#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

// Plays the user's part while the code under test sits in a modal dialog's loop: each step is
// tried every 5 ms until it answers true, then the next one. The script gives up at its time
// limit, counted from its construction and kept even while a step spins an event loop, and then
// closes the modal dialogs still open, so that a failing test ends instead of hanging. Steps run
// on the user-interface thread from inside that loop; a step that opens a further modal dialog
// must do so from a zero timer, so that the next steps can answer it (the Click steps below do
// that already).
class ScriptedUser : public QObject
{
public:
    using Step = std::function<bool()>;

    explicit ScriptedUser(QList<Step> steps, int timeoutMs = 15000);

    // Every step has run, before the time limit.
    bool IsDone() const { return m_steps.isEmpty() && !m_givenUp; }
    int StepsLeft() const { return int(m_steps.size()); }

    // The dialog of type T that is open and modal now, else nullptr.
    template <class T> static T *Modal()
    {
        auto *dialog = qobject_cast<T *>(ActiveModal());
        return dialog && dialog->isVisible() ? dialog : nullptr;
    }
    // The modal dialog open now if its object name is objectName, else nullptr.
    static QDialog *ModalNamed(const QString &objectName);
    // The modal dialog open now if it is of the class className or one derived from it, for
    // tests that do not include the dialog's header.
    static QDialog *ModalOfClass(const char *className);

    // A step that waits for a modal T and then acts on it.
    template <class T> static Step OnModal(std::function<void(T *)> act)
    {
        return [act] {
            T *dialog = Modal<T>();
            if (!dialog)
                return false;
            act(dialog);
            return true;
        };
    }
    static Step OnModalNamed(const QString &objectName, std::function<void(QDialog *)> act);
    static Step OnModalOfClass(const char *className, std::function<void(QDialog *)> act);

    // A step that waits for a modal T (or the modal dialog named dialogName), lets before act on
    // it, then clicks its button named buttonName with the mouse. A missing button fails the
    // test and rejects the dialog, so that the code under test goes on.
    template <class T>
    static Step ClickInModal(const QString &buttonName, std::function<void(T *)> before = {})
    {
        return [buttonName, before] {
            T *dialog = Modal<T>();
            if (!dialog)
                return false;
            ActThenClick(dialog, buttonName, [dialog, before](QDialog *) {
                if (before)
                    before(dialog);
            });
            return true;
        };
    }
    static Step ClickInModalNamed(const QString &dialogName, const QString &buttonName,
                                  std::function<void(QDialog *)> before = {});

private:
    static QWidget *ActiveModal();
    static void ActThenClick(QDialog *dialog, const QString &buttonName,
                             const std::function<void(QDialog *)> &before);
    void Tick();
    void GiveUp();
    void CloseLeftOvers();

    QList<Step> m_steps;
    QTimer m_timer;          // tries the next step
    QTimer m_deadline;       // the time limit
    QTimer m_closer;         // closes what is left open after giving up
    QElapsedTimer m_elapsed; // since giving up
    bool m_running = false;
    bool m_givenUp = false;
    QList<QPointer<QWidget>> m_asked; // closed once after giving up
};
