#include "dialogs/cmodfiyipaddressdlg.h"

#include "dialogs/cauthdlg.h"
#include "dialogs/cipaddressctrl.h"
#include "model/dialogworker.h"
#include "dialogs/editdialogparts.h"
#include "model/connectionwindow.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "model/registration.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <mutex>

using namespace Qt::StringLiterals;

CModfiyIPAddressDlg::CModfiyIPAddressDlg(ProjectorManager &manager, Projector &projector,
                                         QWidget *parent)
    : QDialog(parent), m_pManager(&manager), m_pProjector(&projector),
      m_pWorkProjector(std::make_unique<Projector>(projector.GetName(), projector.GetIPAddress(),
                                                   projector.GetPassword(), u"M"_s,
                                                   projector.GetPath())),
      m_strCurrentIpAddress(projector.GetIPAddress()),
      m_strOpeningPassword(projector.GetPassword()), m_strNewPassword(m_strOpeningPassword)
{
    setObjectName(QString::number(IDD_MODIFY_IP_ADDRESS));
    setWindowTitle(LoadString(TXT_CHANGE_IP_ADDRESS));
    setAccessibleName(windowTitle());
    setModal(true);

    m_address = new CIpAddressCtrl(this);
    m_address->setObjectName(QString::number(IDC_NEW_IP_ADDRESS));
    m_address->setAccessibleName(LoadString(TXT_NEW_IP_ADDRESS));
    m_newName = MakeEditLabel(QString(), QString::number(IDC_NEW_NAME), this);
    m_newName->setAccessibleName(LoadString(TXT_NEW_NAME));
    m_newName->setTextFormat(Qt::PlainText);
    QLabel *currentName =
        MakeEditLabel(projector.GetName(), QString::number(IDC_CURRENT_NAME), this);
    currentName->setTextFormat(Qt::PlainText);

    m_confirm = MakeEditButton(TXT_CONFIRM, QString::number(IDC_CONFIRM_ADDRESS), this);
    m_ok = MakeEditButton(TXT_OK, QString::number(IDOK), this);
    QPushButton *cancel = MakeEditButton(TXT_CANCEL, QString::number(IDCANCEL), this);
    m_ok->setEnabled(false);
    connect(m_confirm, &QPushButton::clicked, this, &CModfiyIPAddressDlg::OnConfirm);
    connect(m_address, &CIpAddressCtrl::returnPressed, this, &CModfiyIPAddressDlg::OnConfirm);
    // What was confirmed is the address shown no more: OK must not store it.
    connect(m_address, &CIpAddressCtrl::addressEdited, this, [this] {
        if (IsBusy())
            return;
        m_strNewIpAddress.clear();
        m_strNewName.clear();
        ShowFieldValue(m_newName, LoadString(TXT_NEW_NAME), QString(), QString());
        m_ok->setEnabled(false);
    });
    connect(m_ok, &QPushButton::clicked, this, &CModfiyIPAddressDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CModfiyIPAddressDlg::reject);

    auto *fields = new QGridLayout;
    fields->addWidget(MakeEditLabel(LoadString(TXT_CURRENT_IP_ADDRESS), u"currentIpLabel"_s, this),
                      0, 0);
    fields->addWidget(
        MakeEditLabel(m_strCurrentIpAddress, QString::number(IDC_CURRENT_IP_ADDRESS), this), 0, 1);
    fields->addWidget(MakeEditLabel(LoadString(TXT_NEW_IP_ADDRESS), u"newIpLabel"_s, this), 1, 0);
    fields->addWidget(m_address, 1, 1);
    fields->addWidget(m_confirm, 1, 2);
    fields->addWidget(MakeEditLabel(LoadString(TXT_CURRENT_NAME), u"currentNameLabel"_s, this), 2,
                      0);
    fields->addWidget(currentName, 2, 1);
    fields->addWidget(MakeEditLabel(LoadString(TXT_NEW_NAME), u"newNameLabel"_s, this), 3, 0);
    fields->addWidget(m_newName, 3, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MakeEditLabel(LoadString(TXT_ENTER_IP_ADDRESS), u"prompt1"_s, this));
    layout->addLayout(fields);
    layout->addWidget(MakeEditLabel(LoadString(TXT_CONFIRM_NAME), u"prompt2"_s, this));
    layout->addLayout(buttons);
}

CModfiyIPAddressDlg::~CModfiyIPAddressDlg() = default;

bool CModfiyIPAddressDlg::IsBusy() const
{
    return m_worker.IsBusy();
}

void CModfiyIPAddressDlg::SetBusy(bool busy)
{
    m_confirm->setEnabled(!busy);
    m_address->setEnabled(!busy);
    if (busy) {
        m_ok->setEnabled(false);
        setCursor(Qt::BusyCursor);
    } else {
        unsetCursor();
    }
}

