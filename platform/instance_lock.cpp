#include "platform/instance_lock.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>

#include <cerrno>
#include <csignal>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace platform {

QString InstanceLockPath(const QString &name)
{
    // The user's runtime directory where there is one; the lock file also names the user, so
    // two users of one machine never share a lock in the temporary directory.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString dir = runtime.isEmpty() ? QDir::tempPath() : runtime;
    return QDir(dir).filePath(u"%1-%2.lock"_s.arg(name).arg(::getuid()));
}

InstanceLock::InstanceLock(const QString &name)
    : m_file(std::make_unique<QLockFile>(InstanceLockPath(name)))
{
    m_file->setStaleLockTime(0); // only a dead holder makes the lock stale, never its age
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::TryLock()
{
    return m_file->tryLock(0);
}

bool InstanceLock::IsLocked() const
{
    return m_file->isLocked();
}

// Read without taking the lock: a probe that took it, however briefly, could make a starting
// application believe another copy runs.
bool InstanceLock::IsHeldElsewhere(const QString &name)
{
    QLockFile file(InstanceLockPath(name));
    qint64 pid = 0;
    QString hostname, application;
    if (!file.getLockInfo(&pid, &hostname, &application) || pid <= 0)
        return false;
    if (pid == QCoreApplication::applicationPid())
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace platform
