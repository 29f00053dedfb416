#include "platform/filelock.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>

using namespace Qt::StringLiterals;

namespace platform {

bool FileLock::Lock(const QString &path, int timeoutMs)
{
    m_fd.reset();
    m_error.clear();
    UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // Polled rather than blocking in flock, so that the wait has an end.
    constexpr auto kStep = std::chrono::milliseconds(10);
    QElapsedTimer waited;
    waited.start();
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (waited.elapsed() >= timeoutMs) {
            m_error = u"another program holds the lock"_s;
            return false;
        }
        std::this_thread::sleep_for(kStep);
    }
    m_fd = std::move(fd);
    return true;
}

} // namespace platform
