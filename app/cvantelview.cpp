#include "app/cvantelview.h"

#include "app/apptimings.h"
#include "app/cactioneventlistctrl.h"
#include "app/cbitmapbutton.h"
#include "app/cedbackgroundbmp.h"
#include "app/cedwidebackgroundbmp.h"
#include "app/cgrouptreectrl.h"
#include "app/cimagetextbutton.h"
#include "store/usermessage.h"
#include "app/cnodedrag.h"
#include "app/nodeholds.h"
#include "app/cprojectorlistctrl.h"
#include "model/refreshscheduler.h"
#include "app/crcbackgroundbmp.h"
#include "app/crcwidebackgroundbmp.h"
#include "res/stringids.h"
#include "res/skinbitmap.h"
#include "app/statusnotifications.h"
#include "app/cprojectorcommands.h"
#include "app/ctitledlg.h"
#include "app/viewfonts.h"
#include "dialogs/cregprojectordlg.h"
#include "model/group.h"
#include "model/inputchoices.h"
#include "model/projector.h"
#include "model/editrules.h"
#include "model/projectormanager.h"
#include "model/projectorschangedevent.h"
#include "model/refreshworker.h"
#include "model/selectionrules.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QStyle>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStandardItemModel>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The projector list's column header ends this far below the list's top, so that the tree
// starts where its layout entry says (192, 27 below the list's 165).
constexpr int kListHeaderBottom = 27;

// The pictures of the bitmap buttons, normal, pressed and focused.
struct ButtonPictures
{
    int id;
    int normal;
};
constexpr ButtonPictures kButtonPictures[] = {
    {IDC_POWER_ON, 245},  {IDC_POWER_OFF, 248},    {IDC_SET_INPUT, 251},       {IDC_MUTE_ON, 245},
    {IDC_MUTE_OFF, 248},  {IDC_REGISTER, 257},     {IDC_CHANGE_PASSWORD, 260}, {IDC_REGROUP, 263},
    {IDC_CHANGE_IP, 266}, {IDC_RENAME_GROUP, 269}, {IDC_DELETE, 272},
};
constexpr int BMP_DETAIL_REMOTE = 254;
constexpr int BMP_DETAIL_EDIT = 275;

int PictureOf(int id)
{
    for (const ButtonPictures &pictures : kButtonPictures) {
        if (pictures.id == id)
            return pictures.normal;
    }
    return 0;
}

// The library start; tests replace it.
std::function<int()> &LibraryInit()
{
    static std::function<int()> init;
    return init;
}

} // namespace

CVantelView::CVantelView(CVantelDoc &doc, QWidget *parent)
    : QWidget(parent), m_doc(doc), m_layout(LoadViewLayout()), m_holds(new NodeHolds(this))
{
    setObjectName(u"view"_s);
    setMinimumSize(VIEW_DESIGN_SIZE);
    resize(VIEW_DESIGN_SIZE);
    setFont(ViewFont());
    for (const QString &problem : std::as_const(m_layout.problems))
        qWarning("Layout entry does not parse: %s", qUtf8Printable(problem));

    m_splashTimer.setSingleShot(true);
    connect(&m_splashTimer, &QTimer::timeout, this, &CVantelView::FinishInitialUpdate);
    CVantelDoc *document = &m_doc;
    m_scheduler = std::make_unique<RefreshScheduler>(
        [this, document] {
            return std::make_unique<RefreshWorker>(
                *ProjectorManager::GetInstance(),
                [document](const std::vector<Projector *> &projectors) {
                    document->RefreshProjectors(projectors, false);
                },
                this);
        },
        [document] { return document->GetRefreshInterval() * Timings().minuteMs; });
    connect(m_scheduler.get(), &RefreshScheduler::busyChanged, this, [this](bool busy) {
        ShowWaitMessage(busy, busy ? LoadString(STR_COMMUNICATING) : QString());
    });

    CProjectorCommands::Waits waits;
    waits.powerMs = Timings().powerWaitMs;
    waits.inputMs = Timings().inputWaitMs;
    waits.muteMs = Timings().muteWaitMs;
    m_commands = new CProjectorCommands(
        doc, this, [this] { return GetListSelection(); }, waits);
    // A running command shows itself: its buttons are disabled (the blocker shows the busy
    // cursor), so that a click is not silently dropped.
    connect(m_commands, &CProjectorCommands::busyChanged, this, [this](bool busy) {
        if (!m_controlsCreated)
            return;
        for (CBitmapButton *button : m_remoteButtons)
            button->setEnabled(!busy);
        m_detailButton->setEnabled(!busy);
        m_inputCombo->setEnabled(!busy);
        m_muteCombo->setEnabled(!busy);
    });
    // After a command the projectors have changed: rebuilt as after a refresh.
    connect(m_commands, &CProjectorCommands::finished, this,
            [this] { QCoreApplication::postEvent(this, new QEvent(ProjectorsChangedEvent)); });
    m_commands->SetNodeHolds(m_holds);
    // Queued: the last hold goes while its owner may still be on the stack.
    connect(m_holds, &NodeHolds::released, this, &CVantelView::TryReplaceRegistry,
            Qt::QueuedConnection);
    // A cycle that runs arms the timer with the new interval when it ends.
    connect(m_commands, &CProjectorCommands::refreshIntervalChanged, m_scheduler.get(),
            &RefreshScheduler::IntervalChanged);
    CreateEditCommands();
}

