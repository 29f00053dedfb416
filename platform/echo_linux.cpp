#include "platform/echo.h"

#include "platform/pollwait.h"
#include "platform/tcpconnect.h"
#include "platform/uniquefd.h"

#include <QByteArray>
#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRequests = 2;
constexpr auto kReplyWait = 150ms;
constexpr auto kPauseAfterSilence = 150ms;

constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kEchoRequest = 8;
constexpr int kHeaderSize = 8;
constexpr int kPayloadSize = 8; // pid and request serial, 4 bytes each
constexpr int kPacketSize = kHeaderSize + kPayloadSize;

// ICMP_FILTER of <linux/icmp.h>, whose other declarations clash with the C library's.
constexpr int kIcmpFilter = 1;

// What one request puts on the wire and what its reply must carry back.
struct Request
{
    std::uint16_t id = 0;
    std::uint16_t sequence = 0;
    std::uint32_t pid = 0;
    std::uint32_t serial = 0;
};

std::atomic<EchoMechanism> s_lastMechanism{EchoMechanism::Unknown};
// The first mechanism worth trying; only ever moves towards TcpConnect, when the system refuses
// the one before it.
std::atomic<EchoMechanism> s_firstUsable{EchoMechanism::IcmpDatagram};
std::atomic<std::uint32_t> s_serial{0};
std::once_flag s_fallbackReported;

struct OverrideSlot
{
    std::mutex mutex;
    std::shared_ptr<const std::function<bool(const QString &)>> check;
    std::shared_ptr<const std::function<void(int)>> fallbackNotice;
};

OverrideSlot &Override()
{
    // Never destroyed: a probe may still run while exit() destroys static objects.
    static OverrideSlot *const slot = new OverrideSlot;
    return *slot;
}

Request NextRequest()
{
    Request r;
    r.pid = static_cast<std::uint32_t>(::getpid());
    r.serial = s_serial.fetch_add(1, std::memory_order_relaxed);
    // Adding the serial keeps the identifiers of 65536 consecutive requests of this process
    // apart; the pid-derived base keeps them apart from other processes on a raw socket.
    const auto base = static_cast<std::uint16_t>((r.pid * 2654435761u) >> 16);
    r.id = static_cast<std::uint16_t>(base + r.serial);
    r.sequence = static_cast<std::uint16_t>(r.serial);
    return r;
}

