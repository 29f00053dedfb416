#include "dialogs/cregroupdlg.h"

#include "dialogs/cnewgroupdlg.h"
#include "dialogs/editdialogparts.h"
#include "model/group.h"
#include "model/limits.h"
#include "model/projectormanager.h"
#include "model/registryrules.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

CReGroupDlg::CReGroupDlg(ProjectorManager &manager, const std::vector<ProjectorNode *> &nodes,
                         QWidget *parent)
    : QDialog(parent), m_pManager(&manager), m_pNodes(nodes)
{
    setObjectName(QString::number(IDD_REGROUP));
    setWindowTitle(LoadString(TXT_REGROUP));
    setAccessibleName(windowTitle());
    setModal(true);

    m_groupTree = new QTreeWidget(this);
    m_groupTree->setObjectName(QString::number(IDC_DESTINATION_TREE));
    m_groupTree->setAccessibleName(LoadString(TXT_REGROUP));
    m_groupTree->setHeaderHidden(true);
    m_groupTree->setColumnCount(1);
    m_groupTree->setSelectionMode(QAbstractItemView::SingleSelection);

    QPushButton *create = MakeEditButton(TXT_CREATE_GROUP, QString::number(IDC_CREATE_GROUP), this);
    m_move = MakeEditButton(TXT_MOVE, QString::number(IDOK), this);
    QPushButton *close = MakeEditButton(TXT_CLOSE, QString::number(IDCANCEL), this);
    m_move->setDefault(true);
    connect(create, &QPushButton::clicked, this, &CReGroupDlg::OnCreateGroup);
    connect(m_move, &QPushButton::clicked, this, &CReGroupDlg::OnMove);
    connect(close, &QPushButton::clicked, this, &CReGroupDlg::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(create);
    buttons->addStretch(1);
    buttons->addWidget(m_move);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MakeEditLabel(LoadString(TXT_SELECT_DESTINATION), u"prompt"_s, this));
    layout->addWidget(MakeEditLabel(LoadString(TXT_CREATE_GROUP_NOTE), u"createNote"_s, this));
    layout->addWidget(m_groupTree, 1);
    layout->addWidget(MakeEditLabel(LoadString(TXT_SUBGROUP_NOTE), u"subgroupNote"_s, this));
    layout->addLayout(buttons);

    Rebuild();
    const Group *root = m_pManager->GetRoot();
    const bool movable = !m_pNodes.empty() && std::none_of(m_pNodes.begin(), m_pNodes.end(),
                                                           [root](const ProjectorNode *node) {
                                                               return !node || node == root;
                                                           });
    m_move->setEnabled(movable);
    SelectGroup(m_pNodes.empty() ? nullptr : m_pNodes.front());
}

void CReGroupDlg::Rebuild()
{
    FillGroupTree(m_groupTree, m_pManager->GetRoot());
}

Group *CReGroupDlg::GetSelectedGroup() const
{
    const QList<QTreeWidgetItem *> selected = m_groupTree->selectedItems();
    return selected.isEmpty() ? nullptr : GroupOfItem(selected.front());
}

bool CReGroupDlg::SelectGroup(const ProjectorNode *node)
{
    QTreeWidgetItem *item = ItemOfNode(m_groupTree, node);
    if (!item)
        return false;
    for (QTreeWidgetItem *up = item->parent(); up; up = up->parent())
        up->setExpanded(true);
    item->setExpanded(true);
    m_groupTree->setCurrentItem(item);
    return true;
}

void CReGroupDlg::OnCreateGroup()
{
    Group *parent = GetSelectedGroup();
    if (!parent) {
        ShowUserMessage(MSG_NO_GROUP_SELECTED);
        return;
    }
    if (parent->GetDepth() + 1 > MAX_GROUP_DEPTH) {
        ShowUserMessage(MSG_CREATE_TOO_DEEP);
        return;
    }
    for (;;) {
        CNewGroupDlg dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        const QString name = dialog.GetGroupName();
        if (const int refusal = CanCreateGroup(*parent, name)) {
            ShowUserMessage(refusal);
            continue;
        }
        m_pManager->AddGroupTo(parent, std::make_unique<Group>(name));
        Rebuild();
        SelectGroup(parent);
        m_bGroupCreated = true;
        return;
    }
}

void CReGroupDlg::OnMove()
{
    Group *target = GetSelectedGroup();
    if (!target) {
        ShowUserMessage(MSG_NO_GROUP_SELECTED);
        return;
    }
    bool moved = false;
    // Node by node: a refused node says why and the next one is still tried.
    for (ProjectorNode *node : m_pNodes) {
        if (!node)
            continue;
        if (const int refusal = CanMoveNode(*node, *target)) {
            ShowUserMessage(refusal);
            continue;
        }
        if (node->MoveTo(target))
            moved = true;
    }
    if (!moved)
        return;
    Rebuild();
    accept();
}

void CReGroupDlg::reject()
{
    if (m_bGroupCreated)
        accept();
    else
        QDialog::reject();
}
