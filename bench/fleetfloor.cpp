#include "bench/fleetfloor.h"

#include "platform/uniquefd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

namespace fleet {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kEchoRequests = 2;
constexpr auto kReplyWait = 150ms;
constexpr auto kPauseAfterSilence = 150ms;
constexpr auto kRunLimit = 20s;
constexpr int kMaxLine = 512;

std::uint16_t Checksum(const std::uint8_t *data, std::size_t size)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += std::uint32_t(data[i] << 8 | data[i + 1]);
    if (size % 2 != 0)
        sum += std::uint32_t(data[size - 1] << 8);
    while (sum >> 16 != 0)
        sum = (sum & 0xffff) + (sum >> 16);
    return std::uint16_t(~sum);
}

struct Member
{
    enum Step { Echo, Connecting, Reading, Done } step = Echo;
    sockaddr_in address{};
    int echoSent = 0;
    Clock::time_point nextEcho; // when the next request goes (or the check gives up)
    Clock::time_point echoDeadline;
    platform::UniqueFd socket;
    std::string buffer;
    std::size_t query = 0; // the next query to send once a line arrived; 0: the greeting
    bool answered = false;
};

bool SendEcho(int icmp, Member &member, std::uint16_t id, std::uint16_t sequence)
{
    std::uint8_t packet[16] = {8, 0, 0, 0};
    packet[4] = std::uint8_t(id >> 8);
    packet[5] = std::uint8_t(id);
    packet[6] = std::uint8_t(sequence >> 8);
    packet[7] = std::uint8_t(sequence);
    const std::uint16_t sum = Checksum(packet, sizeof packet);
    packet[2] = std::uint8_t(sum >> 8);
    packet[3] = std::uint8_t(sum);
    return ::sendto(icmp, packet, sizeof packet, 0,
                    reinterpret_cast<const sockaddr *>(&member.address),
                    sizeof member.address) == ssize_t(sizeof packet);
}

void StartConnect(Member &member)
{
    member.socket.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in to = member.address;
    to.sin_port = htons(4352);
    if (!member.socket.valid() ||
        (::connect(member.socket.get(), reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0 &&
         errno != EINPROGRESS)) {
        member.step = Member::Done;
        member.socket.reset();
        return;
    }
    const int one = 1;
    ::setsockopt(member.socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    member.step = Member::Connecting;
}

// Reads what arrived; on each whole line, the next query (or the end).
void ReadLines(Member &member)
{
    char chunk[kMaxLine];
    const ssize_t got = ::recv(member.socket.get(), chunk, sizeof chunk, MSG_DONTWAIT);
    if (got <= 0) {
        if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
            member.step = Member::Done;
            member.socket.reset();
        }
        return;
    }
    member.buffer.append(chunk, std::size_t(got));
    const std::vector<std::string> &queries = RefreshQueries();
    for (std::size_t end = member.buffer.find('\r'); end != std::string::npos;
         end = member.buffer.find('\r')) {
        member.buffer.erase(0, end + 1);
        if (member.query == queries.size()) {
            member.answered = true;
            member.step = Member::Done;
            member.socket.reset();
            return;
        }
        const std::string &line = queries[member.query++];
        if (::send(member.socket.get(), line.data(), line.size(), MSG_NOSIGNAL) !=
            ssize_t(line.size())) {
            member.step = Member::Done;
            member.socket.reset();
            return;
        }
    }
}

} // namespace

const std::vector<std::string> &RefreshQueries()
{
    static const std::vector<std::string> queries = {"%1NAME ?\r", "%1POWR ?\r", "%1INST ?\r",
                                                     "%1INPT ?\r", "%1AVMT ?\r", "%1ERST ?\r",
                                                     "%1INF1 ?\r", "%1LAMP ?\r", "%1CLSS ?\r"};
    return queries;
}

FloorRun ReadFleetFloor(const std::vector<std::string> &addresses)
{
    FloorRun run;
    platform::UniqueFd icmp(
        ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (!icmp.valid())
        return run;
    const std::uint16_t id = std::uint16_t(::getpid());

    std::vector<Member> members(addresses.size());
    const Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].address.sin_family = AF_INET;
        if (::inet_pton(AF_INET, addresses[i].c_str(), &members[i].address.sin_addr) != 1)
            return run;
        members[i].nextEcho = start;
    }

    std::vector<pollfd> fds;
    std::vector<std::size_t> owners;
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now - start > kRunLimit)
            return run;
        // Echo requests due now, and echo checks that gave up.
        Clock::time_point wake = now + 1s;
        bool pending = false;
        for (std::size_t i = 0; i < members.size(); ++i) {
            Member &member = members[i];
            if (member.step != Member::Echo)
                continue;
            if (now >= member.nextEcho) {
                if (member.echoSent == kEchoRequests) {
                    member.step = Member::Done;
                    ++run.silent;
                    continue;
                }
                SendEcho(icmp.get(), member, id,
                         std::uint16_t(i * kEchoRequests + member.echoSent));
                ++member.echoSent;
                member.nextEcho = now + kReplyWait + kPauseAfterSilence;
            }
            pending = true;
            wake = std::min(wake, member.nextEcho);
        }
        fds.clear();
        owners.clear();
        fds.push_back({icmp.get(), POLLIN, 0});
        owners.push_back(members.size());
        for (std::size_t i = 0; i < members.size(); ++i) {
            const Member &member = members[i];
            if (member.step == Member::Connecting || member.step == Member::Reading) {
                pending = true;
                fds.push_back({member.socket.get(),
                               short(member.step == Member::Connecting ? POLLOUT : POLLIN), 0});
                owners.push_back(i);
            }
        }
        if (!pending)
            break;
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now());
        if (::poll(fds.data(), fds.size(), int(std::max<long>(0, waitMs.count()))) < 0 &&
            errno != EINTR)
            return run;
        for (std::size_t f = 0; f < fds.size(); ++f) {
            if (fds[f].revents == 0)
                continue;
            if (owners[f] == members.size()) {
                // Echo replies: IP header, then type 0 with our identifier and a sequence that
                // names the member.
                for (int reads = 0; reads < 4 * int(members.size()); ++reads) {
                    std::uint8_t packet[1500];
                    const ssize_t got = ::recv(icmp.get(), packet, sizeof packet, MSG_DONTWAIT);
                    if (got <= 0)
                        break;
                    const std::size_t header = std::size_t(packet[0] & 0x0f) * 4;
                    if (std::size_t(got) < header + 8 || packet[header] != 0)
                        continue;
                    const std::uint16_t replyId =
                        std::uint16_t(packet[header + 4] << 8 | packet[header + 5]);
                    const std::size_t index =
                        std::size_t(packet[header + 6] << 8 | packet[header + 7]) / kEchoRequests;
                    if (replyId == id && index < members.size() &&
                        members[index].step == Member::Echo)
                        StartConnect(members[index]);
                }
                continue;
            }
            Member &member = members[owners[f]];
            if (member.step == Member::Connecting) {
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(member.socket.get(), SOL_SOCKET, SO_ERROR, &error, &length);
                if (error != 0) {
                    member.step = Member::Done;
                    member.socket.reset();
                } else {
                    member.step = Member::Reading;
                }
            } else {
                ReadLines(member);
            }
        }
    }
    run.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    run.answered = int(std::count_if(members.begin(), members.end(),
                                     [](const Member &member) { return member.answered; }));
    run.ok = true;
    return run;
}

} // namespace fleet
