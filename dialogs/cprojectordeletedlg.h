#pragma once

#include <QDialog>
#include <QString>

#include <vector>

class ProjectorNode;

// "Delete": asks whether the nodes should go. It deletes nothing itself; the main view removes
// the nodes on OK.
class CProjectorDeleteDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CProjectorDeleteDlg(const std::vector<ProjectorNode *> &nodes,
                                 QWidget *parent = nullptr);

    // 302 or 303 naming the one node (its name cut by ShortNodeName), else 304.
    static QString BuildQuestion(const std::vector<ProjectorNode *> &nodes);

private:
    std::vector<ProjectorNode *> m_nodes; // not owned
    QString m_strQuestion;
};
