#include "tools/emulator/emulatorudp.h"

#include "tools/emulator/emulatorreplies.h"

#include "pjlink/answer.h"
#include "pjlink/datagram.h"

#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

// Datagrams read per wake-up and socket: a flood cannot keep the serving thread from its
// TCP connections.
constexpr int kReadsPerWake = 32;

bool isLoopback(const std::string &address)
{
    in_addr a{};
    return ::inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

platform::UniqueFd bindUdp(std::uint32_t address, int port, bool shared)
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        return fd;
    const int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (shared) {
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
        ::setsockopt(fd.get(), IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(address);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        fd.reset();
    return fd;
}

std::string inputText(std::pair<int, int> input)
{
    const char number = pjlink::inputNumberChar(input.second);
    return std::string(1, static_cast<char>('0' + input.first)) + (number ? number : '?');
}

} // namespace

void EmulatorUdp::sync(const EmulatorConfig &config)
{
    const bool wanted = config.pjlinkClass == 2 && config.udpPort > 0 && config.udpPort < 65536;
    if (wanted && m_open && m_address == config.address && m_udpPort == config.udpPort) {
        if (!config.answerSearch)
            m_broadcast.reset();
        return;
    }
    m_unicast.reset();
    m_broadcast.reset();
    m_open = false;
    in_addr a{};
    if (!wanted || ::inet_pton(AF_INET, config.address.c_str(), &a) != 1)
        return;
    const std::uint32_t own = ntohl(a.s_addr);
    m_unicast = bindUdp(own, config.udpPort, false);
    // Something else has the port on this address: notifications still go out.
    if (!m_unicast.valid())
        m_unicast = bindUdp(own, 0, false);
    if (config.answerSearch && !isLoopback(config.address))
        m_broadcast = bindUdp(INADDR_ANY, config.udpPort, true);
    m_address = config.address;
    m_udpPort = config.udpPort;
    m_open = true;
}

void EmulatorUdp::linkUp(const EmulatorConfig &config)
{
    m_linkUpPending = config.pjlinkClass == 2;
}

void EmulatorUdp::addPollFds(std::vector<pollfd> &fds) const
{
    if (m_unicast.valid())
        fds.push_back({m_unicast.get(), POLLIN, 0});
    if (m_broadcast.valid())
        fds.push_back({m_broadcast.get(), POLLIN, 0});
}

void EmulatorUdp::readReady(const std::vector<pollfd> &fds, std::size_t first,
                            const EmulatorConfig &config)
{
    for (std::size_t i = first; i < fds.size(); ++i) {
        if (!(fds[i].revents & POLLIN))
            continue;
        // A descriptor of an earlier configuration is left for the next round.
        if (fds[i].fd == m_unicast.get())
            answerSearch(m_unicast.get(), false, config);
        else if (fds[i].fd == m_broadcast.get())
            answerSearch(m_broadcast.get(), true, config);
    }
}

void EmulatorUdp::answerSearch(int fd, bool checkDestination, const EmulatorConfig &config)
{
    for (int i = 0; i < kReadsPerWake; ++i) {
        char buffer[pjlink::kMaxDatagram + 1];
        char control[CMSG_SPACE(sizeof(in_pktinfo))];
        sockaddr_in from{};
        iovec iov{buffer, sizeof buffer};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const auto n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
        if (n < 0)
            return;
        if (!config.answerSearch || (msg.msg_flags & MSG_TRUNC))
            continue;
        if (checkDestination) {
            // The shared socket also gets unicasts to addresses of the namespace that no
            // emulator has bound; only a broadcast (destination other than the local address
            // it arrived at) is meant for every emulator.
            bool broadcast = false;
            for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                    in_pktinfo info{};
                    std::memcpy(&info, CMSG_DATA(c), sizeof info);
                    broadcast = info.ipi_addr.s_addr != info.ipi_spec_dst.s_addr;
                }
            }
            if (!broadcast)
                continue;
        }
        const pjlink::Datagram request =
            pjlink::parseDatagram(std::string_view(buffer, static_cast<std::size_t>(n)));
        if (request.kind != pjlink::Datagram::SearchRequest)
            continue;
        sendTo(ntohl(from.sin_addr.s_addr), config.udpPort,
               "%2ACKN=" + macAddressText(config.macAddress) + '\r');
    }
}

void EmulatorUdp::sendTo(std::uint32_t address, int port, const std::string &message)
{
    if (!m_unicast.valid() || address == 0 || port <= 0 || port > 65535)
        return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(address);
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    ::sendto(m_unicast.get(), message.data(), message.size(), MSG_DONTWAIT,
             reinterpret_cast<sockaddr *>(&to), sizeof to);
}

void EmulatorUdp::notifyChanges(const EmulatorConfig &config)
{
    const Values now{config.power, config.input, config.mute, config.errors};
    const Values before = m_sent;
    const bool first = !m_haveValues;
    m_sent = now;
    m_haveValues = true;
    if (config.pjlinkClass != 2 || m_peer == 0)
        return;
    const int port = config.notifyPort;
    if (m_linkUpPending) {
        m_linkUpPending = false;
        sendTo(m_peer, port, "%2LKUP=" + macAddressText(config.macAddress) + '\r');
    }
    if (first)
        return;
    if (now.power != before.power)
        sendTo(m_peer, port, "%2POWR=" + std::to_string(now.power) + '\r');
    if (now.input != before.input)
        sendTo(m_peer, port, "%2INPT=" + inputText(now.input) + '\r');
    if (now.mute != before.mute)
        sendTo(m_peer, port, "%2AVMT=" + std::to_string(now.mute) + '\r');
    if (now.errors != before.errors) {
        std::string levels;
        for (int level : now.errors)
            levels += static_cast<char>('0' + level);
        sendTo(m_peer, port, "%2ERST=" + levels + '\r');
    }
}
