#include "store/cvanteldoc.h"

#include "model/actionevent.h"
#include "model/commandfanout.h"
#include "model/group.h"
#include "model/limits.h"
#include "model/projectormanager.h"
#include "platform/profile.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "store/settingsfile.h"
#include "store/settingslocation.h"
#include "store/settingslock.h"
#include "store/usermessage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

platform::ProfileFile ReadProfile(const QString &path)
{
    platform::ProfileFile profile;
    profile.Load(path);
    return profile;
}

// The event log as the sink of the refresh and the fan-out.
ProjectorManager::EventSink LogTo(ActionEventManager *events)
{
    return [events](std::unique_ptr<ActionEvent> event) { events->AddEvent(std::move(event)); };
}

} // namespace

CVantelDoc::CVantelDoc(const QString &settingsPath, Access access)
    : m_readOnly(access == Access::ReadOnly), m_createOnSave(access == Access::WriteOnChange)
{
    if (settingsPath.isEmpty()) {
        m_settingsPath = ResolveSettingsPath();
    } else {
        m_settingsPath = settingsPath;
        m_profilePath = settingsPath;
    }
    m_currentFile = m_settingsPath;
    m_manager = ProjectorManager::GetInstance();
    LoadSettingsFile();
    if (m_manager->GetProjectorCount() == 0 && !m_refused)
        ShowUserMessage(LoadString(MSG_REGISTER_PROJECTORS));

    // The register's log sits beside its settings file, however that file was chosen.
    ActionEventManager::SetLogFileFor(m_settingsPath);
    m_events = ActionEventManager::GetInstance();
}

bool CVantelDoc::Reload()
{
    m_manager->ClearAll();
    m_prefs = Preferences();
    m_schedules.clear();
    m_refused = false;
    LoadSettingsFile();
    return !m_refused;
}

void CVantelDoc::LoadSettingsFile()
{
    // Creating and repairing happen under the lock, so that no other program's change falls
    // between reading the file and writing it back. Without the lock the file is only read.
    std::optional<SettingsLock> lock;
    if (!m_readOnly)
        lock.emplace(m_settingsPath);
    const bool missing = !QFileInfo::exists(m_settingsPath);
    const bool mayWrite = lock && lock->IsHeld() && !(missing && m_createOnSave);
    if (mayWrite && missing)
        CreateEmptySettingsFile(m_settingsPath);

    QByteArray content;
    QFile file(m_settingsPath);
    const bool readable = file.open(QIODevice::ReadOnly);
    if (readable)
        content = file.readAll();
    const bool unreadable = !readable && file.exists();
    if (unreadable || !IsSettingsContent(content)) {
        // Neither loaded nor ever written: what it holds is not known to be ours to replace.
        m_refused = true;
        ShowUserMessage(unreadable
                            ? u"%1 cannot be read: %2. It is left as it is."_s.arg(
                                  QDir::toNativeSeparators(m_settingsPath), file.errorString())
                            : NotSettingsFileMessage(m_settingsPath));
        ApplyLibrarySettings(m_prefs);
        return;
    }

    // Read once for the three loaders: the file may be large.
    const platform::ProfileFile profile(content);
    const bool valid = ReadProperties(profile, m_prefs);
    ReadGroups(profile, *m_manager);
    LoadProjectorsFrom(profile);
    m_schedules = ReadSchedules(profile);
    if (!valid && mayWrite) {
        // The repair rewrites the whole file; what the user had is kept beside it first.
        const QString backup = m_settingsPath + u".bak"_s;
        const SettingsWriteResult backedUp = content.trimmed().isEmpty()
                                                 ? SettingsWriteResult()
                                                 : WriteSettingsFile(backup, content);
        if (backedUp.IsWritten()) {
            SaveSettings();
        } else {
            const QString &reason = backedUp.GetError().reason;
            ShowUserMessage(u"Failed to save document.\n%1: %2"_s.arg(
                QDir::toNativeSeparators(backup),
                reason.isEmpty() ? u"it cannot be written"_s : reason));
        }
    }
    // Also when the file could not be repaired: the library needs its port and time-out.
    ApplyLibrarySettings(m_prefs);
}

CVantelDoc::~CVantelDoc()
{
    ProjectorManager::DestroyInstance();
    ActionEventManager::DestroyInstance();
}

