#include "dialogs/cauthdlg.h"

#include "res/stringids.h"
#include "res/stringtable.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

QList<std::optional<QString>> &Answers()
{
    static QList<std::optional<QString>> answers;
    return answers;
}

int g_asked = 0;
QString g_lastAddress;

} // namespace

CAuthDlg::CAuthDlg(QWidget *parent, const QString &address) : QDialog(parent)
{
    setObjectName(QString::number(IDD_AUTH));
    // Several prompts may follow each other (a wrong password, another address): the user
    // must see which projector this one is for.
    setWindowTitle(address.isEmpty() ? LoadString(STR_AUTHENTICATION)
                                     : LoadString(STR_AUTHENTICATION) + u" - "_s + address);
    setAccessibleName(windowTitle());

    auto *prompt = new QLabel(LoadString(STR_ENTER_PASSWORD), this);
    prompt->setObjectName(QString::number(IDC_STATIC));
    prompt->setAccessibleName(prompt->text());
    auto *label = new QLabel(LoadString(STR_PASSWORD_LABEL), this);
    label->setObjectName(QString::number(IDC_AUTH_LABEL));
    label->setAccessibleName(label->text().trimmed());
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QString::number(IDC_AUTH_PASSWORD));
    m_edit->setAccessibleName(label->text().trimmed());
    m_edit->setEchoMode(QLineEdit::Password);
    label->setBuddy(m_edit);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(LoadString(STR_OK), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QString::number(IDOK));
    ok->setAccessibleName(ok->text());
    ok->setDefault(true);
    QPushButton *cancel = buttons->addButton(LoadString(STR_CANCEL), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QString::number(IDCANCEL));
    cancel->setAccessibleName(cancel->text());
    connect(buttons, &QDialogButtonBox::accepted, this, &CAuthDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAuthDlg::reject);

    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_edit, 1);
    auto *layout = new QVBoxLayout(this);
    if (!address.isEmpty()) {
        auto *target = new QLabel(address, this);
        target->setObjectName(QStringLiteral("authAddress"));
        target->setAccessibleName(address);
        target->setTextFormat(Qt::PlainText);
        layout->addWidget(target);
    }
    layout->addWidget(prompt);
    layout->addLayout(row);
    layout->addWidget(buttons);
    m_edit->setFocus();
}

void CAuthDlg::accept()
{
    m_strPassword = m_edit->text();
    QDialog::accept();
}

std::optional<QString> CAuthDlg::Ask(QWidget *parent, const QString &address)
{
    ++g_asked;
    g_lastAddress = address;
    if (!Answers().isEmpty())
        return Answers().takeFirst();
    CAuthDlg dialog(parent, address);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.GetPassword();
}

void CAuthDlg::SetAnswersInAdvance(const QList<std::optional<QString>> &answers)
{
    Answers() = answers;
}

int CAuthDlg::PendingAnswers()
{
    return int(Answers().size());
}

int CAuthDlg::TakeAskedCount()
{
    return std::exchange(g_asked, 0);
}

QString CAuthDlg::LastAskedAddress()
{
    return g_lastAddress;
}
