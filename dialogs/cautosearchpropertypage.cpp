#include "dialogs/cautosearchpropertypage.h"

#include "dialogs/itemroles.h"
#include "res/skinbitmap.h"
#include "dialogs/cauthdlg.h"
#include "dialogs/editdialogparts.h"
#include "dialogs/cwaitdialog.h"
#include "model/dialogworker.h"
#include "model/limits.h"
#include "model/projector.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "model/registration.h"
#include "store/actioneventmanager.h"
#include "store/usermessage.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

const QString kLockedName = QStringLiteral("********");

} // namespace

CAutoSearchPropertyPage::CAutoSearchPropertyPage(ProjectorManager &manager,
                                                 std::function<bool()> isRefreshing,
                                                 QWidget *parent)
    : QWidget(parent), m_manager(manager), m_isRefreshing(std::move(isRefreshing))
{
    setObjectName(QString::number(IDD_AUTO_SEARCH_PAGE));
    setAccessibleName(LoadString(STR_AUTO_SEARCH_PAGE));

    m_btnAutoSearch = new QPushButton(LoadString(STR_AUTO_SEARCH_BUTTON), this);
    m_btnAutoSearch->setObjectName(QString::number(IDC_AUTO_SEARCH));
    m_btnAutoSearch->setAccessibleName(m_btnAutoSearch->text());
    m_btnRegister = new QPushButton(LoadString(STR_REGISTER), this);
    m_btnRegister->setObjectName(QString::number(IDC_REGISTER_PROJECTORS));
    m_btnRegister->setAccessibleName(m_btnRegister->text());
    m_btnRegister->setEnabled(false);

    m_listCtrl = new QTreeWidget(this);
    m_listCtrl->setObjectName(QString::number(IDC_FOUND_LIST));
    m_listCtrl->setAccessibleName(LoadString(STR_REGISTER_PROJECTOR));
    m_listCtrl->setRootIsDecorated(false);
    m_listCtrl->setUniformRowHeights(true);
    m_listCtrl->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listCtrl->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listCtrl->setIconSize(QSize(16, 16));
    m_listCtrl->setColumnCount(3);
    m_listCtrl->setHeaderLabels(
        {LoadString(STR_SELECT), LoadString(STR_PASSWORD_COLUMN), LoadString(STR_PROJECTOR_NAME)});
    // Shown as "Projector name", "Password", "Select"; the check box lives in "Select".
    QHeaderView *header = m_listCtrl->header();
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->moveSection(header->visualIndex(COLUMN_NAME), 0);
    header->moveSection(header->visualIndex(COLUMN_PASSWORD), 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_btnAutoSearch);
    buttons->addStretch(1);
    buttons->addWidget(m_btnRegister);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MakePageStaticText(STR_AUTO_SEARCH_STEP1, this));
    layout->addWidget(MakePageStaticText(STR_AUTO_SEARCH_STEP2, this));
    layout->addWidget(MakePageStaticText(STR_AUTO_SEARCH_STEP3, this));
    layout->addWidget(m_listCtrl, 1);
    layout->addLayout(buttons);

    connect(m_btnAutoSearch, &QPushButton::clicked, this,
            &CAutoSearchPropertyPage::OnClickedAutoSearch);
    connect(m_btnRegister, &QPushButton::clicked, this,
            &CAutoSearchPropertyPage::OnClickedRegister);
    connect(m_listCtrl, &QTreeWidget::itemChanged, this, &CAutoSearchPropertyPage::OnItemChanged);
    connect(m_listCtrl, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current) { OnCurrentItemChanged(current); });
    connect(m_listCtrl, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { OnItemClicked(item); });
    m_listCtrl->viewport()->installEventFilter(this);
}

bool CAutoSearchPropertyPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_listCtrl->viewport()) {
        if (event->type() == QEvent::Resize)
            SizeColumns();
        else if (event->type() == QEvent::MouseButtonPress ||
                 event->type() == QEvent::MouseButtonDblClick)
            m_mousePressed = true;
        else if (event->type() == QEvent::MouseButtonRelease)
            m_mousePressed = false;
    }
    return QWidget::eventFilter(watched, event);
}

CAutoSearchPropertyPage::~CAutoSearchPropertyPage()
{
    // A search still running is stopped; the worker's destructor waits for its end.
    if (m_worker.IsBusy())
        m_manager.StopSearch();
}

void CAutoSearchPropertyPage::SizeColumns()
{
    // From the list's client width W: W/5 - 18, W/5 and 3 x (W/5), so all three fit.
    const int fifth = m_listCtrl->viewport()->width() / 5;
    m_listCtrl->setColumnWidth(COLUMN_SELECT, std::max(fifth - 18, 24));
    m_listCtrl->setColumnWidth(COLUMN_PASSWORD, fifth);
    m_listCtrl->setColumnWidth(COLUMN_NAME, 3 * fifth);
}