CVantelView::~CVantelView()
{
    EndBackgroundWork();
}

void CVantelView::EndBackgroundWork()
{
    // The listener and the workers post to this view: each ends while the view is whole.
    m_notifications.reset();
    m_scheduler.reset();
}

// Names the control by its id for tests and screen readers, and keeps it in the map the layout
// and the command wiring look controls up in.
void CVantelView::Identify(QWidget *widget, int id, const QString &accessibleName)
{
    widget->setObjectName(QString::number(id));
    widget->setAccessibleName(accessibleName);
    m_controls.insert(id, widget);
}

void CVantelView::SetLibraryInitForTesting(std::function<int()> init)
{
    LibraryInit() = std::move(init);
}

void CVantelView::SetTitle()
{
    if (QWidget *frame = window())
        frame->setWindowTitle(FormatText(LoadString(STR_TITLE), {QString()}));
}

void CVantelView::OnInitialUpdate()
{
    SetTitle();
    if (m_controlsCreated) {
        FinishInitialUpdate();
        return;
    }
    if (LoadSkinBitmap(SKIN_BACKGROUND).isNull()) {
        ShowUserMessage(u"LoadBitmap ERROR END"_s);
        m_initialUpdateFinished = true;
        emit initialUpdateFinished();
        return;
    }
    m_edBackground = std::make_unique<CEDBackgroundBmp>();
    m_edWideBackground = std::make_unique<CEDWideBackgroundBmp>();
    m_rcBackground = std::make_unique<CRCBackgroundBmp>();
    m_rcWideBackground = std::make_unique<CRCWideBackgroundBmp>();
    for (CBackgroundBmp *background : {m_edBackground.get(), m_edWideBackground.get(),
                                       m_rcBackground.get(), m_rcWideBackground.get()}) {
        background->Prepare(this);
        background->Resize(width(), height());
    }

    m_splash = std::make_unique<CTitleDlg>();
    m_splash->show();

    CreateControls();
    SetTab(m_doc.GetProjectors().empty() ? TAB_EDIT : TAB_REMOTE_CONTROL);
    ShowWaitMessage(false, QString());

    const int init = LibraryInit() ? LibraryInit()() : ProjectorManager::InitProjectors();
    if (init != 0) {
        // The splash window goes too: it would otherwise stand over the window until the end.
        CloseSplash();
        ShowUserMessage(LoadString(STR_LIBRARY_INIT_FAILED));
        m_initialUpdateFinished = true;
        emit initialUpdateFinished();
        return;
    }
    m_splashTimer.start(Timings().splashMs);
}

void CVantelView::CloseSplash()
{
    if (m_splash) {
        m_splash->close();
        m_splash.reset();
    }
}

void CVantelView::FinishInitialUpdate()
{
    CloseSplash();
    ApplyInformationField(m_doc.GetShowInformation());
    AttachRegistry();
    ShowWaitMessage(true, LoadString(STR_COMMUNICATING));
    StartRefresh();
    // Notifications come on top of the refresh, which goes on whether or not they can.
    if (!m_notifications) {
        ProjectorManager *manager = ProjectorManager::GetInstance();
        m_notifications = std::make_unique<StatusNotifications>(
            *manager, *ActionEventManager::GetInstance(), this);
        m_notifications->Start();
        manager->SetBroadcastWait(BROADCAST_SEARCH_WAIT);
    }
    SetTitle();
    // Also after Open: the file read may have turned it off.
    SetEventFilter(m_doc.GetDisplayOnlyError());
    emit menuStateChanged();
    if (!m_initialUpdateFinished) {
        m_initialUpdateFinished = true;
        emit initialUpdateFinished();
    }
}

