#include "dialogs/cnewgroupdlg.h"

#include "dialogs/editdialogparts.h"
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

CNewGroupDlg::CNewGroupDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QString::number(IDD_NEW_GROUP));
    setWindowTitle(LoadString(TXT_CREATE_GROUP));
    setAccessibleName(windowTitle());
    setModal(true);

    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QString::number(IDC_NEW_GROUP_NAME));
    m_edit->setAccessibleName(LoadString(TXT_NEW_GROUP_NAME));
    LimitGroupNameField(m_edit);

    QPushButton *ok = MakeEditButton(TXT_OK, QString::number(IDOK), this);
    QPushButton *cancel = MakeEditButton(TXT_CANCEL, QString::number(IDCANCEL), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CNewGroupDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CNewGroupDlg::reject);

    auto *field = new QHBoxLayout;
    field->addWidget(MakeEditLabel(LoadString(TXT_NEW_GROUP_NAME), u"newGroupLabel"_s, this));
    field->addWidget(m_edit, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MakeEditLabel(LoadString(TXT_ENTER_NEW_GROUP), u"prompt"_s, this));
    layout->addLayout(field);
    layout->addLayout(buttons);
}

void CNewGroupDlg::accept()
{
    const QString name = m_edit->text();
    if (const int refusal = CheckGroupName(name)) {
        ShowUserMessage(refusal);
        return;
    }
    m_strGroupName = name;
    QDialog::accept();
}
