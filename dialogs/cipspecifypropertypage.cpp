#include "dialogs/cipspecifypropertypage.h"

#include "dialogs/cauthdlg.h"
#include "dialogs/cipaddressctrl.h"
#include "dialogs/editdialogparts.h"
#include "model/dialogworker.h"
#include "model/linkresult.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "model/registration.h"
#include "store/actioneventmanager.h"
#include "store/usermessage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <memory>

CIpSpecifyPropertyPage::CIpSpecifyPropertyPage(ProjectorManager &manager, QWidget *parent)
    : QWidget(parent), m_manager(manager)
{
    setObjectName(QString::number(IDD_IP_SPECIFY_PAGE));
    setAccessibleName(LoadString(STR_SPECIFY_IP_PAGE));

    auto *addressLabel = MakePageStaticText(STR_IP_ADDRESS, this);
    m_ipAddressCtrl = new CIpAddressCtrl(this);
    m_ipAddressCtrl->setObjectName(QString::number(IDC_IP_ADDRESS));
    m_ipAddressCtrl->setAccessibleName(addressLabel->text());
    addressLabel->setBuddy(m_ipAddressCtrl);
    auto *nameLabel = MakePageStaticText(STR_PROJECTOR_NAME, this);
    m_staticProjectorName = new QLabel(this);
    m_staticProjectorName->setObjectName(QString::number(IDC_PROJECTOR_NAME));
    m_staticProjectorName->setAccessibleName(nameLabel->text());
    m_staticProjectorName->setFrameShape(QFrame::StyledPanel);
    m_staticProjectorName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_staticProjectorName->setMinimumWidth(120);
    m_staticProjectorName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    m_btnConfirm = new QPushButton(LoadString(STR_CONFIRM), this);
    m_btnConfirm->setObjectName(QString::number(IDC_CONFIRM_PROJECTOR));
    m_btnConfirm->setAccessibleName(m_btnConfirm->text());
    m_btnRegister = new QPushButton(LoadString(STR_REGISTER), this);
    m_btnRegister->setObjectName(QString::number(IDC_REGISTER_PROJECTORS));
    m_btnRegister->setAccessibleName(m_btnRegister->text());
    m_btnRegister->setEnabled(false);

    auto *grid = new QGridLayout;
    grid->addWidget(addressLabel, 0, 0);
    grid->addWidget(m_ipAddressCtrl, 0, 1);
    grid->addWidget(m_btnConfirm, 0, 2);
    grid->addWidget(nameLabel, 1, 0);
    grid->addWidget(m_staticProjectorName, 1, 1);
    grid->addWidget(m_btnRegister, 1, 2);
    grid->setColumnStretch(1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MakePageStaticText(STR_SPECIFY_IP_STEP1, this));
    layout->addWidget(MakePageStaticText(STR_SPECIFY_IP_STEP2, this));
    layout->addLayout(grid);
    layout->addStretch(1);

    connect(m_btnConfirm, &QPushButton::clicked, this, &CIpSpecifyPropertyPage::OnClickedConfirm);
    connect(m_ipAddressCtrl, &CIpAddressCtrl::returnPressed, this,
            &CIpSpecifyPropertyPage::OnClickedConfirm);
    connect(m_btnRegister, &QPushButton::clicked, this, &CIpSpecifyPropertyPage::OnClickedRegister);
    // What was confirmed is the address shown; an edit drops it.
    connect(m_ipAddressCtrl, &CIpAddressCtrl::addressEdited, this, [this] {
        if (m_pConfirmedProjector)
            DropConfirmation();
    });
}

CIpSpecifyPropertyPage::~CIpSpecifyPropertyPage() = default;

void CIpSpecifyPropertyPage::OnSetActive()
{
    m_btnRegister->setEnabled(m_pConfirmedProjector != nullptr);
}

void CIpSpecifyPropertyPage::SetBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

void CIpSpecifyPropertyPage::DropConfirmation()
{
    m_pConfirmedProjector.reset();
    ShowName(QString());
    m_btnRegister->setEnabled(false);
}