bool CAutoSearchPropertyPage::IsBusy() const
{
    return m_busy;
}

void CAutoSearchPropertyPage::OnSetActive()
{
    if (m_activated)
        FillProjectorList();
    m_activated = true;
    // Register acts on the checked rows only: with none, there is nothing to press.
    m_btnRegister->setEnabled(CheckedCount() > 0);
}

void CAutoSearchPropertyPage::OnClose()
{
    m_manager.DeleteSearchWorkers();
}

void CAutoSearchPropertyPage::OnSheetClosing()
{
    m_sheetClosing = true;
    if (m_pWaitDialog)
        m_pWaitDialog->close(); // as its Cancel: it stays until the search has stopped
}

void CAutoSearchPropertyPage::SetRow(QTreeWidgetItem *item, const Projector &projector,
                                     bool checked)
{
    const bool authenticated = projector.IsAuthenticated();
    // Locked rows show their box but the user cannot change it.
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (authenticated)
        flags |= Qt::ItemIsUserCheckable;
    item->setFlags(flags);
    item->setCheckState(COLUMN_SELECT, checked ? Qt::Checked : Qt::Unchecked);
    if (!authenticated)
        item->setIcon(COLUMN_PASSWORD, LoadSkinIcon(SKIN_ICON_PADLOCK_CLOSED));
    else if (projector.HasPassword())
        item->setIcon(COLUMN_PASSWORD, LoadSkinIcon(SKIN_ICON_PADLOCK_OPEN));
    else
        item->setIcon(COLUMN_PASSWORD, QIcon());
    item->setData(COLUMN_PASSWORD, ROLE_PADLOCK,
                  !authenticated ? PADLOCK_CLOSED : (projector.HasPassword() ? PADLOCK_OPEN : -1));
    item->setText(COLUMN_NAME, authenticated ? projector.GetName() : kLockedName);
    const QColor colour = authenticated ? palette().color(QPalette::Active, QPalette::Text)
                                        : palette().color(QPalette::Disabled, QPalette::Text);
    for (int column = 0; column < 3; ++column)
        item->setForeground(column, colour);
}

void CAutoSearchPropertyPage::FillProjectorList()
{
    m_filling = true;
    m_listCtrl->clear();
    m_pCheckFlags.resize(m_pFoundProjectors.size(), false);
    for (std::size_t i = 0; i < m_pFoundProjectors.size(); ++i) {
        auto *item = new QTreeWidgetItem(m_listCtrl);
        SetRow(item, *m_pFoundProjectors[i], m_pCheckFlags[i]);
    }
    m_filling = false;
}

int CAutoSearchPropertyPage::CheckedCount() const
{
    return int(std::count(m_pCheckFlags.begin(), m_pCheckFlags.end(), true));
}

void CAutoSearchPropertyPage::SetBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

void CAutoSearchPropertyPage::Done()
{
    SetBusy(false);
    emit idle();
}

void CAutoSearchPropertyPage::OnClickedAutoSearch()
{
    if (m_busy)
        return;
    if (m_isRefreshing && m_isRefreshing()) {
        ShowUserMessage(RegistrationMessageText(MSG_WAIT_FOR_REFRESH));
        return;
    }
    // A new search starts from an empty list and fresh flags, also when it finds nothing.
    m_listCtrl->clear();
    m_pFoundProjectors.clear();
    m_pCheckFlags.clear();
    m_btnRegister->setEnabled(false);
    m_searchCancelled = false;

    SetBusy(true);
    m_pWaitDialog = new CWaitDialog(window(), m_manager);
    connect(m_pWaitDialog, &CWaitDialog::cancelled, this, [this] { m_searchCancelled = true; });
    m_pWaitDialog->ShowModeless();

    // The flags go up before the thread starts, so a Cancel pressed at once still counts.
    m_manager.BeginSearch();
    m_worker.Start(
        [this] {
            ProjectorManager::SearchResults found;
            m_manager.Search(found);
            return found;
        },
        [this](ProjectorManager::SearchResults found) { OnSearchEnded(std::move(found)); });
}

