#include "platform/tcpconnect.h"

#include "platform/pollwait.h"
#include "platform/uniquefd.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

bool ParseAddress(const QString &address, in_addr &parsed)
{
    for (QChar c : address) {
        if (c.unicode() == 0 || c.unicode() >= 0x80)
            return false;
    }
    return ::inet_pton(AF_INET, address.toLatin1().constData(), &parsed) == 1;
}

// Waits for the connect in progress to end; its result, or ETIMEDOUT at the deadline.
int WaitConnected(int fd, Clock::time_point deadline)
{
    if (!WaitReady(fd, POLLOUT, deadline))
        return ETIMEDOUT;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return errno;
    return error;
}

} // namespace

int TcpConnect(const QString &address, int port, int timeoutMs)
{
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    if (port <= 0 || port > 65535 || timeoutMs < 0 || !ParseAddress(address, dest.sin_addr))
        return EINVAL;
    dest.sin_port = htons(static_cast<quint16>(port));

    // Non-blocking, so the system's own connect time-out (minutes) never applies.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.get() < 0)
        return errno;
    if (::connect(fd.get(), reinterpret_cast<const sockaddr *>(&dest), sizeof dest) == 0)
        return 0;
    if (errno != EINPROGRESS)
        return errno;
    return WaitConnected(fd.get(), deadline);
}

} // namespace platform
