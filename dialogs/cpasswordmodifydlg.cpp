#include "dialogs/cpasswordmodifydlg.h"

#include "model/dialogworker.h"
#include "dialogs/editdialogparts.h"
#include "model/projector.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "model/registration.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

CPasswordModifyDlg::CPasswordModifyDlg(Projector &projector, QWidget *parent)
    : QDialog(parent), m_pProjector(&projector),
      m_strOldPassword(projector.HasPassword() ? projector.GetPassword() : QString())
{
    setObjectName(QString::number(IDD_PASSWORD_MODIFY));
    setWindowTitle(LoadString(TXT_CHANGE_PASSWORD));
    setAccessibleName(windowTitle());
    setModal(true);

    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QString::number(IDC_NEW_PASSWORD));
    m_edit->setAccessibleName(LoadString(TXT_NEW_PASSWORD));
    m_edit->setEchoMode(QLineEdit::Password);

    m_ok = MakeEditButton(TXT_OK, QString::number(IDOK), this);
    QPushButton *cancel = MakeEditButton(TXT_CANCEL, QString::number(IDCANCEL), this);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &CPasswordModifyDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CPasswordModifyDlg::reject);

    auto *field = new QHBoxLayout;
    field->addWidget(MakeEditLabel(LoadString(TXT_NEW_PASSWORD), u"newPasswordLabel"_s, this));
    field->addWidget(m_edit, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MakeEditLabel(LoadString(TXT_ENTER_PASSWORD), u"prompt"_s, this));
    layout->addLayout(field);
    layout->addLayout(buttons);
}

bool CPasswordModifyDlg::IsBusy() const
{
    return m_worker.IsBusy();
}

void CPasswordModifyDlg::accept()
{
    if (IsBusy())
        return;
    // A password PJLink cannot carry is refused before anything is sent, saying why.
    if (CheckPassword(m_edit->text()) != 0) {
        ShowUserMessage(STR_PASSWORD_RULES);
        return;
    }
    m_strNewPassword = m_edit->text();
    m_ok->setEnabled(false);
    m_edit->setEnabled(false);
    setCursor(Qt::BusyCursor);
    Projector *projector = m_pProjector;
    const QString password = m_strNewPassword;
    m_worker.Start([projector, password] { return ChangePassword(*projector, password); },
                   [this](int result) { OnTried(result); });
}

void CPasswordModifyDlg::done(int result)
{
    if (IsBusy()) {
        m_pendingResult = result;
        ShowCloseWaiting(this);
        return;
    }
    QDialog::done(result);
}

void CPasswordModifyDlg::OnTried(int result)
{
    m_ok->setEnabled(true);
    m_edit->setEnabled(true);
    unsetCursor();
    emit tryFinished(result);
    if (result == 0) {
        ShowUserMessage(MSG_PASSWORD_CHANGED, MessageIcon::Information);
        QDialog::done(Accepted);
        return;
    }
    if (m_pendingResult) {
        // The user closed the dialog during the try; the old password is back already.
        QDialog::done(*m_pendingResult);
        return;
    }
    ShowUserMessage(result);
}
