#include "dialogs/cregprojectordlg.h"

#include "dialogs/cautosearchpropertypage.h"
#include "dialogs/cipspecifypropertypage.h"
#include "dialogs/cwaitdialog.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "model/registration.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

CRegProjectorDlg::CRegProjectorDlg(QWidget *owner, ProjectorManager &manager,
                                   std::function<bool()> isRefreshing)
    : QDialog(owner)
{
    setObjectName(QString::number(IDD_REG_PROJECTOR));
    setWindowTitle(LoadString(STR_REGISTER_PROJECTOR));
    setAccessibleName(windowTitle());

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QString::number(IDC_REGISTER_TABS));
    m_tabs->setAccessibleName(windowTitle());
    m_autoSearch = new CAutoSearchPropertyPage(manager, std::move(isRefreshing), this);
    m_ipSpecify = new CIpSpecifyPropertyPage(manager, this);
    connect(m_autoSearch, &CAutoSearchPropertyPage::busyChanged, this,
            &CRegProjectorDlg::OnPageBusy);
    connect(m_ipSpecify, &CIpSpecifyPropertyPage::busyChanged, this, &CRegProjectorDlg::OnPageBusy);
    m_tabs->addTab(m_autoSearch, m_autoSearch->accessibleName());
    m_tabs->addTab(m_ipSpecify, m_ipSpecify->accessibleName());
    m_tabs->setCurrentIndex(0);

    // Only OK, standing where Cancel would stand.
    m_ok = new QPushButton(LoadString(STR_OK), this);
    m_ok->setObjectName(QString::number(IDOK));
    m_ok->setAccessibleName(m_ok->text());
    m_ok->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(buttons);
    resize(480, 400);

    connect(m_tabs, &QTabWidget::currentChanged, this, &CRegProjectorDlg::OnTabChanged);
    m_autoSearch->OnSetActive();
}

CRegProjectorDlg::~CRegProjectorDlg() = default;

void CRegProjectorDlg::OnPageBusy(bool busy)
{
    m_busy += busy ? 1 : -1;
    // One busy cursor for the sheet, however many of its pages are busy.
    if (busy && m_busy == 1)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (!busy && m_busy == 0)
        QApplication::restoreOverrideCursor();
    const bool enabled = m_busy == 0;
    m_tabs->setEnabled(enabled);
    m_ok->setEnabled(enabled);
    // Queued: the page finishes the handler that ended its wait before the sheet goes.
    if (enabled && m_pendingResult)
        QTimer::singleShot(0, this, [this] {
            if (m_pendingResult && !IsBusy())
                done(*std::exchange(m_pendingResult, std::nullopt));
        });
}

bool CRegProjectorDlg::IsBusy() const
{
    return m_busy > 0;
}

void CRegProjectorDlg::done(int result)
{
    if (IsBusy()) {
        // OK, Escape or the close box while a page waits for the network.
        m_pendingResult = result;
        m_autoSearch->OnSheetClosing();
        m_ipSpecify->OnSheetClosing();
        return;
    }
    m_autoSearch->OnClose();
    QDialog::done(result);
}

void CRegProjectorDlg::OnTabChanged(int index)
{
    if (index == 0)
        m_autoSearch->OnSetActive();
    else
        m_ipSpecify->OnSetActive();
}
