// Feeds arbitrary bytes through what the client does with received data: line framing, the
// greeting, the level 2 answer, answer matching and every payload parser.

#include "pjlink/answer.h"
#include "pjlink/security.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::string_view kCommands[] = {"POWR", "INPT", "AVMT", "ERST", "LAMP", "INST",
                                          "NAME", "INF1", "INF2", "INFO", "CLSS"};

void parseAll(std::string_view payload)
{
    (void)pjlink::parseSetResult(payload);
    (void)pjlink::parsePower(payload);
    (void)pjlink::parseInput(payload);
    (void)pjlink::parseMute(payload);
    (void)pjlink::parseErrorStatus(payload);
    (void)pjlink::parseLamps(payload);
    (void)pjlink::parseInputList(payload);
    (void)pjlink::parseClass(payload);
    (void)pjlink::parseText(payload);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    parseAll(rest);
    (void)pjlink::parseGreeting(rest);

    for (int lines = 0; lines < 64; ++lines) {
        const pjlink::LineSplit split = pjlink::splitLine(rest);
        if (split.status != pjlink::LineSplit::Line)
            break;
        rest.remove_prefix(split.consumed);
        (void)pjlink::parseGreeting(split.line);
        (void)pjlink::isNotificationLine(split.line);
        if (const auto random = pjlink::parseLevelTwoAnswer(split.line))
            (void)pjlink::levelTwoPrefix(*random, *random, split.line);
        for (std::string_view command : kCommands) {
            const pjlink::AnswerLine answer = pjlink::matchAnswer(split.line, command);
            if (answer.kind == pjlink::AnswerLine::Result && answer.code == 0)
                parseAll(answer.payload);
        }
    }
    return 0;
}