void CIpSpecifyPropertyPage::ShowName(const QString &name)
{
    const int width = std::max(m_staticProjectorName->contentsRect().width(), 60);
    ShowFieldValue(m_staticProjectorName, LoadString(STR_PROJECTOR_NAME),
                   m_staticProjectorName->fontMetrics().elidedText(name, Qt::ElideRight, width),
                   name);
    m_staticProjectorName->setToolTip(name);
}

void CIpSpecifyPropertyPage::OnClickedConfirm()
{
    if (m_busy)
        return;
    DropConfirmation();
    m_passwordTried = false;
    std::array<int, 4> octets{};
    m_ipAddressCtrl->GetAddress(octets);
    m_strIpAddress =
        QStringLiteral("%1.%2.%3.%4").arg(octets[0]).arg(octets[1]).arg(octets[2]).arg(octets[3]);
    QString address;
    if (const int refusal = CheckNewAddress(m_manager, m_strIpAddress, &address)) {
        ShowUserMessage(RegistrationMessageText(refusal)); // 315 or 316, nothing sent
        emit idle();
        return;
    }
    Probe(
        std::make_unique<Projector>(QString(), address, QString(), QStringLiteral("M"), QString()));
}

void CIpSpecifyPropertyPage::Probe(std::unique_ptr<Projector> candidate)
{
    SetBusy(true);
    struct Probed
    {
        std::unique_ptr<Projector> candidate;
        int result = -1;
    };
    m_worker.Start(
        [candidate = std::move(candidate)]() mutable {
            const int result = ProbeCandidate(*candidate);
            return Probed{std::move(candidate), result};
        },
        [this](Probed probed) { OnProbed(std::move(probed.candidate), probed.result); });
}

void CIpSpecifyPropertyPage::OnProbed(std::unique_ptr<Projector> candidate, int result)
{
    SetBusy(false);
    if (m_sheetClosing) {
        emit idle(); // nothing confirmed, nothing asked
        return;
    }
    if (result == LinkResult::AuthFailed) {
        // The first refusal only asks; a password that was tried and refused is told first.
        if (m_passwordTried)
            ShowUserMessage(RegistrationMessageText(MSG_PASSWORD_INVALID));
        for (;;) {
            const std::optional<QString> password = CAuthDlg::Ask(this, candidate->GetIPAddress());
            if (!password) {
                emit idle(); // cancelled: nothing confirmed
                return;
            }
            if (CheckPassword(*password) != 0) {
                ShowUserMessage(
                    RegistrationMessageText(STR_PASSWORD_RULES)); // says why, not just "invalid"
                continue;
            }
            // An empty password is tried as well.
            candidate->SetPassword(*password);
            m_passwordTried = true;
            Probe(std::move(candidate));
            return;
        }
    }
    if (result != 0) {
        ShowUserMessage(RegistrationMessageText(MSG_NO_PROJECTOR_FOUND));
        emit idle();
        return;
    }
    ShowName(candidate->GetName());
    m_pConfirmedProjector = std::move(candidate);
    m_btnRegister->setEnabled(true);
    emit idle();
}

void CIpSpecifyPropertyPage::OnClickedRegister()
{
    if (m_busy || !m_pConfirmedProjector)
        return;
    Projector *added = nullptr;
    const int refusal = AddCandidate(m_manager, *m_pConfirmedProjector, &added);
    // Whatever the outcome, the confirmation is used up; the address stays in the field.
    DropConfirmation();
    if (refusal) {
        ShowUserMessage(RegistrationMessageText(refusal));
        emit idle();
        return;
    }
    // Read once, off this thread, before the success is told.
    SetBusy(true);
    m_worker.Start([this, added] { RefreshRegistered(m_manager, *added, EventListSink()); },
                   [this] {
                       SetBusy(false);
                       if (!m_sheetClosing)
                           ShowUserMessage(RegistrationMessageText(MSG_REGISTERED),
                                           MessageIcon::Information);
                       emit idle();
                   });
}
