#include "platform/stop_signals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

// The write end of the installed object's pipe, or -1. A lock-free atomic: the handler may read
// it at any moment.
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void WriteSignalNumber(int signalNumber)
{
    const int saved = errno;
    if (const int fd = g_writeEnd.load(); fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds a signal that will be read; this one may go.
        [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
    }
    errno = saved;
}

} // namespace

StopSignals::StopSignals(std::initializer_list<int> signalNumbers, QObject *parent)
    : QObject(parent)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readEnd.reset(ends[0]);
    m_writeEnd.reset(ends[1]);
    int expected = -1;
    if (!g_writeEnd.compare_exchange_strong(expected, m_writeEnd.get()))
        return;

    struct sigaction action = {};
    action.sa_handler = WriteSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : signalNumbers) {
        struct sigaction previous = {};
        if (::sigaction(number, &action, &previous) == 0)
            m_previous.emplace_back(number, previous);
    }
    if (m_previous.size() != signalNumbers.size()) {
        for (const auto &[number, previous] : m_previous)
            ::sigaction(number, &previous, nullptr);
        m_previous.clear();
        g_writeEnd.store(-1);
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd.get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignals::ReadPipe);
}

StopSignals::~StopSignals()
{
    if (!m_notifier)
        return;
    for (const auto &[number, previous] : m_previous)
        ::sigaction(number, &previous, nullptr);
    g_writeEnd.store(-1);
    m_notifier.reset();
}

void StopSignals::ReadPipe()
{
    unsigned char numbers[16];
    const ssize_t count = ::read(m_readEnd.get(), numbers, sizeof numbers);
    for (ssize_t i = 0; i < count; ++i)
        emit received(numbers[i]);
}

} // namespace platform
