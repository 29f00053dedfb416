#include "app/ctitledlg.h"

#include "res/stringids.h"
#include "res/skinbitmap.h"
#include "app/titlepanel.h"
#include "res/stringtable.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace {
constexpr int ICON_APPLICATION = 235;
} // namespace

CTitleDlg::CTitleDlg(QWidget *parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QString::number(IDD_TITLE));
    setAccessibleName(LoadString(STR_APPLICATION_TITLE));
    setModal(false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFrameStyle();
    QVBoxLayout *texts = BuildTitlePanel(this);
    auto *icon = new QLabel(this);
    icon->setObjectName(QString::number(ICON_APPLICATION));
    icon->setFixedSize(32, 32);
    icon->setPixmap(LoadSkinIcon(ICON_APPLICATION).pixmap(32, 32));
    texts->addWidget(icon);
    auto *loading = new QLabel(LoadString(STR_NOW_LOADING), this);
    loading->setAccessibleName(loading->text());
    texts->addWidget(loading);
    texts->addStretch(1);
}

void CTitleDlg::setFrameStyle()
{
    setStyleSheet(QStringLiteral("CTitleDlg { border: 1px solid #404040; background: white; }"));
}

void CTitleDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
}