void CVantelView::CreateControls()
{
    InitActionList();
    InitProjectorList();
    InitGroupTree();
    InitTabButton();
    InitButton();
    InitLabels();
    InitCombo();
    m_controlsCreated = true;
    PlaceControls();
    // Its columns follow its width, known once placed.
    m_eventList->SetUpColumns();
    CreateNodeDrag();
}

void CVantelView::InitActionList()
{
    m_informationCaption = new QLabel(this);
    m_informationCaption->setFont(CaptionFont());
    Identify(m_informationCaption, IDC_INFORMATION_CAPTION, QString());

    m_eventList = new CActionEventListCtrl(this);
    m_eventList->setFrameShape(QFrame::Box);
    Identify(m_eventList, IDC_EVENT_LIST, LoadString(STR_INFORMATION));
}

void CVantelView::InitProjectorList()
{
    m_statusCaption = new QLabel(this);
    m_statusCaption->setFont(CaptionFont());
    Identify(m_statusCaption, IDC_STATUS_CAPTION, QString());

    m_projectorList = new CProjectorListCtrl(this);
    m_projectorList->setFrameShape(QFrame::Box);
    m_projectorList->SetUpColumns();
    m_projectorList->header()->setFixedHeight(kListHeaderBottom - m_projectorList->frameWidth());
    Identify(m_projectorList, IDC_PROJECTOR_LIST, LoadString(STR_STATUS_CAPTION));
    connect(m_projectorList, &QTreeWidget::itemSelectionChanged, this,
            &CVantelView::OnListSelectionChanged);
}

void CVantelView::InitGroupTree()
{
    // One header section, 8 pixels wider than the strip, like the list's column header.
    auto *model = new QStandardItemModel(0, 1, this);
    const QString caption = m_layout.Caption(IDC_GROUPS_HEADER);
    model->setHorizontalHeaderItem(0, new QStandardItem(caption));
    m_groupsHeader = new QHeaderView(Qt::Horizontal, this);
    m_groupsHeader->setModel(model);
    m_groupsHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_groupsHeader->setSectionsClickable(false);
    m_groupsHeader->resizeSection(0, m_layout.Rect(IDC_GROUPS_HEADER).width() + 8);
    Identify(m_groupsHeader, IDC_GROUPS_HEADER, caption);

    m_treeCtrl = new CGroupTreeCtrl(this);
    m_treeCtrl->setFrameShape(QFrame::Box);
    Identify(m_treeCtrl, IDC_GROUP_TREE, caption);
    connect(m_treeCtrl, &QTreeWidget::currentItemChanged, this,
            &CVantelView::OnTreeSelectionChanged);
}

void CVantelView::InitTabButton()
{
    const QFont font = ViewFont();
    const auto makeTab = [this, &font](int id, int stringId) {
        auto *button = new CImageTextButton(this);
        button->SetText(LoadString(stringId));
        button->SetTextColors(Qt::black, Qt::black);
        button->SetFont(font.family(), font.pixelSize());
        Identify(button, id, LoadString(stringId));
        connect(button, &QPushButton::clicked, this,
                [this, id] { SetTab(id == IDC_TAB_EDIT ? TAB_EDIT : TAB_REMOTE_CONTROL); });
        m_enterButtons.push_back(button);
        return button;
    };
    m_tabRemote = makeTab(IDC_TAB_REMOTE, 142);
    m_tabEdit = makeTab(IDC_TAB_EDIT, 141);
}

