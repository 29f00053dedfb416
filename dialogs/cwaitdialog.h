#pragma once

#include <QDialog>
#include <QTimer>

class ProjectorManager;
class QLabel;
class QPushButton;

// The small window that stands in front of the registration dialog while the automatic search
// runs: it asks the user to wait and offers the one way to stop the search early.
//
// Modeless: the owner keeps the user-interface thread running and looks at the search on a
// timer. Cancel, Escape and the close box all stop the search: the text turns to
// "Canceling...", the busy cursor shows, and the window stays until the manager no longer
// searches; then it closes and deletes itself. The owner learns of the Cancel through the
// cancelled signal (or IsCancelled while the window exists) and keeps the state itself, since
// the window may be gone by the time its poll comes. User-interface thread only.
class CWaitDialog : public QDialog
{
    Q_OBJECT

public:
    // owner: the window this one stands in front of (its parent); the dialog deletes itself when
    // closed and goes with its owner.
    CWaitDialog(QWidget *owner, ProjectorManager &manager);
    ~CWaitDialog() override;

    // Shows the window; false when it could not be shown.
    bool ShowModeless();
    bool IsCancelled() const { return m_cancelled; }
    // Closes the window for the owner once the search has ended.
    void CloseForOwner();

signals:
    // Cancel was chosen; the search is being stopped.
    void cancelled();

protected:
    void reject() override; // Cancel button and Escape
    void closeEvent(QCloseEvent *event) override;

private:
    void OnCancel();
    void OnCancelPoll();
    void RestoreCursor();

    ProjectorManager &m_manager;
    QLabel *m_text = nullptr;        // 1118
    QLabel *m_icon = nullptr;        // 1000
    QPushButton *m_cancel = nullptr; // 2
    QTimer m_cancelPoll;
    bool m_cancelled = false;
    bool m_closing = false; // a close by the owner or after the search stopped
    bool m_cursorSet = false;
};
