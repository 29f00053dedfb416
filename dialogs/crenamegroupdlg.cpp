#include "dialogs/crenamegroupdlg.h"

#include "dialogs/editdialogparts.h"
#include "model/group.h"
#include "model/registryrules.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

CRenameGroupDlg::CRenameGroupDlg(Group &group, QWidget *parent) : QDialog(parent), m_pGroup(&group)
{
    setObjectName(QString::number(IDD_RENAME_GROUP));
    setWindowTitle(LoadString(TXT_RENAME_GROUP));
    setAccessibleName(windowTitle());
    setModal(true);

    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QString::number(IDC_GROUP_NAME));
    m_edit->setAccessibleName(LoadString(TXT_NEW_GROUP_NAME));
    LimitGroupNameField(m_edit);

    QPushButton *ok = MakeEditButton(TXT_OK, QString::number(IDOK), this);
    QPushButton *cancel = MakeEditButton(TXT_CANCEL, QString::number(IDCANCEL), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CRenameGroupDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CRenameGroupDlg::reject);

    auto *fields = new QGridLayout;
    fields->addWidget(MakeEditLabel(LoadString(TXT_CURRENT_GROUP_NAME), u"currentLabel"_s, this), 0,
                      0);
    fields->addWidget(MakeEditLabel(group.GetName(), QString::number(IDC_CURRENT_GROUP_NAME), this),
                      0, 1);
    fields->addWidget(MakeEditLabel(LoadString(TXT_NEW_GROUP_NAME), u"newLabel"_s, this), 1, 0);
    fields->addWidget(m_edit, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MakeEditLabel(LoadString(TXT_ENTER_GROUP_NAME), u"prompt"_s, this));
    layout->addLayout(fields);
    layout->addLayout(buttons);
}

void CRenameGroupDlg::accept()
{
    const QString name = m_edit->text();
    if (const int refusal = CanRenameGroup(*m_pGroup, name)) {
        ShowUserMessage(refusal);
        return;
    }
    m_strGroupName = name;
    QDialog::accept();
}
