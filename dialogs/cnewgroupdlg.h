#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// "Create Group": asks for the name of a new group. OK checks the name alone (324); whether the
// name is free in its group is the caller's check (CReGroupDlg).
class CNewGroupDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CNewGroupDlg(QWidget *parent = nullptr);

    const QString &GetGroupName() const { return m_strGroupName; }

public slots:
    void accept() override;

private:
    QLineEdit *m_edit = nullptr; // 1049
    QString m_strGroupName;
};