void CVantelView::InitButton()
{
    const auto makeButton = [this](int id) {
        const QString caption = m_layout.Caption(id);
        auto *button = new CBitmapButton(this);
        button->setText(caption); // the picture carries the visible caption
        if (const int picture = PictureOf(id))
            button->LoadBitmaps(picture, picture + 1, picture + 2);
        Identify(button, id, caption);
        m_enterButtons.push_back(button);
        return button;
    };
    for (const int id : {IDC_POWER_ON, IDC_POWER_OFF, IDC_SET_INPUT, IDC_MUTE_ON, IDC_MUTE_OFF})
        m_remoteButtons.push_back(makeButton(id));
    for (const int id : {IDC_REGISTER, IDC_CHANGE_PASSWORD, IDC_REGROUP, IDC_CHANGE_IP,
                         IDC_RENAME_GROUP, IDC_DELETE})
        m_editButtons.push_back(makeButton(id));
    connect(m_editButtons.front(), &QPushButton::clicked, this, &CVantelView::OnRegisterProjector);
    m_detailButton = makeButton(IDC_DETAIL);

    m_refreshButton = new QPushButton(m_layout.Caption(IDC_REFRESH), this);
    Identify(m_refreshButton, IDC_REFRESH, m_refreshButton->text());
    connect(m_refreshButton, &QPushButton::clicked, m_scheduler.get(),
            &RefreshScheduler::RequestRefreshSoon);
    m_closeButton = new QPushButton(m_layout.Caption(IDC_CLOSE), this);
    Identify(m_closeButton, IDC_CLOSE, m_closeButton->text());
    connect(m_closeButton, &QPushButton::clicked, this, [this] { window()->close(); });
    m_enterButtons.push_back(m_refreshButton);
    m_enterButtons.push_back(m_closeButton);
    ConnectCommands();
    ConnectEditCommands();

    for (QPushButton *button : m_enterButtons)
        button->installEventFilter(this);
}

void CVantelView::InitLabels()
{
    for (const int id : {IDC_POWER_LABEL, IDC_INPUT_LABEL, IDC_MUTE_LABEL}) {
        auto *label = new QLabel(m_layout.Caption(id), this);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        Identify(label, id, label->text());
        m_remoteLabels.push_back(label);
    }
    m_waitText = new QLabel(this);
    m_waitText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Identify(m_waitText, IDC_WAIT_TEXT, QString());
    m_hourglass = new QLabel(this);
    m_hourglass->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_hourglass->setPixmap(LoadSkinBitmap(SKIN_HOURGLASS));
    Identify(m_hourglass, IDC_HOURGLASS, LoadString(STR_COMMUNICATING));

    const QPalette textPalette = [this] {
        QPalette palette = this->palette();
        palette.setColor(QPalette::WindowText, QColor(1, 1, 1));
        return palette;
    }();
    for (QLabel *label : {m_informationCaption, m_statusCaption, m_waitText})
        label->setPalette(textPalette);
    for (QLabel *label : m_remoteLabels)
        label->setPalette(textPalette);
}

void CVantelView::InitCombo()
{
    m_inputCombo = new QComboBox(this);
    Identify(m_inputCombo, IDC_INPUT_COMBO, LoadString(STR_INPUT));
    m_muteCombo = new QComboBox(this);
    for (const int id : {STR_VIDEO_AND_AUDIO, STR_VIDEO, STR_AUDIO})
        m_muteCombo->addItem(LoadString(id));
    Identify(m_muteCombo, IDC_MUTE_COMBO, LoadString(STR_MUTE));
    // The opened list is as tall as the entry says, at least its three kinds.
    for (QComboBox *combo : {m_inputCombo, m_muteCombo})
        combo->setMaxVisibleItems(
            std::max(3, DROP_DOWN_LIST_HEIGHT / std::max(1, combo->fontMetrics().height() + 4)));
}

void CVantelView::SetTab(Tab tab)
{
    m_tab = tab;
    ApplyTab();
}

void CVantelView::ApplyTab()
{
    if (!m_controlsCreated)
        return;
    const bool remote = m_tab == TAB_REMOTE_CONTROL;
    for (CBitmapButton *button : m_remoteButtons)
        button->setVisible(remote);
    for (CBitmapButton *button : m_editButtons)
        button->setVisible(!remote);
    for (QLabel *label : m_remoteLabels)
        label->setVisible(remote);
    m_inputCombo->setVisible(remote);
    m_muteCombo->setVisible(remote);
    m_tabRemote->SetBitmaps(remote ? SKIN_TAB_RC_ACTIVE : SKIN_TAB_RC_INACTIVE,
                            remote ? SKIN_TAB_RC_ACTIVE : SKIN_TAB_RC_INACTIVE, 0);
    m_tabEdit->SetBitmaps(remote ? SKIN_TAB_ED_INACTIVE : SKIN_TAB_ED_ACTIVE,
                          remote ? SKIN_TAB_ED_INACTIVE : SKIN_TAB_ED_ACTIVE, 0);
    const int detail = remote ? BMP_DETAIL_REMOTE : BMP_DETAIL_EDIT;
    m_detailButton->LoadBitmaps(detail, detail + 1, detail + 2);
    m_detailButton->update();
    m_projectorList->setFocus();
    update();
}

