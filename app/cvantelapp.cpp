#include "app/cvantelapp.h"

#include "app/cmainframe.h"
#include "app/cmessagebox.h"
#include "app/cvantelview.h"
#include "res/stringids.h"
#include "res/skinbitmap.h"
#include "app/viewfonts.h"
#include "model/networkcheck.h"
#include "platform/instance_lock.h"
#include "res/stringtable.h"
#include "store/cvanteldoc.h"
#include "store/usermessage.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {}

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
    view->OnInitialUpdate();
    return true;
}

void CVantelApp::OnInitialUpdateFinished()
{
    m_frame->show();
    m_frame->repaint();
    // After the window has painted: the message stands over a visible window.
    QTimer::singleShot(0, m_frame.get(), [] {
        if (!CheckNetworkAdapters())
            ShowUserMessage(LoadString(STR_ENABLE_NETWORK));
    });
}

void CVantelApp::ExitInstance()
{
    m_frame.reset();
    m_doc.reset();
    if (m_sink) {
        SetUserMessageSink(nullptr);
        m_sink.reset();
    }
    m_lock.reset();
}
