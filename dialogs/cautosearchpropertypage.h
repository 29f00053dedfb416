#pragma once

#include "model/projectormanager.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

class CRegProjectorDlg;
class CWaitDialog;
class DialogWorker;
class Projector;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// "Auto Search": searches the local networks, lists what answered, takes passwords for the
// projectors that ask for one, and registers the checked rows.
//
// The search, every password check and the refresh of newly registered projectors run on the
// page's worker (dialogs/dialogworker.h); the page is busy meanwhile and touches no candidate
// until the worker has handed back. Registry changes happen here, on the user-interface thread.
class CAutoSearchPropertyPage : public QWidget
{
    Q_OBJECT

public:
    enum Column { COLUMN_SELECT = 0, COLUMN_PASSWORD = 1, COLUMN_NAME = 2 };
    static constexpr int PADLOCK_OPEN = 0;
    static constexpr int PADLOCK_CLOSED = 1;

    CAutoSearchPropertyPage(CRegProjectorDlg &sheet, ProjectorManager &manager);
    ~CAutoSearchPropertyPage() override; // waits for a worker still running

    void OnSetActive();
    void OnClose(); // the sheet closes
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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SizeColumns();
    void SetRow(QTreeWidgetItem *item, const Projector &projector, bool checked);
    void OnSearchEnded();
    void OnItemChanged(QTreeWidgetItem *item, int column);
    void OnCurrentItemChanged(QTreeWidgetItem *current);
    void OnItemClicked(QTreeWidgetItem *item);
    void SetBusy(bool busy);
    int CheckedCount() const;
    void Done();

    CRegProjectorDlg &m_sheet;
    ProjectorManager &m_manager;
    QPushButton *m_btnAutoSearch = nullptr; // 1002
    QPushButton *m_btnRegister = nullptr;   // 1030
    QTreeWidget *m_listCtrl = nullptr;      // 1036
    ProjectorManager::SearchResults m_pFoundProjectors;
    std::vector<bool> m_pCheckFlags;
    // Filled by the search thread; handed to m_pFoundProjectors when the search has ended.
    std::unique_ptr<ProjectorManager::SearchResults> m_searching;
    QPointer<CWaitDialog> m_pWaitDialog;
    DialogWorker *m_worker = nullptr;
    bool m_searchCancelled = false;
    bool m_filling = false;
    bool m_activated = false;
    bool m_busy = false;
    // A mouse button is down on the list: the click, not the selection change, asks.
    bool m_mousePressed = false;
};