void CVantelView::ShowWaitMessage(bool show, const QString &text)
{
    if (!m_controlsCreated)
        return;
    m_refreshText = show ? text : QString();
    UpdateWaitText();
}

void CVantelView::UpdateWaitText()
{
    if (!m_controlsCreated)
        return;
    const QString text = m_pendingReplacement ? m_replacementText : m_refreshText;
    m_waitText->setText(text);
    m_waitText->setAccessibleName(text);
    m_waitText->setVisible(!text.isEmpty());
    m_hourglass->setVisible(!text.isEmpty());
    m_refreshButton->setEnabled(m_refreshText.isEmpty());
}

bool CVantelView::IsRefreshing() const
{
    return !m_refreshText.isEmpty();
}

bool CVantelView::IsWorkerRunning() const
{
    if (m_commands && m_commands->IsBusy())
        return true;
    if (m_editCommands && m_editCommands->IsBusy())
        return true;
    return m_scheduler && m_scheduler->IsRunning();
}

void CVantelView::ApplyInformationField(bool shown)
{
    if (!m_controlsCreated)
        return;
    m_informationCaption->setText(LoadString(shown ? STR_INFORMATION : STR_STATUS_CAPTION));
    m_informationCaption->setAccessibleName(m_informationCaption->text());
    m_statusCaption->setText(shown ? LoadString(STR_STATUS_CAPTION) : QString());
    m_statusCaption->setAccessibleName(m_statusCaption->text());
    m_eventList->setVisible(shown);
    m_informationShown = shown;
    PlaceControls();
    emit menuStateChanged();
}

void CVantelView::ToggleInformationField()
{
    m_doc.SetShowInformation(!m_doc.GetShowInformation());
    ApplyInformationField(m_doc.GetShowInformation());
    repaint();
    m_doc.SaveSettings();
}

void CVantelView::ToggleDisplayOnlyError()
{
    m_doc.SetDisplayOnlyError(!m_doc.GetDisplayOnlyError());
    SetEventFilter(m_doc.GetDisplayOnlyError());
    m_doc.SaveSettings();
    emit menuStateChanged();
}

void CVantelView::StartRefresh()
{
    m_scheduler->RequestCycle();
}

bool CVantelView::ReplaceRegistryWhenFree(std::function<void()> work, const QString &waitText)
{
    if (m_pendingReplacement)
        return false;
    m_pendingReplacement = std::move(work);
    m_replacementText = waitText;
    TryReplaceRegistry();
    if (m_pendingReplacement) {
        UpdateWaitText();
        emit replacementPendingChanged(true);
    }
    return true;
}

void CVantelView::CancelReplacement()
{
    if (!m_pendingReplacement)
        return;
    m_pendingReplacement = nullptr;
    UpdateWaitText();
    emit replacementPendingChanged(false);
}

void CVantelView::TryReplaceRegistry()
{
    if (!m_pendingReplacement)
        return;
    // The cycle's end comes first: the scheduler runs this before a cycle requested meanwhile.
    if (m_scheduler->IsRunning()) {
        if (!std::exchange(m_replacementAfterCycle, true))
            m_scheduler->RunWhenIdle([this] {
                m_replacementAfterCycle = false;
                TryReplaceRegistry();
            });
        return;
    }
    // The last hold's release and the drag's end call again.
    if (m_holds->IsHeld() || (m_nodeDrag && m_nodeDrag->IsDragging()))
        return;
    const std::function<void()> work = std::exchange(m_pendingReplacement, nullptr);
    UpdateWaitText();
    emit replacementPendingChanged(false);
    // Messages of the replacement run loops of their own; nothing else replaces meanwhile.
    const NodeHolds::Hold hold(m_holds);
    work();
}

bool CVantelView::event(QEvent *event)
{
    if (event->type() == RefreshFinishedEvent) {
        if (m_scheduler)
            m_scheduler->OnCycleFinished();
        return true;
    }
    if (event->type() == ProjectorsChangedEvent) {
        // A rebuild would take the items the user points at away: it waits for the drop.
        if (m_nodeDrag && m_nodeDrag->IsDragging())
            m_changedDuringDrag = true;
        else
            OnProjectorsChanged();
        return true;
    }
    return QWidget::event(event);
}

