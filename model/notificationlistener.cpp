#include "model/notificationlistener.h"

#include "model/automaticsearch.h"
#include "platform/adapters.h"

#include <QtDebug>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Datagrams read per wake-up before the stop request is looked at again.
constexpr int kReadsPerWake = 64;
// Garbage is reported at most this often, with the count since the last report.
constexpr auto kGarbageLogInterval = 10s;
// A search keeps at most this many answers: more projectors than a register holds, many times.
constexpr std::size_t kMaxSearchAnswers = 4096;
constexpr auto kSearchPoll = 50ms;

} // namespace

int ControllerUdpPort()
{
    bool ok = false;
    const int port = qEnvironmentVariableIntValue("LUMARIN_UDP_PORT", &ok);
    return ok && port > 0 && port < 65536 ? port : PJLINK_UDP_PORT;
}

std::vector<quint32> SearchBroadcastAddresses()
{
    std::vector<quint32> broadcasts;
    for (const platform::AdapterAddress &adapter : platform::ListAdapterAddresses()) {
        const int hostBits = std::countr_zero(adapter.mask);
        if (adapter.address == 0 || hostBits < 2 || hostBits >= 32)
            continue;
        const quint32 broadcast = adapter.address | ((quint32(1) << hostBits) - 1);
        if (std::find(broadcasts.begin(), broadcasts.end(), broadcast) == broadcasts.end())
            broadcasts.push_back(broadcast);
    }
    return broadcasts;
}

NotificationListener::NotificationListener(Sink sink) : m_sink(std::move(sink)) {}

NotificationListener::~NotificationListener()
{
    Stop();
}

int NotificationListener::Start(int port)
{
    if (IsRunning())
        return 0;
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    platform::UniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!fd.valid() || !wake.valid())
        return errno ? errno : EIO;
    // No address reuse: a second listener of the machine must fail, not share the datagrams.
    const int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<quint16>(port));
    if (port <= 0 || port > 65535)
        return EINVAL;
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        return errno;
    m_socket = std::move(fd);
    m_wake = std::move(wake);
    m_port = port;
    m_handled = 0;
    m_dropped = 0;
    m_garbage = 0;
    m_secondStart = Clock::now();
    m_takenThisSecond = 0;
    m_lastGarbageLog = Clock::now() - kGarbageLogInterval;
    m_garbageLogged = 0;
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error &error) {
        m_socket.reset();
        return error.code().value();
    }
    return 0;
}

void NotificationListener::Stop()
{
    if (!m_thread.joinable())
        return;
    const quint64 one = 1;
    [[maybe_unused]] const auto n = ::write(m_wake.get(), &one, sizeof one);
    m_thread.join();
    m_socket.reset();
    m_wake.reset();
}

void NotificationListener::Run()
{
    for (;;) {
        pollfd fds[2] = {{m_wake.get(), POLLIN, 0}, {m_socket.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents & POLLIN)
            return;
        for (int i = 0; i < kReadsPerWake; ++i) {
            char buffer[pjlink::kMaxDatagram + 1];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const auto n = ::recvfrom(m_socket.get(), buffer, sizeof buffer, MSG_DONTWAIT,
                                      reinterpret_cast<sockaddr *>(&from), &length);
            if (n < 0)
                break;
            const auto now = Clock::now();
            if (now - m_secondStart >= 1s) {
                m_secondStart = now;
                m_takenThisSecond = 0;
            }
            if (m_takenThisSecond >= m_maxPerSecond.load()) {
                ++m_dropped;
                continue;
            }
            ++m_takenThisSecond;
            Take(ntohl(from.sin_addr.s_addr), buffer, std::size_t(n));
        }
    }
}

void NotificationListener::Take(quint32 from, const char *bytes, std::size_t size)
{
    // One byte more than the parser reads is read, so an oversized datagram stays malformed.
    const std::vector<pjlink::Datagram> messages =
        pjlink::parseDatagrams(std::string_view(bytes, size));
    if (messages.empty()) {
        ++m_garbage;
        LogGarbage(from);
    }
    for (const pjlink::Datagram &d : messages)
        TakeMessage(from, d);
}

void NotificationListener::TakeMessage(quint32 from, const pjlink::Datagram &d)
{
    switch (d.kind) {
    case pjlink::Datagram::Malformed:
        ++m_garbage;
        LogGarbage(from);
        return;
    case pjlink::Datagram::SearchRequest:
        return; // our own broadcast, or another controller's
    case pjlink::Datagram::SearchAnswer: {
        std::lock_guard guard(m_searchLock);
        if (!m_collecting || m_answers.size() >= kMaxSearchAnswers)
            return;
        const bool known = std::any_of(m_answers.begin(), m_answers.end(),
                                       [from](const SearchAnswer &a) { return a.address == from; });
        if (!known)
            m_answers.push_back({from, d.mac,
                                 std::chrono::duration_cast<std::chrono::microseconds>(
                                     Clock::now() - m_searchStart)});
        m_answered.notify_all();
        return;
    }
    default:
        ++m_handled;
        if (m_sink)
            m_sink(from, d);
    }
}

void NotificationListener::LogGarbage(quint32 from)
{
    const auto now = Clock::now();
    if (now - m_lastGarbageLog < kGarbageLogInterval)
        return;
    const quint64 total = m_garbage.load();
    qWarning("UDP port %d: %llu malformed datagram(s) ignored, the latest from %s", m_port,
             static_cast<unsigned long long>(total - m_garbageLogged),
             qPrintable(FormatIPv4(from)));
    m_garbageLogged = total;
    m_lastGarbageLog = now;
}

int NotificationListener::Search(const std::vector<quint32> &broadcasts, int port,
                                 std::chrono::milliseconds wait,
                                 const std::function<bool()> &keepGoing,
                                 std::vector<SearchAnswer> &answers)
{
    if (!IsRunning())
        return -1;
    std::lock_guard one(m_searchOne);
    {
        std::lock_guard guard(m_searchLock);
        m_answers.clear();
        m_collecting = true;
        m_searchStart = Clock::now();
    }
    for (const quint32 broadcast : broadcasts) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(broadcast);
        to.sin_port = htons(static_cast<quint16>(port));
        ::sendto(m_socket.get(), pjlink::kSearchRequest.data(), pjlink::kSearchRequest.size(),
                 MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
    const auto deadline = Clock::now() + wait;
    std::unique_lock lock(m_searchLock);
    while (Clock::now() < deadline && (!keepGoing || keepGoing()))
        m_answered.wait_until(lock, std::min(deadline, Clock::now() + kSearchPoll));
    m_collecting = false;
    answers = std::move(m_answers);
    m_answers.clear();
    return 0;
}

int BroadcastSearch(NotificationListener *listener, std::chrono::milliseconds wait,
                    const std::function<bool()> &keepGoing, std::vector<SearchAnswer> &answers)
{
    std::unique_ptr<NotificationListener> own;
    if (!listener || !listener->IsRunning()) {
        own = std::make_unique<NotificationListener>();
        if (const int result = own->Start(ControllerUdpPort()))
            return result;
        listener = own.get();
    }
    return listener->Search(SearchBroadcastAddresses(), PJLINK_UDP_PORT, wait, keepGoing, answers);
}
