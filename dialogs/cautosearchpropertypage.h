#pragma once

#include "model/projectormanager.h"

#include "model/dialogworker.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

class CWaitDialog;
class Projector;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// "Auto Search": searches the local networks, lists what answered, takes passwords for the
// projectors that ask for one, and registers the checked rows.
//
// The search, every password check and the refresh of newly registered projectors run on the
// page's worker (model/dialogworker.h); the page is busy meanwhile (busyChanged) and touches no
// candidate until the worker has handed back. Registry changes happen here, on the user-interface
// thread.
class CAutoSearchPropertyPage : public QWidget
{
    Q_OBJECT

public:
    enum Column { COLUMN_SELECT = 0, COLUMN_PASSWORD = 1, COLUMN_NAME = 2 };
    static constexpr int PADLOCK_OPEN = 0;
    static constexpr int PADLOCK_CLOSED = 1;

    // isRefreshing tells whether the owner's status refresh runs (a search is refused then);
    // none means never.
    CAutoSearchPropertyPage(ProjectorManager &manager, std::function<bool()> isRefreshing,
                            QWidget *parent = nullptr);
    ~CAutoSearchPropertyPage() override; // waits for a worker still running

    void OnSetActive();
    void OnClose(); // the sheet closes
    // The sheet is to close once this page is idle: a running search is cancelled, and the
    // page asks and tells nothing more.
    void OnSheetClosing();
    bool IsBusy() const;

    void FillProjectorList();
    void OnClickedAutoSearch();
    void OnClickedRegister();
    // Asks for one password and tries it on every locked row, on the worker.
    void AuthenticateAll();

    QTreeWidget *List() const { return m_listCtrl; }
    QPushButton *AutoSearchButton() const { return m_btnAutoSearch; }
    QPushButton *RegisterButton() const { return m_btnRegister; }
    CWaitDialog *WaitDialog() const { return m_pWaitDialog; }
    // The found projectors, row i showing element i.
    const ProjectorManager::SearchResults &FoundProjectors() const { return m_pFoundProjectors; }
    // Whether the last search was cancelled; kept after the wait dialog has gone.
    bool WasSearchCancelled() const { return m_searchCancelled; }

signals:
    // A search, a password check or a registration has ended.
    void idle();
    // The page waits for the network (true) or no longer (false).
    void busyChanged(bool busy);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SizeColumns();
    void SetRow(QTreeWidgetItem *item, const Projector &projector, bool checked);
    void OnSearchEnded(ProjectorManager::SearchResults found);
    void OnItemChanged(QTreeWidgetItem *item, int column);
    void OnCurrentItemChanged(QTreeWidgetItem *current);
    void OnItemClicked(QTreeWidgetItem *item);
    void SetBusy(bool busy);
    int CheckedCount() const;
    void Done();

    ProjectorManager &m_manager;
    std::function<bool()> m_isRefreshing;
    QPushButton *m_btnAutoSearch = nullptr; // 1002
    QPushButton *m_btnRegister = nullptr;   // 1030
    QTreeWidget *m_listCtrl = nullptr;      // 1036
    ProjectorManager::SearchResults m_pFoundProjectors;
    std::vector<bool> m_pCheckFlags;
    QPointer<CWaitDialog> m_pWaitDialog;
    bool m_searchCancelled = false;
    bool m_filling = false;
    bool m_activated = false;
    bool m_busy = false;
    bool m_sheetClosing = false;
    // A mouse button is down on the list: the click, not the selection change, asks.
    bool m_mousePressed = false;
    // Last, so that it is joined before anything its jobs use goes.
    DialogWorker m_worker;
};