QString CVantelDoc::ResolveSettingsPath()
{
    m_profilePath = ResolveSettingsPathFor(
        QCoreApplication::applicationFilePath(),
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    return m_profilePath;
}

bool CVantelDoc::LoadProperties()
{
    const bool valid = ReadProperties(ReadProfile(m_profilePath), m_prefs);
    ApplyLibrarySettings(m_prefs);
    return valid;
}

void CVantelDoc::LoadGroups()
{
    ReadGroups(ReadProfile(m_profilePath), *m_manager);
}

void CVantelDoc::LoadProjectors()
{
    LoadProjectorsFrom(ReadProfile(m_profilePath));
}

void CVantelDoc::LoadProjectorsFrom(const platform::ProfileFile &profile)
{
    if (!ReadProjectors(profile, *m_manager))
        ShowUserMessage(
            FormatText(LoadString(MSG_REGISTRATION_FULL), {QString::number(MAX_PROJECTORS)}));
}

bool CVantelDoc::SaveSettings()
{
    m_currentFile = m_settingsPath;
    m_profilePath = m_settingsPath;
    return WriteFile(m_settingsPath);
}

bool CVantelDoc::Open(const QString &path, const std::function<void()> &beforeReplace)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || QFileInfo(path).isDir()) {
        ShowUserMessage(u"Failed to open document."_s);
        return false;
    }
    if (file.size() == 0) {
        m_currentFile = path;
        return true;
    }
    file.close();

    m_profilePath = path;
    const platform::ProfileFile profile = ReadProfile(m_profilePath);
    // Read into a copy: a file refused here must leave every preference as it was.
    Preferences read = m_prefs;
    if (!ReadProperties(profile, read)) {
        m_profilePath = m_settingsPath;
        ShowUserMessage(LoadString(MSG_SETTING_FILE_CANNOT_BE_OPENED));
        return false;
    }
    m_prefs = read;
    ApplyLibrarySettings(m_prefs);
    if (beforeReplace)
        beforeReplace();
    m_manager->ClearAll();
    ReadGroups(profile, *m_manager);
    LoadProjectorsFrom(profile);
    m_schedules = ReadSchedules(profile);
    SaveSettings();
    m_currentFile = path;
    return true;
}

bool CVantelDoc::SaveAs(const QString &path)
{
    if (!WriteFile(path))
        return false;
    m_currentFile = path;
    return true;
}

bool CVantelDoc::Save()
{
    return WriteFile(m_currentFile);
}

bool CVantelDoc::New()
{
    return true;
}

bool CVantelDoc::WriteFile(const QString &path)
{
    // Names and addresses are read under each projector's state lock, never its window lock:
    // a slow projector's refresh does not hold the save up.
    const QByteArray content =
        SettingsContent(*m_manager->GetRoot(), m_manager->GetProjectors(), m_prefs, m_schedules);
    // By absolute path: QFileInfo's own comparison finds two missing files equal.
    const bool settingsFile =
        QFileInfo(path).absoluteFilePath() == QFileInfo(m_settingsPath).absoluteFilePath();
    if (settingsFile && m_readOnly) {
        ShowUserMessage(u"Unable to write to %1, it is read-only or opened by someone else."_s.arg(
            QDir::toNativeSeparators(path)));
        return false;
    }
    return SaveSettingsContent(path, content, settingsFile);
}

void CVantelDoc::SetRefreshInterval(int minutes)
{
    m_prefs.refreshInterval = Preferences::InRange(minutes);
}

void CVantelDoc::SetTimeout(int seconds)
{
    m_prefs.timeout = Preferences::InRange(seconds);
}

std::vector<Projector *> CVantelDoc::GetProjectors() const
{
    return m_manager->GetProjectors();
}

Group *CVantelDoc::GetRoot() const
{
    return m_manager->GetRoot();
}

void CVantelDoc::RefreshProjector(Projector *projector, bool direct)
{
    // UpdateStatus leases the projector before it touches it; the event is logged after the
    // window closed.
    if (std::unique_ptr<ActionEvent> event = m_manager->UpdateStatus(projector, direct))
        m_events->AddEvent(std::move(event));
}

void CVantelDoc::RefreshProjectors(const std::vector<Projector *> &projectors, bool direct)
{
    m_manager->UpdateStatuses(projectors, direct, LogTo(m_events));
}

int CVantelDoc::SendPower(const std::vector<ProjectorNode *> &selection,
                          std::vector<Projector *> &touched, PowerStatus power,
                          std::vector<ProjectorOutcome> *outcomes)
{
    return SendToSelection(*m_manager, selection, PowerCommand(power), touched, LogTo(m_events),
                           outcomes);
}

int CVantelDoc::SendInput(const std::vector<ProjectorNode *> &selection,
                          std::vector<Projector *> &touched, InputStatus input,
                          std::vector<ProjectorOutcome> *outcomes)
{
    return SendToSelection(*m_manager, selection, InputCommand(input), touched, LogTo(m_events),
                           outcomes);
}

int CVantelDoc::SendMute(const std::vector<ProjectorNode *> &selection,
                         std::vector<Projector *> &touched, MuteStatus mute, bool on,
                         std::vector<ProjectorOutcome> *outcomes)
{
    return SendToSelection(*m_manager, selection, MuteCommand(mute, on), touched, LogTo(m_events),
                           outcomes);
}

int CVantelDoc::SendFreeze(const std::vector<ProjectorNode *> &selection,
                           std::vector<Projector *> &touched, bool on,
                           std::vector<ProjectorOutcome> *outcomes)
{
    return SendToSelection(*m_manager, selection, FreezeCommand(on), touched, LogTo(m_events),
                           outcomes);
}

int CVantelDoc::SendAction(const std::vector<ProjectorNode *> &selection,
                           std::vector<Projector *> &touched, const ScheduleAction &action,
                           std::chrono::seconds warmUpLimit,
                           std::vector<ProjectorOutcome> *outcomes)
{
    return SendToSelection(*m_manager, selection, ActionCommand(action, warmUpLimit), touched,
                           LogTo(m_events), outcomes);
}

void CVantelDoc::RequeryStatus(const std::vector<Projector *> &touched)
{
    RequeryStatuses(*m_manager, touched);
}
