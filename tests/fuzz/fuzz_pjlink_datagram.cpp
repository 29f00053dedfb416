// Feeds arbitrary bytes through what the notification listener and the broadcast search do with
// a received datagram.

#include "pjlink/answer.h"
#include "pjlink/class2.h"
#include "pjlink/datagram.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const pjlink::Datagram d = pjlink::parseDatagram(bytes);
    if (d.kind == pjlink::Datagram::SearchAnswer || d.kind == pjlink::Datagram::LinkUp) {
        // What the parser accepts must survive a round trip through the text it is shown as.
        const pjlink::Datagram again = pjlink::parseDatagram(pjlink::formatSearchAnswer(d.mac));
        if (again.mac != d.mac)
            __builtin_trap();
    }
    // An input notification ("%2INPT=6A") names the input that "%2INPT 6A" would switch to.
    if (d.kind == pjlink::Datagram::Input) {
        const pjlink::InputAnswer again =
            pjlink::parseInput(pjlink::class2::InputCode({d.inputType, d.inputNumber}));
        if (again.code != 0 || again.type != d.inputType || again.number != d.inputNumber)
            __builtin_trap();
    }
    // Several messages in one datagram: bounded, and a single well-formed message reads alike.
    const auto messages = pjlink::parseDatagrams(bytes);
    if (messages.size() > pjlink::kMaxMessagesPerDatagram)
        __builtin_trap();
    if (d.kind != pjlink::Datagram::Malformed &&
        (messages.size() != 1 || messages[0].kind != d.kind))
        __builtin_trap();
    return 0;
}
