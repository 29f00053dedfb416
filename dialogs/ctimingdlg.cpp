#include "dialogs/ctimingdlg.h"

#include "res/stringids.h"
#include "res/stringtable.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QLabel *NamedLabel(const QString &text, const QString &name, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAccessibleName(text);
    return label;
}

} // namespace

CTimingDlg::CTimingDlg(int templateId, int captionId, int comboId, int unitId, int value, int min,
                       int max, QWidget *parent)
    : QDialog(parent), m_nValue(value), m_nMin(min), m_nMax(std::max(min, max))
{
    setObjectName(QString::number(templateId));
    setWindowTitle(LoadString(captionId));
    setAccessibleName(windowTitle());
    setModal(true);

    m_comboValues = new QComboBox(this);
    m_comboValues->setObjectName(QString::number(comboId));
    m_comboValues->setAccessibleName(LoadString(captionId));
    m_comboValues->setEditable(false);
    for (int n = m_nMin; n <= m_nMax; ++n)
        m_comboValues->addItem(QString::number(n));
    m_comboValues->setCurrentIndex(std::clamp(value, m_nMin, m_nMax) - m_nMin);

    auto *row = new QHBoxLayout;
    row->addWidget(m_comboValues);
    row->addWidget(NamedLabel(LoadString(unitId), QStringLiteral("unitLabel"), this));
    row->addStretch(1);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *set = buttons->addButton(LoadString(STR_SET), QDialogButtonBox::AcceptRole);
    set->setObjectName(QString::number(IDOK));
    set->setAccessibleName(set->text());
    set->setDefault(true);
    QPushButton *cancel = buttons->addButton(LoadString(STR_CANCEL), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QString::number(IDCANCEL));
    cancel->setAccessibleName(cancel->text());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    m_layout = new QVBoxLayout(this);
    m_layout->addWidget(
        NamedLabel(LoadString(STR_SELECT_TIME), QStringLiteral("selectLabel"), this));
    m_layout->addLayout(row);
    m_layout->addWidget(buttons);
}

void CTimingDlg::accept()
{
    const int index = m_comboValues->currentIndex();
    if (index >= 0)
        m_nValue = index + m_nMin;
    QDialog::accept();
}

void CTimingDlg::AddNote(const QString &text)
{
    QLabel *note = NamedLabel(text, QStringLiteral("noteLabel"), this);
    note->setWordWrap(true);
    m_layout->insertWidget(2, note);
}

CRefreshIntervalDlg::CRefreshIntervalDlg(int value, int min, int max, QWidget *parent)
    : CTimingDlg(147, STR_REFRESH_INTERVAL, 1045, STR_MINUTES, value, min, max, parent)
{}

CWaitResponseDlg::CWaitResponseDlg(int value, int min, int max, QWidget *parent)
    : CTimingDlg(146, STR_RESPONSE_WAIT_TIME, 1046, STR_SECONDS, value, min, max, parent)
{
    AddNote(LoadString(STR_NEXT_START_NOTE));
}