bool CVantelView::eventFilter(QObject *watched, QEvent *event)
{
    // Enter on a command button runs its command, as a click does.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (auto *button = qobject_cast<QPushButton *>(watched); button && button->isEnabled())
                button->click();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CVantelView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept(); // Escape closes and clears nothing in the main window
        return;
    }
    QWidget::keyPressEvent(event);
}

CBackgroundBmp *CVantelView::CurrentBackground() const
{
    if (m_tab == TAB_REMOTE_CONTROL)
        return m_informationShown ? m_rcWideBackground.get() : m_rcBackground.get();
    return m_informationShown ? m_edWideBackground.get() : m_edBackground.get();
}

void CVantelView::paintEvent(QPaintEvent *)
{
    const CBackgroundBmp *background = CurrentBackground();
    if (!background || !background->IsPrepared())
        return;
    QPainter painter(this);
    background->Draw(painter, 0, 0, width(), height());
}

void CVantelView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    for (CBackgroundBmp *background : {m_edBackground.get(), m_edWideBackground.get(),
                                       m_rcBackground.get(), m_rcWideBackground.get()}) {
        if (background)
            background->Resize(width(), height());
    }
    if (m_controlsCreated && size() != VIEW_DESIGN_SIZE)
        m_resized = true;
    PlaceControls();
}

void CVantelView::PlaceControls()
{
    if (!m_controlsCreated)
        return;
    ViewGeometryInput input;
    input.client = size();
    input.showInformation = m_informationShown;
    input.listHeaderBottom = m_projectorList->frameWidth() + m_projectorList->header()->height();
    input.resized = m_resized;
    const QHash<int, QRect> rects = ComputeViewGeometry(m_layout, input);
    for (auto it = rects.cbegin(); it != rects.cend(); ++it) {
        if (QWidget *control = m_controls.value(it.key()))
            control->setGeometry(it.value());
    }
    // The hourglass picture is taller than its entry: shown whole, centred on the entry.
    const QRect entry = m_hourglass->geometry();
    QRect whole(QPoint(), entry.size().expandedTo(m_hourglass->pixmap().size()));
    whole.moveCenter(entry.center());
    m_hourglass->setGeometry(whole);
}

void CVantelView::ConnectCommands()
{
    const auto onClick = [this](int id, auto command) {
        if (auto *button = Control<QPushButton>(id))
            connect(button, &QPushButton::clicked, m_commands, command);
    };
    onClick(IDC_POWER_ON, [this] { m_commands->Power(PowerStatus::On); });
    onClick(IDC_POWER_OFF, [this] { m_commands->Power(PowerStatus::Off); });
    onClick(IDC_SET_INPUT, [this] { m_commands->SetInput(GetChosenInput()); });
    onClick(IDC_MUTE_ON, [this] { m_commands->Mute(m_muteCombo->currentIndex(), true); });
    onClick(IDC_MUTE_OFF, [this] { m_commands->Mute(m_muteCombo->currentIndex(), false); });
    onClick(IDC_DETAIL, [this] { m_commands->DetailInformation(); });
}

std::vector<ProjectorNode *> CVantelView::GetListSelection() const
{
    std::vector<ProjectorNode *> selection;
    if (m_projectorList)
        m_projectorList->GetSelection(selection);
    return selection;
}

Group *CVantelView::GetTreeSelection() const
{
    return m_treeCtrl ? m_treeCtrl->GetSelectedGroup() : nullptr;
}

std::vector<ProjectorNode *> CVantelView::TreeSelectionContent() const
{
    const QTreeWidgetItem *current = m_treeCtrl->currentItem();
    const bool displayAll = current && current == m_treeCtrl->DisplayAllItem();
    return ListContent(displayAll ? nullptr : m_treeCtrl->NodeOfItem(current), displayAll,
                       displayAll ? m_doc.GetProjectors() : std::vector<Projector *>());
}

void CVantelView::RebuildTree(bool restoreExpansion)
{
    // The rebuild selects "Display all" on its way; the list follows only the final selection,
    // so an unchanged group keeps its rows and their selection.
    const QScopedValueRollback rebuilding(m_rebuildingTree, true);
    m_treeCtrl->UpdateData();
    if (QTreeWidgetItem *item = m_treeCtrl->ItemToSelectAfterRebuild())
        m_treeCtrl->setCurrentItem(item);
    if (restoreExpansion)
        m_treeCtrl->RestoreExpansion(m_treeCtrl->NodeOfItem(m_treeCtrl->RootItem()));
}

