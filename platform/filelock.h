#pragma once

#include "platform/uniquefd.h"

#include <QString>

namespace platform {

// An exclusive lock on a lock file that other processes honour too. It is released when the
// object goes away or the process ends, however it ends, so a crashed holder never leaves it
// taken. The lock file itself stays: removing it would let two processes lock two different
// files of the same name.
class FileLock
{
public:
    FileLock() = default;
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Creates the lock file (owner-only) when it is missing and waits at most timeoutMs for the
    // lock. False, with the system's reason in GetError, when the file cannot be opened or the
    // wait ran out.
    bool Lock(const QString &path, int timeoutMs);
    bool IsLocked() const { return m_fd.valid(); }
    // Why the last Lock failed; empty after a success.
    const QString &GetError() const { return m_error; }

private:
    UniqueFd m_fd;
    QString m_error;
};

} // namespace platform
