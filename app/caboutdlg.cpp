#include "app/caboutdlg.h"

#include "store/usermessage.h"
#include "app/titlepanel.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

std::function<bool(const QUrl &)> &UrlOpener()
{
    static std::function<bool(const QUrl &)> opener;
    return opener;
}

} // namespace

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QString::number(IDD_ABOUTBOX));
    setWindowTitle(LoadString(STR_VERSION_INFORMATION));
    setAccessibleName(windowTitle());
    QVBoxLayout *texts = BuildTitlePanel(this);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *website =
        buttons->addButton(LoadString(STR_PJLINK_WEBSITE), QDialogButtonBox::ActionRole);
    website->setObjectName(QString::number(IDC_WEBSITE));
    website->setAccessibleName(website->text());
    website->setAutoDefault(false);
    QPushButton *ok = buttons->addButton(LoadString(STR_ABOUT_OK), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QString::number(IDOK));
    ok->setAccessibleName(ok->text());
    ok->setDefault(true);
    texts->addStretch(1);
    texts->addWidget(buttons);
    connect(website, &QPushButton::clicked, this, &CAboutDlg::OnWebsite);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

void CAboutDlg::OnWebsite()
{
    const QString address = LoadString(STR_PJLINK_SITE);
    const QUrl url(address);
    const bool opened = UrlOpener() ? UrlOpener()(url) : QDesktopServices::openUrl(url);
    if (!opened)
        ShowUserMessage(FormatText(LoadString(STR_BROWSER_FAILED), {address}));
}

void CAboutDlg::SetUrlOpenerForTesting(std::function<bool(const QUrl &)> opener)
{
    UrlOpener() = std::move(opener);
}
