#pragma once

#include "platform/uniquefd.h"
#include "tools/emulator/emulatedprojector.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <poll.h>

// The UDP side of a Class 2 emulator: answers searches and sends status notifications. Used by
// the serving thread alone, which calls sync after every change of the configuration.
class EmulatorUdp
{
public:
    // Opens or closes the sockets for the configuration: none unless Class 2. The unicast socket
    // is bound to the emulator's address (so that whatever it sends comes from there); the
    // broadcast socket, bound to 0.0.0.0 with address and port reuse so that every emulator of a
    // namespace gets its copy, exists only off loopback, where no broadcast ever arrives.
    void sync(const EmulatorConfig &config);
    // Restarts the link: the next peer known hears "%2LKUP" first.
    void linkUp(const EmulatorConfig &config);

    void addPollFds(std::vector<pollfd> &fds) const;
    // Reads what arrived on the descriptors added by addPollFds (from fds[first] on) and answers
    // searches; bounded work per call.
    void readReady(const std::vector<pollfd> &fds, std::size_t first, const EmulatorConfig &config);

    // The controller that connected over TCP most recently; notifications go there.
    void setPeer(std::uint32_t address) { m_peer = address; }
    // Sends a notification for every value that changed since the last call (and "%2LKUP"
    // when pending), to the peer's notifyPort. The first call only takes the values in.
    void notifyChanges(const EmulatorConfig &config);

private:
    struct Values
    {
        int power = -1;
        std::pair<int, int> input{0, 0};
        int mute = -1;
        std::array<int, 6> errors{};
    };
    void answerSearch(int fd, bool checkDestination, const EmulatorConfig &config);
    void sendTo(std::uint32_t address, int port, const std::string &message);

    platform::UniqueFd m_unicast;
    platform::UniqueFd m_broadcast;
    std::string m_address;
    int m_udpPort = -1;
    bool m_open = false;
    std::uint32_t m_peer = 0; // host order; 0 until a controller has connected
    bool m_linkUpPending = false;
    bool m_haveValues = false;
    Values m_sent;
};