void CAutoSearchPropertyPage::OnSearchEnded(ProjectorManager::SearchResults found)
{
    if (m_pWaitDialog)
        m_pWaitDialog->CloseForOwner();
    m_pFoundProjectors = std::move(found);
    m_pCheckFlags.assign(m_pFoundProjectors.size(), false);
    Done();
    if (!m_sheetClosing)
        window()->activateWindow();
    if (m_pFoundProjectors.empty()) {
        if (!m_sheetClosing)
            ShowUserMessage(RegistrationMessageText(MSG_NO_PROJECTOR_FOUND));
        return;
    }
    FillProjectorList();
}

void CAutoSearchPropertyPage::OnCurrentItemChanged(QTreeWidgetItem *current)
{
    // A click asks in OnItemClicked; only a selection made with the keyboard asks here, so one
    // user action asks once.
    if (m_filling || m_busy || !current || m_mousePressed)
        return;
    const int row = m_listCtrl->indexOfTopLevelItem(current);
    if (row >= 0 && !m_pFoundProjectors[std::size_t(row)]->IsAuthenticated())
        AuthenticateAll();
}

void CAutoSearchPropertyPage::OnItemClicked(QTreeWidgetItem *item)
{
    if (m_busy || !item)
        return;
    const int row = m_listCtrl->indexOfTopLevelItem(item);
    if (row >= 0 && !m_pFoundProjectors[std::size_t(row)]->IsAuthenticated())
        AuthenticateAll();
}

void CAutoSearchPropertyPage::AuthenticateAll()
{
    if (m_busy)
        return;
    const std::optional<QString> password = CAuthDlg::Ask(this);
    if (!password)
        return;
    std::vector<Projector *> candidates;
    for (const auto &candidate : m_pFoundProjectors)
        candidates.push_back(candidate.get());
    SetBusy(true);
    m_worker.Start(
        [candidates, password = *password] { return ::AuthenticateAll(candidates, password); },
        [this](int result) {
            FillProjectorList();
            Done();
            if (result != 0 && !m_sheetClosing)
                ShowUserMessage(RegistrationMessageText(result));
        });
}

void CAutoSearchPropertyPage::OnItemChanged(QTreeWidgetItem *item, int column)
{
    if (m_filling || column != COLUMN_SELECT)
        return;
    const int row = m_listCtrl->indexOfTopLevelItem(item);
    if (row < 0 || std::size_t(row) >= m_pCheckFlags.size())
        return;
    const bool checked = item->checkState(COLUMN_SELECT) == Qt::Checked;
    if (checked == m_pCheckFlags[std::size_t(row)])
        return;
    if (!m_pFoundProjectors[std::size_t(row)]->IsAuthenticated()) {
        // Refused: a locked row keeps its box as it was.
        m_filling = true;
        item->setCheckState(COLUMN_SELECT,
                            m_pCheckFlags[std::size_t(row)] ? Qt::Checked : Qt::Unchecked);
        m_filling = false;
        return;
    }
    m_pCheckFlags[std::size_t(row)] = checked;
    m_btnRegister->setEnabled(CheckedCount() > 0);
}

void CAutoSearchPropertyPage::OnClickedRegister()
{
    if (m_busy)
        return;
    std::vector<const Projector *> chosen;
    for (std::size_t i = 0; i < m_pFoundProjectors.size(); ++i) {
        if (m_pCheckFlags[i])
            chosen.push_back(m_pFoundProjectors[i].get());
    }
    if (const int full = CheckRoomFor(m_manager, chosen)) {
        ShowUserMessage(RegistrationMessageText(full));
        return;
    }

    std::vector<Projector *> registered;
    for (std::size_t i = 0; i < m_pFoundProjectors.size();) {
        if (!m_pCheckFlags[i]) {
            ++i;
            continue;
        }
        Projector *added = nullptr;
        if (const int refusal = AddCandidate(m_manager, *m_pFoundProjectors[i], &added)) {
            ShowUserMessage(RegistrationMessageText(refusal)); // the row stays, still checked
            ++i;
            continue;
        }
        registered.push_back(added);
        m_pCheckFlags.erase(m_pCheckFlags.begin() + std::ptrdiff_t(i));
        m_pFoundProjectors.erase(m_pFoundProjectors.begin() + std::ptrdiff_t(i));
        m_filling = true;
        delete m_listCtrl->takeTopLevelItem(int(i));
        m_filling = false;
    }
    m_btnRegister->setEnabled(CheckedCount() > 0);
    if (registered.empty())
        return;

    // The new projectors are read once, off this thread, before the success is told.
    SetBusy(true);
    m_worker.Start(
        [this, registered] {
            for (Projector *projector : registered)
                RefreshRegistered(m_manager, *projector, EventListSink());
        },
        [this] {
            Done();
            if (!m_sheetClosing)
                ShowUserMessage(RegistrationMessageText(MSG_REGISTERED), MessageIcon::Information);
        });
}