void CModfiyIPAddressDlg::RestoreWorkCopy()
{
    m_pWorkProjector->SetIPAddress(m_strCurrentIpAddress);
    m_pWorkProjector->SetPassword(m_strOpeningPassword);
}

void CModfiyIPAddressDlg::OnConfirm()
{
    if (IsBusy())
        return;
    ShowFieldValue(m_newName, LoadString(TXT_NEW_NAME), QString(), QString());
    m_ok->setEnabled(false);
    m_strNewIpAddress.clear();
    m_strNewName.clear();
    std::array<int, 4> octets{};
    m_address->GetAddress(octets);
    if (octets == std::array<int, 4>{}) {
        ShowUserMessage(MSG_ADDRESS_INVALID);
        return;
    }
    const QString address =
        u"%1.%2.%3.%4"_s.arg(octets[0]).arg(octets[1]).arg(octets[2]).arg(octets[3]);
    // Every Confirm starts from the projector's own password, never from one typed for another
    // address during an earlier Confirm.
    RestoreWorkCopy();
    StartProbe(address, m_strOpeningPassword, true);
}

void CModfiyIPAddressDlg::StartProbe(const QString &address, const QString &password, bool firstTry)
{
    SetBusy(true);
    ProjectorManager *manager = m_pManager;
    Projector *work = m_pWorkProjector.get();
    m_worker.Start([manager, work, address,
                    password] { return ProbeNewAddress(*manager, *work, address, password); },
                   [this, address, password, firstTry](int result) {
                       OnProbed(result, address, password, firstTry);
                   });
}

void CModfiyIPAddressDlg::OnProbed(int result, const QString &address, const QString &password,
                                   bool firstTry)
{
    SetBusy(false);
    emit connectFinished(result);
    if (m_pendingResult) {
        RestoreWorkCopy();
        QDialog::done(*m_pendingResult);
        return;
    }
    if (result == 0) {
        m_strNewIpAddress = m_pWorkProjector->GetIPAddress();
        m_strNewName = m_pWorkProjector->GetName();
        m_strNewPassword = password;
        ShowFieldValue(m_newName, LoadString(TXT_NEW_NAME), m_strNewName, m_strNewName);
        m_ok->setEnabled(true);
        return;
    }
    if (result == MSG_PASSWORD_INVALID) {
        // The projector wants a password: ask for it, saying first that the last one failed
        // when one was typed already.
        if (!firstTry)
            ShowUserMessage(MSG_PASSWORD_INVALID);
        for (;;) {
            const std::optional<QString> typed = CAuthDlg::Ask(this, address);
            if (!typed) {
                RestoreWorkCopy();
                return;
            }
            // A password PJLink cannot carry is refused here, saying why.
            if (CheckPassword(*typed) != 0) {
                ShowUserMessage(STR_PASSWORD_RULES);
                continue;
            }
            StartProbe(address, *typed, false);
            return;
        }
    }
    RestoreWorkCopy();
    ShowUserMessage(result);
}

void CModfiyIPAddressDlg::accept()
{
    if (IsBusy() || m_strNewIpAddress.isEmpty())
        return;
    SetBusy(true);
    Projector *projector = m_pProjector;
    const QString address = m_strNewIpAddress;
    const QString password = m_strNewPassword;
    const QString name = m_strNewName;
    m_worker.Start(
        [projector, address, password, name] {
            const int result = ChangeIPAddress(*projector, address, password);
            if (result == 0 && !name.isEmpty()) {
                // A refresh writes the name inside its connection window too.
                std::lock_guard lock(projector->WindowLock());
                projector->Rename(name);
            }
            return result;
        },
        [this](int result) { OnChanged(result); });
}

void CModfiyIPAddressDlg::OnChanged(int result)
{
    SetBusy(false);
    emit connectFinished(result);
    if (result == 0) {
        ShowUserMessage(MSG_ADDRESS_CHANGED, MessageIcon::Information);
        QDialog::done(Accepted);
        return;
    }
    if (m_pendingResult) {
        QDialog::done(*m_pendingResult);
        return;
    }
    // The projector stopped answering between Confirm and OK: it keeps its old address, and
    // the new one must be confirmed again.
    m_strNewIpAddress.clear();
    ShowFieldValue(m_newName, LoadString(TXT_NEW_NAME), QString(), QString());
    ShowUserMessage(result);
}

void CModfiyIPAddressDlg::done(int result)
{
    if (IsBusy()) {
        m_pendingResult = result;
        ShowCloseWaiting(this);
        return;
    }
    QDialog::done(result);
}
