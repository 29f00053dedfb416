#include "app/ceditcommands.h"

#include "dialogs/cmodfiyipaddressdlg.h"
#include "dialogs/cpasswordmodifydlg.h"
#include "dialogs/cprojectordeletedlg.h"
#include "dialogs/cregroupdlg.h"
#include "dialogs/crenamegroupdlg.h"
#include "model/editrules.h"
#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "model/selectionrules.h"
#include "res/stringtable.h"
#include "store/usermessage.h"
#include "store/cvanteldoc.h"

#include <QDialog>
#include <QWidget>

CEditCommands::CEditCommands(CVantelDoc &doc, ProjectorManager &manager, QWidget *window,
                             ViewAccess view)
    : QObject(window), m_doc(doc), m_manager(manager), m_window(window), m_view(std::move(view)),
      m_busy(window, m_view.holds)
{}

CEditCommands::~CEditCommands() = default;

void CEditCommands::SetBusy(bool busy)
{
    if (m_busy.Set(busy))
        emit busyChanged(busy);
}

void CEditCommands::Finish(const ViewUpdate &update)
{
    SetBusy(false);
    m_view.update(update);
    m_doc.SaveSettings();
    emit finished();
}

void CEditCommands::RefreshThenFinish(Projector *projector, ViewUpdate update)
{
    SetBusy(true);
    m_worker.Start([this, projector] { m_doc.RefreshProjector(projector, true); },
                   [this, update] { Finish(update); });
}

bool CEditCommands::CheckOneProjector(Projector *&projector)
{
    if (const int message = CheckSingleProjector(m_view.listSelection(), projector)) {
        ShowUserMessage(LoadString(message));
        return false;
    }
    return true;
}

void CEditCommands::ChangePassword()
{
    // The dialog and the node it was opened for stay valid until the end (nodeholds.h).
    const NodeHolds::Hold hold(m_view.holds);
    Projector *projector = nullptr;
    if (IsBusy() || !CheckOneProjector(projector))
        return;
    const ProjectorState state = projector->GetState();
    if (const int message = CheckChangePassword(state.authenticated, state.connectResult)) {
        ShowUserMessage(LoadString(message));
        return;
    }
    {
        CPasswordModifyDlg dialog(*projector, m_window);
        if (dialog.exec() != QDialog::Accepted)
            return;
    }
    ViewUpdate update;
    update.resetList = true;
    update.rebuildList = true;
    update.rebuildEvents = true;
    RefreshThenFinish(projector, update);
}

void CEditCommands::ChangeIPAddress()
{
    const NodeHolds::Hold hold(m_view.holds);
    Projector *projector = nullptr;
    if (IsBusy() || !CheckOneProjector(projector))
        return;
    if (const int message = CheckChangeAddress(projector->GetState().connectResult)) {
        ShowUserMessage(LoadString(message));
        return;
    }
    {
        CModfiyIPAddressDlg dialog(m_manager, *projector, m_window);
        if (dialog.exec() != QDialog::Accepted)
            return;
    }
    ViewUpdate update;
    update.rebuildList = true;
    update.rebuildEvents = true;
    RefreshThenFinish(projector, update);
}

void CEditCommands::Regroup()
{
    const NodeHolds::Hold hold(m_view.holds);
    if (IsBusy())
        return;
    std::vector<ProjectorNode *> nodes = m_view.listSelection();
    if (nodes.empty()) {
        if (Group *group = m_view.treeGroup())
            nodes.push_back(group);
    }
    {
        CReGroupDlg dialog(m_manager, nodes, m_window);
        if (dialog.exec() != QDialog::Accepted)
            return;
    }
    ViewUpdate update;
    update.rebuildTree = true;
    update.select = true;
    update.selectNode = nodes.empty() ? nullptr : nodes.front();
    Finish(update);
}

void CEditCommands::RenameGroup()
{
    const NodeHolds::Hold hold(m_view.holds);
    if (IsBusy())
        return;
    const std::vector<ProjectorNode *> selection = m_view.listSelection();
    Group *group = nullptr;
    QString name;
    if (const int message = FindGroupToRename(
            selection, selection.empty() ? m_view.treeGroup() : nullptr,
            m_view.displayAllText ? m_view.displayAllText() : QString(), group, name)) {
        ShowUserMessage(FormatText(LoadString(message), {name}));
        return;
    }
    QString newName;
    {
        CRenameGroupDlg dialog(*group, m_window);
        if (dialog.exec() != QDialog::Accepted)
            return;
        newName = dialog.GetGroupName();
    }
    group->Rename(newName);
    ViewUpdate update;
    update.rebuildTree = true;
    update.rebuildList = true;
    update.select = true;
    update.selectNode = group;
    Finish(update);
}

void CEditCommands::Delete()
{
    const NodeHolds::Hold hold(m_view.holds);
    if (IsBusy())
        return;
    const std::vector<ProjectorNode *> selection = m_view.listSelection();
    if (const int message = CheckDelete(selection, m_view.refreshing())) {
        ShowUserMessage(LoadString(message));
        return;
    }
    {
        CProjectorDeleteDlg dialog(selection, m_window);
        if (dialog.exec() != QDialog::Accepted)
            return;
    }
    // Nothing in the view may point at a node once it is gone.
    if (m_view.releaseNodes)
        m_view.releaseNodes();
    for (ProjectorNode *node : NodesToRemove(selection, m_manager.GetRoot()))
        m_manager.RemoveNode(node);
    ViewUpdate update;
    update.rebuildTree = true;
    update.resetList = true;
    update.rebuildList = true;
    Finish(update);
}
