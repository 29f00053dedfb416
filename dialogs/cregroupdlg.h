#pragma once

#include <QDialog>

#include <vector>

class Group;
class ProjectorManager;
class ProjectorNode;
class QPushButton;
class QTreeWidget;

// "Regroup": moves nodes into a group chosen in a tree of all groups, and creates groups there.
// Both act on the registry at once; the dialog ends with OK when anything changed, so the main
// view knows to rebuild and save. User-interface thread only.
class CReGroupDlg : public QDialog
{
    Q_OBJECT

public:
    CReGroupDlg(ProjectorManager &manager, const std::vector<ProjectorNode *> &nodes,
                QWidget *parent = nullptr);

    Group *GetSelectedGroup() const;
    bool SelectGroup(const ProjectorNode *node);

public slots:
    void OnCreateGroup();
    void OnMove();
    void reject() override; // "Close"

private:
    void Rebuild();

    ProjectorManager *m_pManager;          // not owned
    std::vector<ProjectorNode *> m_pNodes; // not owned
    QTreeWidget *m_groupTree = nullptr;    // 1047
    QPushButton *m_move = nullptr;
    bool m_bGroupCreated = false;
};
