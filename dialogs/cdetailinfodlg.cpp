#include "dialogs/cdetailinfodlg.h"

#include "res/stringids.h"
#include "model/dialogworker.h"
#include "model/projector.h"
#include "res/stringtable.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

CDetailInfoDlg::CDetailInfoDlg(Projector &projector, QWidget *parent)
    : QDialog(parent), m_pProjector(&projector)
{
    setObjectName(QString::number(IDD_DETAIL_INFO));
    setWindowTitle(LoadString(STR_DETAIL_INFORMATION));
    setAccessibleName(windowTitle());
    setModal(true);
    resize(420, 330);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QString::number(IDC_DETAIL_LIST));
    m_list->setAccessibleName(windowTitle());
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({LoadString(STR_ITEMS), LoadString(STR_DETAIL_STATUS_HEADER)});
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setIconSize(QSize(16, 16));
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The table is for reading only: no row can be selected or edited.
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setStretchLastSection(false);

    m_waitText = new QLabel(LoadString(STR_COMMUNICATING), this);
    m_waitText->setObjectName(QStringLiteral("waitText"));
    m_waitText->setAccessibleName(m_waitText->text());
    m_waitText->hide();

    auto *buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(LoadString(STR_OK), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QString::number(IDOK));
    m_ok->setAccessibleName(m_ok->text());
    m_ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_waitText);
    layout->addWidget(buttons);
}

bool CDetailInfoDlg::IsReading() const
{
    return m_reader.IsBusy();
}

void CDetailInfoDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        SetInitialColumnWidths();
        StartRead();
    }
}

void CDetailInfoDlg::SetInitialColumnWidths()
{
    const int width = m_list->viewport()->width();
    m_list->setColumnWidth(0, (width / 5) * 2);
    m_list->setColumnWidth(1, std::max(0, width - (width / 5) * 2 - 18));
}

void CDetailInfoDlg::StartRead()
{
    m_waitText->show();
    setCursor(Qt::BusyCursor);
    Projector *projector = m_pProjector;
    m_reader.Start([projector] { return ReadDetailInfo(*projector); },
                   [this](const DetailInfo &info) { OnRead(info); });
}

void CDetailInfoDlg::OnRead(const DetailInfo &info)
{
    m_waitText->hide();
    unsetCursor();

    const int initialStatusWidth = m_list->columnWidth(1);
    m_list->clear();
    for (const auto &[label, value] : DetailInfoRows(info)) {
        auto *item = new QTreeWidgetItem(m_list, {label, value});
        item->setFlags(Qt::ItemIsEnabled);
    }
    m_list->headerItem()->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    m_list->resizeColumnToContents(1);
    m_list->setColumnWidth(1, std::max(initialStatusWidth, m_list->columnWidth(1)));
    m_list->resizeColumnToContents(0);
    FitToRows();
    emit readFinished();

    if (m_pendingResult)
        QDialog::done(*m_pendingResult);
}

// A Class 2 projector with several lamps has twenty rows and more: the dialog grows until every
// row and both columns show without a scroll bar, within the screen.
void CDetailInfoDlg::FitToRows()
{
    // The wait text has just gone: the list gets its room before it is measured.
    layout()->activate();
    int rowsHeight = 0;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row)
        rowsHeight += m_list->sizeHintForRow(row);
    const int frame = 2 * m_list->frameWidth();
    const int neededHeight = m_list->header()->height() + rowsHeight + frame;
    const int neededWidth = m_list->columnWidth(0) + m_list->columnWidth(1) + frame;
    const QSize wanted = size() + QSize(std::max(0, neededWidth - m_list->width()),
                                        std::max(0, neededHeight - m_list->height()));
    const QScreen *shown = screen();
    const QSize room = shown ? shown->availableGeometry().size() : wanted;
    // Once everything fits, scroll bars stay off: left as needed, a bar shown before the resize
    // takes the room that would have made the other one unnecessary, and both stay.
    const bool fits = wanted.width() <= room.width() && wanted.height() <= room.height();
    const Qt::ScrollBarPolicy bars = fits ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    m_list->setVerticalScrollBarPolicy(bars);
    m_list->setHorizontalScrollBarPolicy(bars);
    if (wanted != size())
        resize(wanted.boundedTo(room));
}

void CDetailInfoDlg::done(int result)
{
    if (IsReading()) {
        m_pendingResult = result;
        return;
    }
    QDialog::done(result);
}
