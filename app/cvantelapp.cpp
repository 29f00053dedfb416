#include "app/cvantelapp.h"

#include "app/cmainframe.h"
#include "app/cmessagebox.h"
#include "app/cvantelview.h"
#include "res/stringids.h"
#include "res/skinbitmap.h"
#include "app/viewfonts.h"
#include "model/networkcheck.h"
#include "model/projectormanager.h"
#include "platform/instance_lock.h"
#include "platform/stop_signals.h"
#include "res/stringtable.h"
#include "store/cvanteldoc.h"
#include "store/usermessage.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

#include <csignal>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// The application between InitInstance and ExitInstance; user-interface thread only.
CVantelApp *g_running = nullptr;

extern "C" void EndWorkersOfRunningApp()
{
    if (g_running)
        g_running->EndWorkersAtExit();
}

// Once per process. Registered after the windows and the libraries have made their static
// objects, so at exit() it runs before those are destroyed.
void EndWorkersAtExit(CVantelApp *app)
{
    static const bool registered = std::atexit(EndWorkersOfRunningApp) == 0;
    if (!registered)
        qWarning("The background work cannot be ended at exit");
    g_running = app;
}

} // namespace

std::unique_ptr<platform::InstanceLock> CVantelApp::AcquireInstance(const QString &argv0)
{
    auto lock = std::make_unique<platform::InstanceLock>(QFileInfo(argv0).completeBaseName());
    if (!lock->TryLock())
        return nullptr;
    return lock;
}

CVantelApp::Options CVantelApp::ParseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption settings(u"settings"_s, QString(), u"FILE"_s);
    parser.addOption(settings);
    parser.parse(arguments); // unknown options are left alone
    Options options;
    options.settingsPath = parser.value(settings);
    if (!parser.positionalArguments().isEmpty())
        options.importFile = parser.positionalArguments().constFirst();
    return options;
}

CVantelApp::CVantelApp(std::unique_ptr<platform::InstanceLock> lock) : m_lock(std::move(lock)) {}

CVantelApp::~CVantelApp()
{
    ExitInstance();
}

bool CVantelApp::InitInstance(const Options &options)
{
    InstallFontSubstitutions();
    QApplication::setFont(ViewFont());
    QApplication::setWindowIcon(ApplicationIcon());
    QGuiApplication::setDesktopFileName(u"lumarin"_s);
    m_sink = std::make_unique<CMessageBoxSink>();
    SetUserMessageSink(m_sink.get());
    // From the start: the document may already ask the user something while it loads.
    m_stopSignals =
        std::make_unique<platform::StopSignals>(std::initializer_list<int>{SIGTERM, SIGHUP});
    QObject::connect(m_stopSignals.get(), &platform::StopSignals::received,
                     [this] { OnStopSignal(); });

    const QString settings = options.settingsPath.isEmpty()
                                 ? QString()
                                 : QFileInfo(options.settingsPath).absoluteFilePath();
    m_doc = std::make_unique<CVantelDoc>(settings);
    if (!options.importFile.isEmpty() && !m_doc->Open(options.importFile))
        return false;

    m_frame = std::make_unique<CMainFrame>(*m_doc);
    CVantelView *view = m_frame->GetView();
    QObject::connect(view, &CVantelView::initialUpdateFinished, m_frame.get(),
                     [this] { OnInitialUpdateFinished(); });
    ::EndWorkersAtExit(this);
    view->OnInitialUpdate();
    return true;
}

// As File > Exit: the close waits for a refresh that runs. During the start-up, a question it
// asks is answered as by Escape, and the frame closes instead of showing when it ends.
void CVantelApp::OnStopSignal()
{
    if (m_frame && m_frame->GetView()->IsInitialUpdateFinished()) {
        m_frame->OnAppExit();
        return;
    }
    m_stopRequested = true;
    if (QWidget *modal = QApplication::activeModalWidget())
        modal->close();
}

void CVantelApp::OnInitialUpdateFinished()
{
    if (m_stopRequested) {
        // From the event loop: the end of the close is heard there (see main).
        QTimer::singleShot(0, m_frame.get(), &CMainFrame::OnAppExit);
        return;
    }
    m_frame->show();
    m_frame->repaint();
    // After the window has painted: the message stands over a visible window.
    QTimer::singleShot(0, m_frame.get(), [] {
        if (!CheckNetworkAdapters())
            ShowUserMessage(LoadString(STR_ENABLE_NETWORK));
    });
}

void CVantelApp::EndWorkersAtExit()
{
    m_stopSignals.reset();
    if (m_doc)
        ProjectorManager::GetInstance()->StopSearch();
    if (m_frame)
        m_frame->GetView()->EndBackgroundWork();
}

void CVantelApp::ExitInstance()
{
    if (g_running == this)
        g_running = nullptr;
    m_stopSignals.reset();
    m_frame.reset();
    m_doc.reset();
    if (m_sink) {
        SetUserMessageSink(nullptr);
        m_sink.reset();
    }
    m_lock.reset();
}
