#include "tests/app/appfixture.h"

#include "app/apptimings.h"
#include "app/cprojectorlistctrl.h"
#include "app/cmainframe.h"
#include "app/cmessagebox.h"
#include "app/cvantelapp.h"
#include "model/group.h"
#include "model/networkcheck.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "platform/instance_lock.h"
#include "store/cvanteldoc.h"
#include "tests/common/messagesinks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A group path's groups, created as needed.
Group *EnsureGroup(ProjectorManager &manager, const QString &path)
{
    Group *group = manager.GetRoot();
    for (const QString &name : path.split(u'/', Qt::SkipEmptyParts)) {
        Group *child = nullptr;
        for (const auto &node : group->GetChildren()) {
            if (!node->IsProjector() && node->GetName() == name)
                child = static_cast<Group *>(node.get());
        }
        if (!child)
            child = manager.AddGroupTo(group, std::make_unique<Group>(name));
        group = child;
    }
    return group;
}

// The third part of this process's emulator addresses: 100 to 199 by process id, so that
// window tests running at the same time rarely meet, and never on 127.61.0.0/24, where other
// suites keep their own emulators and their silent addresses.
int EmulatorNet()
{
    return 100 + int(QCoreApplication::applicationPid() % 100);
}

} // namespace

AppFixture::AppFixture() : m_previousDir(QDir::currentPath())
{
    m_dir = std::make_unique<QTemporaryDir>();
    QDir::setCurrent(m_dir->path()); // files a test names go here, beside the register
    Timings().splashMs = 0;
    Timings().closePollMs = 20;
    CMessageBox::SetAnswerInAdvance(true);
    CMessageBox::TakeShown();
    // One adapter, unless a test says otherwise.
    SetAdapterListerForTesting([] {
        return std::vector<platform::AdapterAddress>{{0x0A000001, 0xFFFFFF00}};
    });
    WriteSettings({});
    // A free port now; the window binds it when it starts.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    socklen_t length = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &length);
    ::close(fd);
    m_udpPort = ntohs(addr.sin_port);
    qputenv("LUMARIN_UDP_PORT", QByteArray::number(m_udpPort));
}

AppFixture::~AppFixture()
{
    Stop();
    m_emulators.clear();
    SetAdapterListerForTesting(nullptr);
    CVantelView::SetLibraryInitForTesting(nullptr);
    qunsetenv("LUMARIN_UDP_PORT");
    QDir::setCurrent(m_previousDir);
}

EmulatedProjector *AppFixture::Emulate(const QString &name, EmulatorConfig config)
{
    config.port = 4352;
    config.name = name.toStdString();
    // Other test programs on this machine may hold an address: the next one is taken then.
    // Addresses above 199 stay free for projectors that must not answer.
    std::string error;
    while (m_nextHost < 200) {
        config.address =
            "127.61." + std::to_string(EmulatorNet()) + "." + std::to_string(m_nextHost++);
        auto emulator = std::make_unique<EmulatedProjector>(config);
        if (emulator->start(&error)) {
            m_emulators.push_back(std::move(emulator));
            return m_emulators.back().get();
        }
    }
    qWarning("no emulator address left: %s", error.c_str());
    return nullptr;
}

QString AppFixture::SettingsPath() const
{
    return m_dir->filePath(u"lumarin.ini"_s);
}

QString AppFixture::SettingsText() const
{
    QFile file(SettingsPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

void AppFixture::WriteSettings(const std::vector<Registered> &projectors, bool showInformation)
{
    QFile file(SettingsPath());
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write the settings file");
    file.write("[Property]\r\nRefreshInterval=5\r\nTimeout=1\r\n");
    file.write(showInformation ? "ShowInformation=1\r\n" : "ShowInformation=0\r\n");
    file.close();

    // The document writes the rest, as the application would.
    SilentMessageSink sink;
    SetUserMessageSink(&sink);
    {
        CVantelDoc doc(SettingsPath());
        ProjectorManager &manager = *ProjectorManager::GetInstance();
        for (const Registered &projector : projectors) {
            Group *group = EnsureGroup(manager, projector.groupPath);
            manager.AddProjector(std::make_unique<Projector>(
                projector.name, projector.address, QString(), u"Emulux"_s, group->GetFullPath()));
        }
        doc.SaveSettings();
    }
    SetUserMessageSink(nullptr);
}

bool AppFixture::Start(StringLanguage language, bool wait, const QString &importFile)
{
    SetStringLanguage(language);
    m_app = std::make_unique<CVantelApp>(nullptr);
    CVantelApp::Options options;
    options.settingsPath = SettingsPath();
    options.importFile = importFile;
    if (!m_app->InitInstance(options))
        return false;
    if (wait && !QTest::qWaitFor([this] { return Frame()->isVisible(); }, 5000)) {
        qWarning("the main window did not show");
        return false;
    }
    return true;
}

void AppFixture::Stop()
{
    if (m_app) {
        // Closing waits for a running refresh, as the application does.
        if (Frame() && View()->IsWorkerRunning())
            if (!QTest::qWaitFor([this] { return !View()->IsWorkerRunning(); }, 20000))
                qWarning("the refresh worker did not end");
        m_app.reset();
    }
}

CMainFrame *AppFixture::Frame() const
{
    return m_app ? m_app->GetFrame() : nullptr;
}

CVantelView *AppFixture::View() const
{
    return Frame() ? Frame()->GetView() : nullptr;
}

QStringList AppFixture::TakeMessages()
{
    return CMessageBox::TakeShown();
}

bool CycleEnded(const CVantelView &view)
{
    return !view.IsRefreshing() && !view.IsWorkerRunning();
}

QStringList ListNames(const CProjectorListCtrl &list)
{
    QStringList names;
    for (int row = 0; row < list.RowCount(); ++row)
        names.append(list.topLevelItem(row)->text(COLUMN_NAME));
    return names;
}