void CVantelView::OnProjectorsChanged()
{
    if (!m_controlsCreated)
        return;
    // Item handles do not survive the rebuild: the selected group carries its flag across.
    Group *selected = m_treeCtrl->GetSelectedGroup();
    if (selected)
        selected->GetTreeState().selectAfterRebuild = true;
    // The first build keeps the tree as it comes: only the root expanded.
    RebuildTree(!std::exchange(m_firstProjectorsChanged, false));
    const std::vector<ProjectorNode *> content = TreeSelectionContent();
    if (content != m_projectorList->GetContent())
        m_projectorList->ShowNodes(content);
    m_projectorList->UpdateData();
    m_eventList->UpdateData();
}

void CVantelView::OnTreeSelectionChanged()
{
    if (m_rebuildingTree || !m_controlsCreated)
        return;
    m_projectorList->ShowNodes(TreeSelectionContent());
    m_projectorList->UpdateData();
    m_inputCombo->clear();
    m_inputChoices.clear();
    m_inputComboSelection.clear();
}

std::optional<InputStatus> CVantelView::GetChosenInput() const
{
    const int index = m_inputCombo ? m_inputCombo->currentIndex() : -1;
    if (index < 0 || index >= int(m_inputChoices.size()))
        return std::nullopt;
    return m_inputChoices[std::size_t(index)].input;
}

// The closed drop-down keeps its layout width; its open list is as wide as its longest entry
// ("Network1 - HDBaseT"), so that no terminal name is cut.
void CVantelView::FitOpenListToEntries(QComboBox &combo)
{
    QAbstractItemView *list = combo.view();
    int widest = 0;
    for (int i = 0; i < combo.count(); ++i)
        widest = std::max(widest, list->sizeHintForIndex(combo.model()->index(i, 0)).width());
    const int frame = 2 * list->frameWidth();
    const int scrollBar = combo.count() > combo.maxVisibleItems()
                              ? list->style()->pixelMetric(QStyle::PM_ScrollBarExtent)
                              : 0;
    list->setMinimumWidth(std::max(combo.width(), widest + frame + scrollBar));
}

void CVantelView::OnListSelectionChanged()
{
    if (!m_controlsCreated)
        return;
    const std::vector<ProjectorNode *> selection = GetListSelection();
    const std::vector<InputChoice> choices = MakeInputChoices(SelectionStates(selection));
    // A rebuild (a cycle's end, a command's read-back) re-announces the same selection: the entry
    // the user picked stays, so that Set sends what the user sees.
    // An unknown input (the default) matches no entry.
    const InputStatus picked = selection == m_inputComboSelection
                                   ? GetChosenInput().value_or(InputStatus())
                                   : InputStatus();
    m_inputComboSelection = selection;
    m_inputCombo->clear();
    // The entries' inputs stay beside the drop-down, in its order.
    m_inputChoices = choices;
    for (const InputChoice &choice : choices)
        m_inputCombo->addItem(choice.text);
    FitOpenListToEntries(*m_inputCombo);
    if (choices.empty())
        return;
    const auto kept = std::find_if(choices.begin(), choices.end(),
                                   [&](const InputChoice &c) { return c.input == picked; });
    if (kept != choices.end()) {
        m_inputCombo->setCurrentIndex(int(kept - choices.begin()));
        return;
    }
    m_inputCombo->setCurrentIndex(0);
    // One projector row: its current input, matched by value.
    if (selection.size() == 1 && selection.front()->IsProjector()) {
        const ProjectorState state = static_cast<Projector *>(selection.front())->GetState();
        if (const int index = FindInputChoice(choices, state); index >= 0)
            m_inputCombo->setCurrentIndex(index);
    }
}

void CVantelView::AttachRegistry()
{
    if (!m_controlsCreated)
        return;
    m_treeCtrl->Init(m_doc.GetRoot(), true);
    m_treeCtrl->UpdateData();
}

void CVantelView::DetachRegistry()
{
    if (!m_controlsCreated)
        return;
    m_treeCtrl->Init(nullptr, true);
    RebuildTree(false);
    m_projectorList->ShowNodes({});
    m_projectorList->UpdateData();
    m_inputCombo->clear();
    m_inputComboSelection.clear();
}

