#include "dialogs/cwaitdialog.h"

#include "res/skinbitmap.h"
#include "res/stringids.h"
#include "dialogs/dialogtimings.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CWaitDialog::CWaitDialog(QWidget *owner, ProjectorManager &manager)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      m_manager(manager)
{
    setObjectName(QString::number(IDD_WAIT));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(LoadString(STR_APPLICATION_TITLE));
    setAccessibleName(windowTitle());
    // Input to the registration dialog waits while this one stands in front of it; painting
    // goes on.
    setWindowModality(Qt::WindowModal);

    m_icon = new QLabel(this);
    m_icon->setObjectName(QString::number(IDC_WAIT_ICON));
    m_icon->setAccessibleName(LoadString(STR_APPLICATION_TITLE));
    m_icon->setFixedSize(32, 32);
    m_icon->setPixmap(LoadSkinIcon(SKIN_ICON_TITLE).pixmap(32, 32));

    m_text = new QLabel(LoadString(STR_SEARCHING), this);
    m_text->setObjectName(QString::number(IDC_WAIT_MESSAGE));
    m_text->setAccessibleName(m_text->text());
    m_text->setWordWrap(true);

    m_cancel = new QPushButton(LoadString(STR_CANCEL), this);
    m_cancel->setObjectName(QString::number(IDCANCEL));
    m_cancel->setAccessibleName(m_cancel->text());
    connect(m_cancel, &QPushButton::clicked, this, &CWaitDialog::OnCancel);

    auto *top = new QHBoxLayout;
    top->addWidget(m_icon, 0, Qt::AlignTop);
    top->addWidget(m_text, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    setMinimumSize(245, 115); // 163 by 71 dialog units

    m_cancelPoll.setInterval(DialogTiming().searchPollMs);
    connect(&m_cancelPoll, &QTimer::timeout, this, &CWaitDialog::OnCancelPoll);
}

CWaitDialog::~CWaitDialog()
{
    RestoreCursor();
}

bool CWaitDialog::ShowModeless()
{
    show();
    return isVisible();
}

void CWaitDialog::CloseForOwner()
{
    m_closing = true;
    m_cancelPoll.stop();
    close();
}

void CWaitDialog::reject()
{
    // QDialog's own close handling comes here too, also when the window closes for good.
    if (m_closing)
        QDialog::reject();
    else
        OnCancel();
}

void CWaitDialog::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        QDialog::closeEvent(event);
        return;
    }
    // The close box stops the search like Cancel; the window goes once it has stopped.
    event->ignore();
    OnCancel();
}

void CWaitDialog::OnCancel()
{
    if (m_cancelled)
        return;
    if (!m_cursorSet) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_cursorSet = true;
    }
    m_text->setText(LoadString(STR_CANCELING));
    m_text->setAccessibleName(m_text->text());
    m_cancel->setEnabled(false);
    m_cancelled = true;
    m_manager.StopSearch();
    emit cancelled();
    OnCancelPoll();
    if (!m_closing)
        m_cancelPoll.start();
}

void CWaitDialog::OnCancelPoll()
{
    if (m_manager.IsSearching())
        return;
    m_cancelPoll.stop();
    RestoreCursor();
    m_closing = true;
    close();
}

void CWaitDialog::RestoreCursor()
{
    if (m_cursorSet) {
        QApplication::restoreOverrideCursor();
        m_cursorSet = false;
    }
}
