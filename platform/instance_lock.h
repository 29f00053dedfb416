#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace platform {

// A lock that one process at a time can hold, keyed by a name (the executable's base name), in
// the user's runtime directory. It is released when the object goes away or the process dies.
class InstanceLock
{
public:
    explicit InstanceLock(const QString &name);
    ~InstanceLock();

    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // False when another live process holds the lock.
    bool TryLock();
    bool IsLocked() const;

    // Whether some other process holds the lock now, without taking it.
    static bool IsHeldElsewhere(const QString &name);

private:
    std::unique_ptr<QLockFile> m_file;
};

// The file behind the lock of a name.
QString InstanceLockPath(const QString &name);

} // namespace platform
