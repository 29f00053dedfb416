#pragma once

#include "pjlink/pjlib.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Pure parsers for the datagrams Class 2 projectors send to UDP port 4352: the answer to a
// search and the unprompted status notifications. No sockets and no state, so they can be
// fuzzed. parseDatagram reads one message; parseDatagrams reads a datagram that may carry several.
namespace pjlink {

// Longer datagrams are never read: the longest message is 25 bytes, and the parser's work
// stays bounded whatever arrives.
inline constexpr std::size_t kMaxDatagram = 512;

// The request a controller broadcasts to find Class 2 projectors.
inline constexpr std::string_view kSearchRequest = "%2SRCH\r";

using MacAddress = std::array<std::uint8_t, 6>;

struct Datagram
{
    enum Kind {
        Malformed,
        SearchRequest, // %2SRCH
        SearchAnswer,  // %2ACKN=<mac>
        LinkUp,        // %2LKUP=<mac>
        Power,         // %2POWR=<0..3>
        Input,         // %2INPT=<type><number>
        Mute,          // %2AVMT=<11|21|31|30>
        Errors         // %2ERST=<six levels>
    };
    Kind kind = Malformed;
    int code = PJL_ERR_BAD_ANSWER; // PJL_OK for every kind but Malformed
    MacAddress mac{};              // SearchAnswer, LinkUp
    int value = -1;                // Power 0..3; Mute 11, 21, 31 or 30
    int inputType = 0;             // Input: 1..6
    int inputNumber = 0;           // Input: 1..9, 10..35 for A..Z
    std::array<int, 6> levels{};   // Errors: fan, lamp, temperature, cover, filter, other
};

// Lenient where the meaning stays clear (CR, LF and NUL after the message, blanks around the
// value, lower-case command and hex digits), strict otherwise (one message, the "%2" prefix,
// exact value grammar). Bounded work for any input.
Datagram parseDatagram(std::string_view bytes);

// Messages read from one datagram at most; what follows them is dropped unread.
inline constexpr std::size_t kMaxMessagesPerDatagram = 16;

// Some projectors send several messages in one datagram, each ended by its CR: each is read as
// parseDatagram reads one, in order (Malformed ones included, so the caller can count them). LF
// and NUL padding between messages is dropped; a datagram of padding alone gives nothing, and
// one over kMaxDatagram bytes one Malformed.
std::vector<Datagram> parseDatagrams(std::string_view bytes);

// "00:00:5E:00:53:01": upper-case hex pairs separated by colons.
std::string formatMac(const MacAddress &mac);

// The notification or answer line a projector sends, CR included; for the emulator and tests.
std::string formatSearchAnswer(const MacAddress &mac);

} // namespace pjlink
