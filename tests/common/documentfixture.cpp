#include "tests/common/documentfixture.h"

#include "model/actionevent.h"
#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

DocumentFixture::~DocumentFixture()
{
    Close();
}

bool DocumentFixture::Open()
{
    m_tempDir = std::make_unique<QTemporaryDir>();
    if (!m_tempDir->isValid()) {
        qWarning("no temporary directory");
        return false;
    }
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_tempDir->path());
    SetUserMessageSink(&m_sink);
    if (ProjectorManager::InitProjectors() != 0) {
        qWarning("the projector library did not start");
        return false;
    }
    const QString settings = m_tempDir->filePath(u"lumarin.ini"_s);
    QFile file(settings);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write("[Property]\r\nRefreshInterval=5\r\nTimeout=1\r\n") < 0) {
        qWarning("cannot write the settings file");
        return false;
    }
    file.close();
    m_doc = std::make_unique<CVantelDoc>(settings);
    return true;
}

void DocumentFixture::Close()
{
    m_doc.reset();
    m_fleet.Clear();
    SetUserMessageSink(nullptr);
    if (m_tempDir) {
        QDir::setCurrent(m_previousDir);
        m_tempDir.reset();
    }
}

QString DocumentFixture::TempPath() const
{
    return m_tempDir ? m_tempDir->path() : QString();
}

Projector *DocumentFixture::Register(const EmulatedProjector &emulator, const Group *group,
                                     const QString &password)
{
    const EmulatorConfig config = emulator.config();
    return ProjectorManager::GetInstance()->AddProjector(std::make_unique<Projector>(
        QString::fromStdString(config.name), QString::fromStdString(config.address), password,
        u"M"_s, group ? group->GetFullPath() : u"/"_s));
}

Group *DocumentFixture::AddGroup(Group *parent, const QString &name)
{
    return ProjectorManager::GetInstance()->AddGroupTo(parent, std::make_unique<Group>(name));
}

void DocumentFixture::RefreshAll()
{
    for (Projector *projector : m_doc->GetProjectors())
        m_doc->RefreshProjector(projector, true);
    m_fleet.ClearReceivedCommands();
    TakeEvents();
}

QStringList TakeEvents()
{
    QStringList events;
    while (std::unique_ptr<ActionEvent> event = ActionEventManager::GetInstance()->TakeOldest())
        events.append(event->GetSource() + u": "_s + event->GetMessage());
    return events;
}

QByteArray ReadEventLog()
{
    QFile file(u"event.log"_s);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
