#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

// Plays the user's part while the code under test sits in a modal dialog's loop: each step is
// tried every 5 ms until it answers true, then the next one; the script gives up after its time
// limit. Steps run on the user-interface thread from inside that loop; a step that opens a
// further modal dialog must do so from a zero timer, so that the next steps can answer it.
class ScriptedUser : public QObject
{
public:
    using Step = std::function<bool()>;

    explicit ScriptedUser(QList<Step> steps, int timeoutMs = 15000) : m_steps(std::move(steps))
    {
        m_limit = timeoutMs;
        m_elapsed.start();
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (m_steps.isEmpty()) {
                m_timer.stop();
                return;
            }
            if (m_elapsed.elapsed() > m_limit) {
                // Given up: the dialogs still open are closed, so that the test ends.
                qWarning("ScriptedUser: %d step(s) not done", int(m_steps.size()));
                m_steps.clear();
                m_timer.stop();
                while (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                    dialog->reject();
                return;
            }
            // A step may spin an event loop (typing, a click that opens a dialog); the timer
            // must not run the next step, or this one again, from inside it.
            if (m_running)
                return;
            m_running = true;
            const Step step = m_steps.front();
            const bool done = step();
            m_running = false;
            if (done)
                m_steps.removeFirst();
        });
        m_timer.start(5);
    }

    // Every step has run.
    bool IsDone() const { return m_steps.isEmpty(); }
    int StepsLeft() const { return int(m_steps.size()); }

    // The dialog of type T that is open and modal now, else nullptr.
    template <class T> static T *Modal()
    {
        auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        return dialog && dialog->isVisible() ? dialog : nullptr;
    }

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

private:
    QList<Step> m_steps;
    QTimer m_timer;
    QElapsedTimer m_elapsed;
    qint64 m_limit = 0;
    bool m_running = false;
};
