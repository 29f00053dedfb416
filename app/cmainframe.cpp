#include "app/cmainframe.h"

#include "app/apptimings.h"
#include "app/caboutdlg.h"
#include "app/cfiledialog.h"
#include "app/chelpwindow.h"
#include "store/usermessage.h"
#include "app/cprojectorcommands.h"
#include "app/cvantelview.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/cvanteldoc.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenuBar>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace {

enum Command : int {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP_FINDER = 57670,
    ID_REFRESH_INTERVAL = 32771,
    ID_RESPONSE_WAIT = 32772,
    ID_SHOW_INFORMATION = 32781,
    ID_ONLY_ERRORS = 32785,
};

} // namespace

CMainFrame::CMainFrame(CVantelDoc &doc, QWidget *parent) : QMainWindow(parent), m_doc(doc)
{
    setObjectName(QString::number(IDR_MAINFRAME));
    setAccessibleName(LoadString(STR_APPLICATION_TITLE));
    m_view = new CVantelView(doc, this);
    setCentralWidget(m_view);
    CreateMenus();
    connect(m_view, &CVantelView::menuStateChanged, this, &CMainFrame::UpdateToolMenu);
    // One Open or New at a time: a second click while one waits does nothing.
    connect(m_view, &CVantelView::replacementPendingChanged, this, [this](bool pending) {
        FindCommand(ID_FILE_OPEN)->setEnabled(!pending);
        FindCommand(ID_FILE_NEW)->setEnabled(!pending);
    });
    connect(&m_closePoll, &QTimer::timeout, this, &CMainFrame::PollWorkerForClose);
    // The view's minimum size makes the client area's: 777 x 530.
    resize(sizeHint().expandedTo(minimumSizeHint()));
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::CreateMenus()
{
    QMenu *file = menuBar()->addMenu(LoadString(STR_MENU_FILE));
    AddCommand(file, ID_FILE_OPEN, LoadString(ID_FILE_OPEN), QKeySequence::Open);
    AddCommand(file, ID_FILE_SAVE_AS, LoadString(ID_FILE_SAVE_AS));
    file->addSeparator();
    AddCommand(file, ID_APP_EXIT, LoadString(ID_APP_EXIT));
    // The accelerators without a menu item: New keeps everything as it is, Save writes the
    // current file.
    AddCommand(nullptr, ID_FILE_NEW, QString(), QKeySequence::New);
    AddCommand(nullptr, ID_FILE_SAVE, QString(), QKeySequence::Save);

    QMenu *tool = menuBar()->addMenu(LoadString(STR_MENU_TOOL));
    QAction *interval = AddCommand(tool, ID_REFRESH_INTERVAL, LoadString(ID_REFRESH_INTERVAL));
    QAction *wait = AddCommand(tool, ID_RESPONSE_WAIT, LoadString(ID_RESPONSE_WAIT));
    tool->addSeparator();
    m_showInformation = AddCommand(tool, ID_SHOW_INFORMATION, LoadString(ID_SHOW_INFORMATION));
    m_showInformation->setCheckable(true);
    m_onlyErrors = AddCommand(tool, ID_ONLY_ERRORS, LoadString(ID_ONLY_ERRORS));
    m_onlyErrors->setCheckable(true);

    QMenu *help = menuBar()->addMenu(LoadString(STR_MENU_HELP));
    AddCommand(help, ID_HELP_FINDER, LoadString(ID_HELP_FINDER), QKeySequence::HelpContents);
    AddCommand(help, ID_APP_ABOUT, LoadString(ID_APP_ABOUT));

    connect(FindCommand(ID_FILE_OPEN), &QAction::triggered, this, &CMainFrame::OnFileOpen);
    connect(FindCommand(ID_FILE_SAVE_AS), &QAction::triggered, this, &CMainFrame::OnFileSaveAs);
    connect(FindCommand(ID_FILE_SAVE), &QAction::triggered, this, [this] { m_doc.Save(); });
    connect(FindCommand(ID_FILE_NEW), &QAction::triggered, this, &CMainFrame::OnFileNew);
    connect(FindCommand(ID_APP_EXIT), &QAction::triggered, this, &CMainFrame::OnAppExit);
    // Triggered, not toggled: the document's value decides, the check mark follows it.
    connect(m_showInformation, &QAction::triggered, m_view, &CVantelView::ToggleInformationField);
    connect(m_onlyErrors, &QAction::triggered, m_view, &CVantelView::ToggleDisplayOnlyError);
    connect(interval, &QAction::triggered, m_view->GetCommands(),
            &CProjectorCommands::RefreshInterval);
    connect(wait, &QAction::triggered, m_view->GetCommands(),
            &CProjectorCommands::ResponseWaitTime);
    connect(FindCommand(ID_HELP_FINDER), &QAction::triggered, this, &CMainFrame::OnSearchTopics);
    connect(FindCommand(ID_APP_ABOUT), &QAction::triggered, this, &CMainFrame::OnAbout);
    UpdateToolMenu();
}

QAction *CMainFrame::FindCommand(int id) const
{
    const auto it = m_commands.find(id);
    return it == m_commands.end() ? nullptr : it->second;
}

QAction *CMainFrame::AddCommand(QMenu *menu, int id, const QString &text,
                                const QKeySequence &shortcut)
{
    auto *action = new QAction(text, this);
    action->setObjectName(QString::number(id));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    if (menu)
        menu->addAction(action);
    else
        addAction(action); // a shortcut without a menu item
    m_commands[id] = action;
    return action;
}

void CMainFrame::UpdateToolMenu()
{
    m_showInformation->setChecked(m_doc.GetShowInformation());
    m_onlyErrors->setEnabled(m_doc.GetShowInformation());
    m_onlyErrors->setChecked(m_doc.GetDisplayOnlyError());
}

void CMainFrame::OnSearchTopics()
{
    if (!m_help) {
        const QString directory = CHelpWindow::TopicsDirectory(
            CHelpWindow::DirectoryFor(QCoreApplication::applicationFilePath()),
            CurrentStringLanguage());
        auto *help = new CHelpWindow(directory, this);
        if (!help->HasTopics()) {
            delete help;
            ShowUserMessage(FormatText(LoadString(STR_HELP_MISSING), {directory}));
            return;
        }
        help->setAttribute(Qt::WA_DeleteOnClose);
        // Its own size, placed once: beside the main window, or over it but below its menus.
        if (const QScreen *screen = this->screen()) {
            const int menuBottom = menuBar()->mapToGlobal(QPoint(0, menuBar()->height() - 1)).y();
            const QRect place =
                CHelpWindow::PlaceFor(frameGeometry(), menuBottom, screen->availableGeometry());
            help->resize(place.size());
            help->move(place.topLeft());
        }
        m_help = help;
    }
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void CMainFrame::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CMainFrame::OnFileOpen()
{
    if (m_view->IsReplacementPending() || m_closing || m_closed)
        return;
    const QString path = CFileDialog::GetOpenFileName(
        this, LoadString(ID_FILE_OPEN).remove(u"(&O)"_s), LoadString(STR_SETTINGS_FILTER));
    if (path.isEmpty())
        return;
    // The registry is replaced: never while a refresh cycle reads it or anything holds its
    // nodes; the file dialog's own loop may have let either start.
    if (m_closing || m_closed)
        return;
    m_view->ReplaceRegistryWhenFree([this, path] { OpenSettingsFile(path); },
                                    LoadString(STR_WAIT_OPEN));
}

void CMainFrame::OpenSettingsFile(const QString &path)
{
    // Messages of the import run a loop of their own: nothing may show the old nodes then. A
    // refused file leaves the tree and the list as they are.
    if (m_doc.Open(path, [this] { m_view->DetachRegistry(); }))
        m_view->OnInitialUpdate();
}

void CMainFrame::OnFileNew()
{
    if (m_closing || m_closed)
        return;
    // Keeps everything; the view starts over as after Open.
    m_view->ReplaceRegistryWhenFree(
        [this] {
            if (m_doc.New())
                m_view->OnInitialUpdate();
        },
        LoadString(STR_WAIT_NEW));
}

void CMainFrame::OnFileSaveAs()
{
    const QString path = CFileDialog::GetSaveFileName(
        this, LoadString(ID_FILE_SAVE_AS).remove(u"(&A)"_s), LoadString(STR_SETTINGS_FILTER));
    if (!path.isEmpty())
        m_doc.SaveAs(path);
}

void CMainFrame::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Also delivered when the window comes back from minimised or is mapped again.
    if (m_centred)
        return;
    m_centred = true;
    CenterOnPrimaryScreen();
}

void CMainFrame::CenterOnPrimaryScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen || isMaximized() || isFullScreen())
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->geometry().center());
    move(frame.topLeft());
}

// A close while a refresh runs hides the window and its pop-ups at once and closes for good
// once the worker has ended; the user-interface thread keeps running meanwhile.
void CMainFrame::closeEvent(QCloseEvent *event)
{
    // An Open or New still waiting is given up with the window.
    m_view->CancelReplacement();
    if (m_closed) {
        event->accept();
        return;
    }
    if (m_view->IsRefreshing() || m_view->IsWorkerRunning()) {
        event->ignore();
        if (!m_closing) {
            m_closing = true;
            for (QWidget *popup : findChildren<QWidget *>()) {
                if (popup->isWindow() && popup->isVisible())
                    popup->hide();
            }
            hide();
            m_closePoll.start(Timings().closePollMs);
        }
        return;
    }
    m_closed = true;
    event->accept();
    emit closed();
}

void CMainFrame::OnAppExit()
{
    close();
}

void CMainFrame::PollWorkerForClose()
{
    if (m_view->IsWorkerRunning())
        return;
    m_closePoll.stop();
    m_closed = true;
    QMainWindow::close();
    emit closed();
}