void CVantelView::OnRegisterProjector()
{
    const NodeHolds::Hold hold(m_holds);
    CRegProjectorDlg sheet(this, *ProjectorManager::GetInstance(),
                           [this] { return IsRefreshing(); });
    sheet.exec();
    // With any result: the registry is shown again, as after a refresh, and the settings file
    // keeps what was registered.
    QEvent changed(ProjectorsChangedEvent);
    event(&changed);
    m_doc.SaveSettings();
}

void CVantelView::CreateEditCommands()
{
    CEditCommands::ViewAccess access;
    access.listSelection = [this] { return GetListSelection(); };
    access.treeGroup = [this] { return GetTreeSelection(); };
    access.displayAllText = [] { return LoadString(STR_DISPLAY_ALL); };
    access.refreshing = [this] { return IsRefreshing(); };
    access.releaseNodes = [this] { ReleaseNodes(); };
    access.update = [this](const CEditCommands::ViewUpdate &update) { ApplyEditUpdate(update); };
    access.holds = m_holds;
    m_editCommands =
        new CEditCommands(m_doc, *ProjectorManager::GetInstance(), this, std::move(access));
}

void CVantelView::ConnectEditCommands()
{
    const auto onClick = [this](int id, void (CEditCommands::*command)()) {
        if (auto *button = Control<QPushButton>(id))
            connect(button, &QPushButton::clicked, m_editCommands, command);
    };
    onClick(IDC_CHANGE_PASSWORD, &CEditCommands::ChangePassword);
    onClick(IDC_CHANGE_IP, &CEditCommands::ChangeIPAddress);
    onClick(IDC_REGROUP, &CEditCommands::Regroup);
    onClick(IDC_RENAME_GROUP, &CEditCommands::RenameGroup);
    onClick(IDC_DELETE, &CEditCommands::Delete);
}

void CVantelView::ReleaseNodes()
{
    if (!m_controlsCreated)
        return;
    // The tree's group stays selected after the rebuild when it survives; its flag goes with it
    // otherwise.
    if (Group *selected = m_treeCtrl->GetSelectedGroup())
        selected->GetTreeState().selectAfterRebuild = true;
    m_projectorList->ShowNodes({});
    m_projectorList->UpdateData();
}

void CVantelView::ApplyEditUpdate(const CEditCommands::ViewUpdate &update)
{
    if (!m_controlsCreated)
        return;
    if (update.rebuildTree)
        RebuildTree(true);
    // A rebuilt tree has a new selection, which the list follows.
    if (update.rebuildTree || update.resetList)
        m_projectorList->ShowNodes(TreeSelectionContent());
    if (update.rebuildTree || update.resetList || update.rebuildList)
        m_projectorList->UpdateData();
    if (update.rebuildEvents)
        m_eventList->UpdateData();
    if (update.select)
        m_treeCtrl->SelectNode(update.selectNode);
}

void CVantelView::CreateNodeDrag()
{
    m_nodeDrag = new CNodeDrag(
        m_treeCtrl, m_projectorList, this,
        [this](const QTreeWidgetItem *item) -> ProjectorNode * {
            return m_treeCtrl->NodeOfItem(item);
        },
        [this](const QTreeWidgetItem *item) {
            return m_projectorList->NodeOfRow(
                m_projectorList->indexOfTopLevelItem(const_cast<QTreeWidgetItem *>(item)));
        },
        [this](const std::vector<ProjectorNode *> &sources, bool fromTree, ProjectorNode *target) {
            OnNodesDropped(sources, fromTree, target);
        });
    connect(m_nodeDrag, &CNodeDrag::dragEnded, this, [this] {
        if (std::exchange(m_changedDuringDrag, false))
            OnProjectorsChanged();
        TryReplaceRegistry();
    });
}

void CVantelView::OnNodesDropped(const std::vector<ProjectorNode *> &sources, bool fromTree,
                                 ProjectorNode *target)
{
    // The message box's loop must not see sources or result.select destroyed.
    const NodeHolds::Hold hold(m_holds);
    Group *before = m_treeCtrl->GetSelectedGroup();
    const DropResult result = DropNodes(sources, fromTree, target, m_doc.GetRoot(), before);
    if (result.message) {
        ShowUserMessage(LoadString(result.message));
    } else {
        CEditCommands::ViewUpdate update;
        update.rebuildTree = true;
        ApplyEditUpdate(update);
        m_doc.SaveSettings();
    }
    m_treeCtrl->SelectNode(result.select);
}
