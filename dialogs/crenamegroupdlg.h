#pragma once

#include <QDialog>
#include <QString>

class Group;
class QLineEdit;

// "Rename Group": asks for a new name of one group and checks it against the group's siblings.
// It renames nothing itself; the main view does that on OK.
class CRenameGroupDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CRenameGroupDlg(Group &group, QWidget *parent = nullptr);

    const QString &GetGroupName() const { return m_strGroupName; }

public slots:
    void accept() override;

private:
    Group *m_pGroup;             // not owned
    QLineEdit *m_edit = nullptr; // 1051
    QString m_strGroupName;
};