void PutU16(std::uint8_t *p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

std::uint16_t GetU16(const std::uint8_t *p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint16_t InternetChecksum(const std::uint8_t *data, int size)
{
    std::uint32_t sum = 0;
    for (int i = 0; i + 1 < size; i += 2)
        sum += GetU16(data + i);
    if (size % 2)
        sum += static_cast<std::uint32_t>(data[size - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

void BuildEchoRequest(const Request &r, std::uint8_t (&packet)[kPacketSize])
{
    std::memset(packet, 0, sizeof packet);
    packet[0] = kEchoRequest;
    PutU16(packet + 4, r.id);
    PutU16(packet + 6, r.sequence);
    std::memcpy(packet + 8, &r.pid, 4);
    std::memcpy(packet + 12, &r.serial, 4);
    // Datagram sockets fill in identifier and checksum themselves; raw ones send what we give.
    PutU16(packet + 2, InternetChecksum(packet, kPacketSize));
}

// icmp points at the ICMP message of a received packet. The kernel rewrites the identifier
// of datagram sockets, and the socket itself sorts replies by it, so there the identifier is
// not compared.
bool IsReplyTo(const Request &r, const std::uint8_t *icmp, ssize_t size, bool compareId)
{
    if (size < kPacketSize || icmp[0] != kEchoReply || icmp[1] != 0)
        return false;
    if (compareId && GetU16(icmp + 4) != r.id)
        return false;
    return GetU16(icmp + 6) == r.sequence && std::memcmp(icmp + 8, &r.pid, 4) == 0 &&
           std::memcmp(icmp + 12, &r.serial, 4) == 0;
}

// Sends one echo request on an ICMP socket and waits for its own reply until the deadline.
// Anything else arriving meanwhile (other processes' replies, our own request looped back on a
// raw socket, replies of concurrent checks) is read and dropped without extending the wait.
bool IcmpRequest(int fd, EchoMechanism mechanism, const sockaddr_in &dest,
                 Clock::time_point deadline)
{
    const Request request = NextRequest();
    std::uint8_t packet[kPacketSize];
    BuildEchoRequest(request, packet);
    if (::sendto(fd, packet, sizeof packet, 0, reinterpret_cast<const sockaddr *>(&dest),
                 sizeof dest) != static_cast<ssize_t>(sizeof packet))
        return false;

    const bool raw = mechanism == EchoMechanism::IcmpRaw;
    std::uint8_t buffer[1500];
    while (WaitReady(fd, POLLIN, deadline)) {
        // Drain what is queued; a pending socket error is consumed by the read that reports it.
        for (;;) {
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t n = ::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr *>(&from), &fromSize);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (from.sin_family != AF_INET || from.sin_addr.s_addr != dest.sin_addr.s_addr)
                continue;
            const std::uint8_t *icmp = buffer;
            ssize_t icmpSize = n;
            if (raw) {
                // Raw sockets deliver the IP header too.
                if (n < 20)
                    continue;
                const int ipHeader = (buffer[0] & 0x0F) * 4;
                if (ipHeader < 20 || n < ipHeader)
                    continue;
                icmp += ipHeader;
                icmpSize -= ipHeader;
            }
            if (IsReplyTo(request, icmp, icmpSize, raw))
                return true;
        }
    }
    return false;
}

// A connect that completes or is refused proves the host is up; silence until the deadline
// or an unreachable error does not.
bool TcpAnswers(const QString &address, int port, Clock::time_point deadline)
{
    const int result = TcpConnect(address, port, MillisecondsLeft(deadline));
    return result == 0 || result == ECONNREFUSED;
}

// The system refuses this kind of socket to this process (or lacks it): try the next kind.
bool IsRefusedKind(int error)
{
    return error == EPERM || error == EACCES || error == EPROTONOSUPPORT ||
           error == ESOCKTNOSUPPORT || error == EAFNOSUPPORT;
}

// Opens the first ICMP socket the system grants and sets mechanism to its kind, or to
// TcpConnect when it grants none. An invalid result with another mechanism means the socket
// could not be had for another reason (descriptors or memory exhausted).
UniqueFd OpenIcmpSocket(EchoMechanism &mechanism, const sockaddr_in &dest)
{
    mechanism = s_firstUsable.load();
    while (mechanism != EchoMechanism::TcpConnect) {
        const int type = mechanism == EchoMechanism::IcmpDatagram ? SOCK_DGRAM : SOCK_RAW;
        UniqueFd fd(::socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP));
        if (fd.valid()) {
            if (type == SOCK_RAW) {
                // Let only echo replies through; the other ICMP types need not wake us.
                const std::uint32_t dropAllBut = ~(1u << kEchoReply);
                ::setsockopt(fd.get(), SOL_RAW, kIcmpFilter, &dropAllBut, sizeof dropAllBut);
                // Nor replies from other hosts: every raw socket gets a copy of every reply, so
                // a cycle checking a whole register at once would wake each check for each
                // other's reply. Where the system refuses (a broadcast address), the reply's
                // source is still checked on arrival.
                ::connect(fd.get(), reinterpret_cast<const sockaddr *>(&dest), sizeof dest);
            }
            return fd;
        }
        if (!IsRefusedKind(errno))
            return UniqueFd();
        const EchoMechanism next = mechanism == EchoMechanism::IcmpDatagram
                                       ? EchoMechanism::IcmpRaw
                                       : EchoMechanism::TcpConnect;
        // Concurrent checks may race here; they all store the same or a later kind.
        EchoMechanism expected = mechanism;
        s_firstUsable.compare_exchange_strong(expected, next);
        mechanism = next;
    }
    return UniqueFd();
}

void ReportTcpFallback(int port)
{
    std::call_once(s_fallbackReported, [port] {
        std::shared_ptr<const std::function<void(int)>> notice;
        {
            std::lock_guard lock(Override().mutex);
            notice = Override().fallbackNotice;
        }
        if (notice) {
            (*notice)(port);
            return;
        }
        qWarning("ICMP echo is not permitted for this process; checking reachability by TCP "
                 "connect to port %d instead",
                 port);
    });
}

bool ParseDottedIPv4(const QString &address, sockaddr_in &dest)
{
    for (QChar c : address) {
        if (c.unicode() == 0 || c.unicode() >= 0x80)
            return false;
    }
    const QByteArray text = address.toLatin1();
    dest = sockaddr_in{};
    dest.sin_family = AF_INET;
    return ::inet_pton(AF_INET, text.constData(), &dest.sin_addr) == 1;
}

} // namespace

bool EchoCheck(const QString &address, int fallbackPort)
{
    std::shared_ptr<const std::function<bool(const QString &)>> replaced;
    {
        std::lock_guard lock(Override().mutex);
        replaced = Override().check;
    }
    if (replaced)
        return (*replaced)(address);

    sockaddr_in dest{};
    if (!ParseDottedIPv4(address, dest))
        return false;

    EchoMechanism mechanism = EchoMechanism::Unknown;
    const UniqueFd icmp = OpenIcmpSocket(mechanism, dest);
    s_lastMechanism.store(mechanism);
    if (mechanism == EchoMechanism::TcpConnect) {
        ReportTcpFallback(fallbackPort);
        if (fallbackPort <= 0 || fallbackPort > 65535)
            return false;
    } else if (!icmp.valid()) {
        return false;
    }

    for (int i = 0; i < kRequests; ++i) {
        const auto deadline = Clock::now() + kReplyWait;
        const bool replied = mechanism == EchoMechanism::TcpConnect
                                 ? TcpAnswers(address, fallbackPort, deadline)
                                 : IcmpRequest(icmp.get(), mechanism, dest, deadline);
        if (replied)
            return true;
        // A request that failed before its time-out still keeps the pace of two per 600 ms.
        std::this_thread::sleep_until(deadline + kPauseAfterSilence);
    }
    return false;
}

EchoMechanism CurrentEchoMechanism()
{
    return s_lastMechanism.load();
}

void SetEchoCheckOverride(std::function<bool(const QString &address)> check)
{
    std::shared_ptr<const std::function<bool(const QString &)>> replacement;
    if (check)
        replacement =
            std::make_shared<const std::function<bool(const QString &)>>(std::move(check));
    std::lock_guard lock(Override().mutex);
    Override().check = std::move(replacement);
}

void SetTcpFallbackNotice(std::function<void(int port)> notice)
{
    std::shared_ptr<const std::function<void(int)>> replacement;
    if (notice)
        replacement = std::make_shared<const std::function<void(int)>>(std::move(notice));
    std::lock_guard lock(Override().mutex);
    Override().fallbackNotice = std::move(replacement);
}

} // namespace platform
