#pragma once

#include "app/ceditcommands.h"
#include "model/inputchoices.h"
#include "res/viewlayout.h"

#include <QHash>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CActionEventListCtrl;
class CBackgroundBmp;
class CBitmapButton;
class CGroupTreeCtrl;
class CImageTextButton;
class CNodeDrag;
class CProjectorCommands;
class CTitleDlg;
class NodeHolds;
class StatusNotifications;
class CProjectorListCtrl;
class CVantelDoc;
class Group;
class ProjectorNode;
class QComboBox;
class QHeaderView;
class QLabel;
class QPushButton;
class RefreshScheduler;

// The form that fills the main frame: every control of the main window, placed from the string
// table's layout entries, the two button panels ("Remote Control" and "Edit"), the information
// field, and the periodic status refresh. It shows the document's state and owns none of it.
// User-interface thread only; the refresh worker reaches it through posted events.
class CVantelView : public QWidget
{
    Q_OBJECT

public:
    enum Tab { TAB_REMOTE_CONTROL = 0, TAB_EDIT = 1 };

    explicit CVantelView(CVantelDoc &doc, QWidget *parent = nullptr);
    ~CVantelView() override; // waits for a refresh worker that is still running

    // The start-up sequence. The first call shows the splash window and builds the controls;
    // the part after the splash wait runs from a timer. initialUpdateFinished tells its end,
    // also when the start-up stopped early. Later calls (after Open) refill and refresh.
    void OnInitialUpdate();
    bool IsInitialUpdateFinished() const { return m_initialUpdateFinished; }

    Tab GetTab() const { return m_tab; }
    void SetTab(Tab tab); // as the tab buttons do

    // The refresh's wait text; a pending registry replacement's text goes before it.
    void ShowWaitMessage(bool show, const QString &text);
    bool IsRefreshing() const; // the refresh's wait text is up
    // Whether a refresh worker is still running; the close handling waits for this.
    bool IsWorkerRunning() const;
    // Stops the notification listener and waits for a refresh cycle that runs; the view
    // refreshes no more. For the end of the process only: the destructor, and exit().
    void EndBackgroundWork();

    void ApplyInformationField(bool shown);
    // Tool menu: both save the settings file at once.
    void ToggleInformationField();
    void ToggleDisplayOnlyError();

    // A refresh cycle now, or right after the one that runs.
    void StartRefresh();
    // work replaces the registry (File > Open, New). It runs once no refresh cycle runs and
    // nothing holds nodes (an open dialog, a running command, a drag, see nodeholds.h): at once
    // when that is so now, else later, with waitText shown meanwhile. One at a time: false,
    // and nothing done, while another one is pending.
    bool ReplaceRegistryWhenFree(std::function<void()> work, const QString &waitText);
    bool IsReplacementPending() const { return bool(m_pendingReplacement); }
    // The window has closed: a pending replacement never runs.
    void CancelReplacement();
    RefreshScheduler *GetScheduler() const { return m_scheduler.get(); }
    // Status notifications of Class 2 projectors, from the first initial update on.
    StatusNotifications *GetNotifications() const { return m_notifications.get(); }

    // Power, input, mute, detail information and the timing dialogs.
    CProjectorCommands *GetCommands() const { return m_commands; }
    CNodeDrag *GetNodeDrag() const { return m_nodeDrag; }

    CProjectorListCtrl *GetProjectorList() const { return m_projectorList; }
    CGroupTreeCtrl *GetGroupTree() const { return m_treeCtrl; }
    CActionEventListCtrl *GetEventList() const { return m_eventList; }
    // The nodes of the selected rows of the projector list, in row order.
    std::vector<ProjectorNode *> GetListSelection() const;
    // The input of the drop-down's chosen entry; none when it is empty.
    std::optional<InputStatus> GetChosenInput() const;
    // The group selected in the tree; nullptr for none and for "Display all".
    Group *GetTreeSelection() const;
    // Empties the tree and the list before the registry they show is replaced (File > Open);
    // OnInitialUpdate or the next projectors-changed notification fills them again.
    void DetachRegistry();
    // Shows the registry in the tree again, "Display all" selected.
    void AttachRegistry();

