#include "store/settingslock.h"

#include "platform/filelock.h"

#include <QDir>
#include <QFileInfo>

#include <map>
#include <memory>
#include <mutex>

using namespace Qt::StringLiterals;

namespace {

struct HeldLock
{
    platform::FileLock lock;
    int count = 0;
};

// The locks this process holds, by lock file; a second lock on one file in one process would
// otherwise wait for itself.
std::mutex g_heldMutex;
std::map<QString, std::unique_ptr<HeldLock>> g_held;

} // namespace

QString SettingsLock::LockPathFor(const QString &settingsPath)
{
    return QFileInfo(settingsPath).absoluteFilePath() + u".lock"_s;
}

SettingsLock::SettingsLock(const QString &settingsPath, int waitMs)
    : m_lockPath(LockPathFor(settingsPath))
{
    std::lock_guard guard(g_heldMutex);
    std::unique_ptr<HeldLock> &entry = g_held[m_lockPath];
    if (!entry)
        entry = std::make_unique<HeldLock>();
    if (entry->count == 0 && !entry->lock.Lock(m_lockPath, waitMs)) {
        m_error = u"The settings file %1 cannot be locked for a change (%2): %3."_s.arg(
            QDir::toNativeSeparators(settingsPath), QDir::toNativeSeparators(m_lockPath),
            entry->lock.GetError());
        g_held.erase(m_lockPath);
        return;
    }
    ++entry->count;
    m_held = true;
}

SettingsLock::~SettingsLock()
{
    if (!m_held)
        return;
    std::lock_guard guard(g_heldMutex);
    const auto it = g_held.find(m_lockPath);
    if (it != g_held.end() && --it->second->count == 0)
        g_held.erase(it);
}
