// Feeds arbitrary bytes through what the client does with the answers to Class 2 requests:
// line framing, matching against a "%2" request (notifications and "%1" echoes among them) and
// every Class 2 payload parser.

#include "pjlink/answer.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::string_view kCommands[] = {"SNUM", "SVER", "INNM", "IRES", "RRES", "FILT",
                                          "RLMP", "RFIL", "FREZ", "INPT", "INST", "SVOL"};

void parseAll(std::string_view payload)
{
    (void)pjlink::parseResolution(payload, true);
    (void)pjlink::parseResolution(payload, false);
    (void)pjlink::parseHours(payload);
    (void)pjlink::parseModels(payload);
    (void)pjlink::parseFreeze(payload);
    (void)pjlink::parseInput(payload);
    (void)pjlink::parseInputList(payload);
    (void)pjlink::parseText(payload);
    (void)pjlink::parseSetResult(payload);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    parseAll(rest);

    for (int lines = 0; lines < 64; ++lines) {
        const pjlink::LineSplit split = pjlink::splitLine(rest);
        if (split.status != pjlink::LineSplit::Line)
            break;
        rest.remove_prefix(split.consumed);
        for (std::string_view command : kCommands) {
            const pjlink::AnswerLine answer = pjlink::matchAnswer(split.line, command, '2');
            if (answer.kind == pjlink::AnswerLine::Result && answer.code == 0)
                parseAll(answer.payload);
        }
    }
    return 0;
}
