#pragma once

#include <poll.h>

#include <cerrno>
#include <chrono>

namespace platform {

// Every wait on a socket is bounded by one deadline, however many wake-ups come before it.

// Milliseconds left until deadline, rounded up so that poll never returns just before it; 0 when
// it has passed.
inline int MillisecondsLeft(std::chrono::steady_clock::time_point deadline)
{
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero())
        return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// Waits until fd is ready for events; false at the deadline or when poll itself fails.
inline bool WaitReady(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0)
            return false;
        pollfd pfd{fd, events, 0};
        const int n = ::poll(&pfd, 1, left);
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

} // namespace platform
