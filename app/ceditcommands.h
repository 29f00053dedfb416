#pragma once

#include "app/commandbusy.h"
#include "app/nodeholds.h"
#include "model/dialogworker.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class CVantelDoc;
class Group;
class Projector;
class ProjectorManager;
class ProjectorNode;
class QWidget;

// The commands of the main view's "Edit" tab that change the registry: Change Password, Change
// IP Address, Regroup (with Create Group inside it), Rename Group and Delete. Each checks the
// selection first, opens its dialog, applies the result, has the view brought up to date and
// saves the settings file.
//
// The connects of the two projector dialogs run on their own worker threads; the refresh of the
// changed projector afterwards runs on this object's worker, while the window keeps painting and
// takes no input. User-interface thread only.
class CEditCommands : public QObject
{
    Q_OBJECT

public:
    // What the view brings up to date after a command, in this order.
    struct ViewUpdate
    {
        bool rebuildTree = false;   // tree rebuilt, then its expanded groups expanded again
        bool resetList = false;     // the list shows the tree's group (or every projector)
        bool rebuildList = false;   // the list's rows rebuilt
        bool rebuildEvents = false; // the event list rebuilt
        bool select = false;        // the tree selects selectNode's group (nullptr: first item)
        ProjectorNode *selectNode = nullptr;
    };

    // What the commands read from and do to the view.
    struct ViewAccess
    {
        // The nodes behind the selected rows of the projector list, in row order.
        std::function<std::vector<ProjectorNode *>()> listSelection;
        // The tree's selected group; nullptr for "Display all".
        std::function<Group *()> treeGroup;
        // The text of the tree's first item, quoted when "Display all" cannot be renamed.
        std::function<QString()> displayAllText;
        // A refresh cycle runs (the wait text shows).
        std::function<bool()> refreshing;
        // The list and the tree let go of every node they show: nodes are about to go.
        std::function<void()> releaseNodes;
        std::function<void(const ViewUpdate &)> update;
        // Counts every command from its first dialog to its end; nullptr: nothing counts.
        NodeHolds *holds = nullptr;
    };

    // window: kept from input while a refresh after a change runs, and parent of the dialogs.
    CEditCommands(CVantelDoc &doc, ProjectorManager &manager, QWidget *window, ViewAccess view);
    ~CEditCommands() override; // waits for a refresh still running

    bool IsBusy() const { return m_busy.IsBusy(); }

    void ChangePassword();  // 1007
    void ChangeIPAddress(); // 1008
    void Regroup();         // 1009
    void RenameGroup();     // 1010
    void Delete();          // 1011

signals:
    void busyChanged(bool busy);
    // A command has changed the registry and the view is up to date; tests wait for it.
    void finished();

private:
    // The changed projector is read once more off this thread, then the view follows and the
    // settings file is saved.
    void RefreshThenFinish(Projector *projector, ViewUpdate update);
    void Finish(const ViewUpdate &update);
    void SetBusy(bool busy);
    bool CheckOneProjector(Projector *&projector);

    CVantelDoc &m_doc;
    ProjectorManager &m_manager;
    QWidget *m_window;
    ViewAccess m_view;
    CommandBusy m_busy;
    DialogWorker m_worker; // its jobs use the members above, so it goes first
};
