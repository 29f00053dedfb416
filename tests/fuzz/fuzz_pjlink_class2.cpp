// Feeds arbitrary bytes through what the client does with the answers to Class 2 requests:
// line framing, matching against a "%2" request (notifications and "%1" echoes among them) and
// every Class 2 payload parser. Every input read (types 1 to 6, numbers 1 to 9 and A to Z) must
// come back unchanged from the code it is sent with ("%2INPT 6A", "%2INNM ?3Z").

#include "pjlink/answer.h"
#include "pjlink/class2.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::string_view kCommands[] = {"SNUM", "SVER", "INNM", "IRES", "RRES", "FILT",
                                          "RLMP", "RFIL", "FREZ", "INPT", "INST", "SVOL"};

// An input the client took from a projector is either one it can send back as it was read, or
// one it refuses to send (an empty code): never a code that names another input.
void checkInput(int type, int number)
{
    const std::string code = pjlink::class2::InputCode({type, number});
    if (code.empty()) {
        if (type >= 1 && type <= 6 && number >= 1 && number <= 35)
            __builtin_trap();
        return;
    }
    const pjlink::InputAnswer again = pjlink::parseInput(code);
    if (again.code != 0 || again.type != type || again.number != number)
        __builtin_trap();
}

void parseAll(std::string_view payload)
{
    (void)pjlink::parseResolution(payload, true);
    (void)pjlink::parseResolution(payload, false);
    (void)pjlink::parseHours(payload);
    (void)pjlink::parseModels(payload);
    (void)pjlink::parseFreeze(payload);
    if (const pjlink::InputAnswer input = pjlink::parseInput(payload); input.code == 0)
        checkInput(input.type, input.number);
    const pjlink::ListAnswer list = pjlink::parseInputList(payload);
    for (std::size_t i = 0; list.code == 0 && i + 1 < list.values.size(); i += 2)
        checkInput(list.values[i], list.values[i + 1]);
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