    // The library start, replaceable so tests can make it fail; nullptr restores the real one.
    static void SetLibraryInitForTesting(std::function<int()> init);

signals:
    void initialUpdateFinished();
    // The Tool menu's check marks and enabled states may have changed.
    void menuStateChanged();
    // A registry replacement started or stopped waiting.
    void replacementPendingChanged(bool pending);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Identify(QWidget *widget, int id, const QString &accessibleName);
    template <class T> T *Control(int id) const { return qobject_cast<T *>(m_controls.value(id)); }
    void CreateControls();
    void InitActionList();
    void InitProjectorList();
    void InitGroupTree();
    void InitTabButton();
    void InitButton();
    void InitLabels();
    void InitCombo();
    void FinishInitialUpdate();
    void CloseSplash();
    CBackgroundBmp *CurrentBackground() const;
    void ApplyTab();
    void PlaceControls();
    void SetTitle();
    void OnRegisterProjector(); // 1006
    void ConnectCommands();
    // The tree, the list and the event list rebuilt from the published states.
    void OnProjectorsChanged();
    void OnTreeSelectionChanged();
    void OnListSelectionChanged();
    static void FitOpenListToEntries(QComboBox &combo);
    // What the list shows for the tree's selection: all projectors for "Display all", the
    // children of a group, nothing without a selection.
    std::vector<ProjectorNode *> TreeSelectionContent() const;
    // The one way the tree is rebuilt from the registry: the group flagged selectAfterRebuild is
    // selected again, and with restoreExpansion the groups that were expanded are again.
    void RebuildTree(bool restoreExpansion);
    // The edit commands: created with the view, connected to the Edit tab's buttons.
    void CreateEditCommands();
    void ConnectEditCommands();
    // The list lets go of its nodes before some of them are removed.
    void ReleaseNodes();
    // Drag and drop of nodes between the list and the tree.
    void CreateNodeDrag();
    void OnNodesDropped(const std::vector<ProjectorNode *> &sources, bool fromTree,
                        ProjectorNode *target);
    void ApplyEditUpdate(const CEditCommands::ViewUpdate &update);
    void TryReplaceRegistry();
    void UpdateWaitText();

    CVantelDoc &m_doc;
    ViewLayout m_layout;
    Tab m_tab = TAB_REMOTE_CONTROL;
    // Every control by its id, filled once by Identify as the controls are made.
    QHash<int, QWidget *> m_controls;
    bool m_controlsCreated = false;
    bool m_initialUpdateFinished = false;
    bool m_resized = false; // the client size changed since the controls were made
    bool m_informationShown = true;
    bool m_firstProjectorsChanged = true;
    bool m_rebuildingTree = false; // the tree's own selection during a rebuild is not followed
    NodeHolds *m_holds;
    std::function<void()> m_pendingReplacement;
    QString m_replacementText;
    bool m_replacementAfterCycle = false; // the scheduler calls back at the cycle's end
    QString m_refreshText;                // the refresh's wait text, empty when none

    // The four looks of the background: Edit and Remote Control, each without and with the
    // information field. All are composed on every size change, so a switch only repaints.
    std::unique_ptr<CBackgroundBmp> m_edBackground;
    std::unique_ptr<CBackgroundBmp> m_edWideBackground;
    std::unique_ptr<CBackgroundBmp> m_rcBackground;
    std::unique_ptr<CBackgroundBmp> m_rcWideBackground;

    std::unique_ptr<CTitleDlg> m_splash;
    QTimer m_splashTimer;
    // The periodic and the one-shot timer and the cycles' workers; one cycle at a time.
    std::unique_ptr<RefreshScheduler> m_scheduler;
    std::unique_ptr<StatusNotifications> m_notifications;

    QLabel *m_informationCaption = nullptr;        // 1056
    CActionEventListCtrl *m_eventList = nullptr;   // 1024
    QLabel *m_statusCaption = nullptr;             // 1057
    CProjectorListCtrl *m_projectorList = nullptr; // 1052
    QHeaderView *m_groupsHeader = nullptr;         // 1066
    CGroupTreeCtrl *m_treeCtrl = nullptr;          // 1051
    CImageTextButton *m_tabRemote = nullptr;       // 1002
    CImageTextButton *m_tabEdit = nullptr;         // 1003
    std::vector<CBitmapButton *> m_remoteButtons;  // 1013, 1014, 1019, 1020, 1021
    std::vector<CBitmapButton *> m_editButtons;    // 1006, 1007, 1009, 1008, 1010, 1011
    CBitmapButton *m_detailButton = nullptr;       // 1005
    QPushButton *m_refreshButton = nullptr;        // 1022
    QPushButton *m_closeButton = nullptr;          // 8
    QComboBox *m_inputCombo = nullptr;             // 1017
    // The list selection the input entries were made for; compared, never dereferenced.
    std::vector<ProjectorNode *> m_inputComboSelection;
    std::vector<InputChoice> m_inputChoices; // the drop-down's entries, in its order
    QComboBox *m_muteCombo = nullptr;        // 1018
    std::vector<QLabel *> m_remoteLabels;    // 1012, 1015, 1016
    QLabel *m_waitText = nullptr;            // 1026
    QLabel *m_hourglass = nullptr;           // 1025
    CProjectorCommands *m_commands = nullptr;
    CEditCommands *m_editCommands = nullptr;
    CNodeDrag *m_nodeDrag = nullptr;
    // A projectors-changed notification came during a drag; handled once the drag ends.
    bool m_changedDuringDrag = false;
    std::vector<QPushButton *> m_enterButtons; // the 16 that take Enter as a click
};
