#include "pjlink/answer.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace pjlink {

namespace {

constexpr int kMaxLamps = 8;
// Enough for any counter a projector reports (lamp hours have five digits) without overflow.
constexpr std::size_t kMaxNumberDigits = 9;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// ASCII case-insensitive; upperText is given in upper case.
bool equalsUpper(std::string_view text, std::string_view upperText)
{
    if (text.size() != upperText.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (upper(text[i]) != upperText[i])
            return false;
    }
    return true;
}

std::optional<int> number(std::string_view digits)
{
    if (digits.empty() || digits.size() > kMaxNumberDigits)
        return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// A payload that is one whole number.
IntAnswer numberAnswer(std::string_view payload)
{
    IntAnswer answer;
    if (const auto value = number(payload)) {
        answer.code = PJL_OK;
        answer.value = *value;
    }
    return answer;
}

// Class 2 numbers inputs 1..9 and then A..Z; some devices send the letters in lower case.
std::optional<int> inputNumber(char c)
{
    if (isDigit(c))
        return c - '0';
    const char u = upper(c);
    if (u >= 'A' && u <= 'Z')
        return u - 'A' + 10;
    return std::nullopt;
}

std::optional<std::pair<int, int>> input(std::string_view entry)
{
    if (entry.size() != 2 || !isDigit(entry[0]))
        return std::nullopt;
    const auto num = inputNumber(entry[1]);
    if (!num)
        return std::nullopt;
    return std::pair{entry[0] - '0', *num};
}

// Calls take(token) for every blank-separated token; stops at the first false.
template <typename Take> bool forEachToken(std::string_view text, Take take)
{
    std::size_t i = 0;
    while (i < text.size()) {
        if (isBlank(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !isBlank(text[end]))
            ++end;
        if (!take(text.substr(i, end - i)))
            return false;
        i = end;
    }
    return true;
}

} // namespace

LineSplit splitLine(std::string_view buffer)
{
    LineSplit split;
    // Projectors pad lines with NULs after the CR: a line never starts with one.
    const std::size_t start = std::min(buffer.find_first_not_of('\0'), buffer.size());
    buffer.remove_prefix(start);
    const std::size_t end = buffer.find_first_of("\r\n");
    if (end == std::string_view::npos) {
        split.status =
            buffer.size() >= kMaxUnframedBytes ? LineSplit::FramingLost : LineSplit::NeedMore;
        split.consumed = start;
        return split;
    }
    split.status = LineSplit::Line;
    split.line = buffer.substr(0, end);
    split.consumed = start + end + 1;
    return split;
}

bool isAuthError(std::string_view line)
{
    return equalsUpper(trimmed(line), "PJLINK ERRA");
}

Greeting parseGreeting(std::string_view line)
{
    Greeting greeting;
    if (isAuthError(line)) {
        greeting.code = PJL_ERR_AUTH;
        return greeting;
    }
    const std::string_view text = trimmed(line);
    constexpr std::string_view prefix = "PJLINK";
    if (text.size() <= prefix.size() || !equalsUpper(text.substr(0, prefix.size()), prefix) ||
        !isBlank(text[prefix.size()]))
        return greeting;

    std::string_view tokens[3];
    int count = 0;
    forEachToken(text.substr(prefix.size()), [&](std::string_view token) {
        if (count == 3)
            return false;
        tokens[count++] = token;
        return true;
    });
    if (count == 1 && tokens[0] == "0") {
        greeting.code = PJL_OK;
    } else if (count == 2 && tokens[0] == "1" && tokens[1].size() <= 32) {
        // The seed is hashed as sent; only control bytes would make it meaningless.
        for (char c : tokens[1]) {
            if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7e)
                return greeting;
        }
        greeting.code = PJL_OK;
        greeting.security = true;
        greeting.random = tokens[1];
    }
    return greeting;
}

namespace {

// Names the standard lets a projector send unasked; met on the command connection now and then.
bool isNotificationName(std::string_view name)
{
    for (std::string_view known : {"LKUP", "ERST", "POWR", "INPT", "AVMT"}) {
        if (equalsUpper(name, known))
            return true;
    }
    return false;
}

} // namespace

bool isNotificationLine(std::string_view line)
{
    const std::string_view text = trimmed(line);
    return text.size() >= 7 && text[0] == '%' && text[1] == '2' && text[6] == '=' &&
           isNotificationName(text.substr(2, 4));
}

AnswerLine matchAnswer(std::string_view line, std::string_view command, char cls)
{
    AnswerLine answer;
    const std::string_view text = trimmed(line);
    if (text.empty()) {
        answer.kind = AnswerLine::Skip;
        return answer;
    }
    if (line.size() > kMaxAnswerLine)
        return answer;
    if (isAuthError(text)) {
        answer.code = PJL_ERR_AUTH;
        return answer;
    }
    // Some firmware echoes a Class 2 request with "%1"; only one request is outstanding, so the
    // echo of its command is its answer. Any other line of another class is a notification.
    const bool class1Echo = cls == '2' && text.size() >= 7 && text[1] == '1';
    if (text.size() >= 2 && text[0] == '%' && isDigit(text[1]) && text[1] != cls && !class1Echo) {
        answer.kind = AnswerLine::Skip;
        return answer;
    }
    if (text.size() < 7 || text[0] != '%' || text[6] != '=' || command.size() != 4)
        return answer;
    bool sameCommand = true;
    for (std::size_t i = 0; i < 4; ++i)
        sameCommand = sameCommand && upper(text[2 + i]) == upper(command[i]);
    if (!sameCommand && class1Echo) {
        answer.kind = AnswerLine::Skip;
        return answer;
    }
    if (!sameCommand) {
        // Class 2 notifications share the request's class; another command is one of them.
        if (cls != '1' && isNotificationName(text.substr(2, 4)))
            answer.kind = AnswerLine::Skip;
        return answer;
    }
    const std::string_view payload = trimmed(text.substr(7));
    if (payload.size() == 4 && equalsUpper(payload.substr(0, 3), "ERR") && payload[3] >= '1' &&
        payload[3] <= '4') {
        answer.code = payload[3] - '0';
        return answer;
    }
    answer.code = PJL_OK;
    answer.payload = payload;
    return answer;
}

int parseSetResult(std::string_view payload)
{
    return equalsUpper(payload, "OK") ? PJL_OK : PJL_ERR_BAD_ANSWER;
}

IntAnswer parsePower(std::string_view payload)
{
    return numberAnswer(payload);
}

InputAnswer parseInput(std::string_view payload)
{
    InputAnswer answer;
    if (const auto value = input(payload)) {
        answer.code = PJL_OK;
        answer.type = value->first;
        answer.number = value->second;
    }
    return answer;
}

IntAnswer parseMute(std::string_view payload)
{
    IntAnswer answer;
    if (payload.size() == 2) {
        if (const auto value = number(payload)) {
            answer.code = PJL_OK;
            answer.value = *value;
        }
    }
    return answer;
}

ListAnswer parseErrorStatus(std::string_view payload)
{
    ListAnswer answer;
    if (payload.size() != 6)
        return answer;
    for (char c : payload) {
        if (!isDigit(c))
            return answer;
    }
    for (char c : payload)
        answer.values.push_back(c - '0');
    answer.code = PJL_OK;
    return answer;
}

ListAnswer parseLamps(std::string_view payload)
{
    ListAnswer answer;
    const bool ok = forEachToken(payload, [&](std::string_view token) {
        const auto value = number(token);
        if (!value || answer.values.size() == 2 * kMaxLamps)
            return false;
        answer.values.push_back(*value);
        return true;
    });
    if (ok && answer.values.size() % 2 == 0)
        answer.code = PJL_OK;
    else
        answer.values.clear();
    return answer;
}

ListAnswer parseInputList(std::string_view payload)
{
    ListAnswer answer;
    const bool ok = forEachToken(payload, [&](std::string_view token) {
        const auto value = input(token);
        if (!value)
            return false;
        answer.values.push_back(value->first);
        answer.values.push_back(value->second);
        return true;
    });
    if (ok)
        answer.code = PJL_OK;
    else
        answer.values.clear();
    return answer;
}

IntAnswer parseClass(std::string_view payload)
{
    // Some firmware says "Class 1": words around the one digit are read past. Anything that
    // leaves the class in doubt (two numbers, a digit inside a word) is not an answer.
    IntAnswer answer;
    std::optional<int> digit;
    const bool ok = forEachToken(payload, [&](std::string_view token) {
        if (token.size() == 1 && isDigit(token[0])) {
            if (digit)
                return false;
            digit = token[0] - '0';
            return true;
        }
        for (char c : token) {
            if (isDigit(c))
                return false;
        }
        return true;
    });
    if (ok && digit) {
        answer.code = PJL_OK;
        answer.value = *digit;
    }
    return answer;
}

TextAnswer parseText(std::string_view payload)
{
    // Firmware that pads fixed-size fields with NULs: the text ends at the first one.
    TextAnswer answer;
    answer.code = PJL_OK;
    answer.text = std::string(payload.substr(0, payload.find('\0')));
    return answer;
}

ResolutionAnswer parseResolution(std::string_view payload, bool signalMarksAllowed)
{
    ResolutionAnswer answer;
    if (signalMarksAllowed && (payload == "-" || payload == "*")) {
        answer.code = PJL_OK;
        answer.signal =
            payload == "-" ? ResolutionAnswer::NoSignal : ResolutionAnswer::UnknownSignal;
        return answer;
    }
    // "1920x1080"; an upper-case X or blanks around it leave no doubt, anything more does.
    const std::size_t x = payload.find_first_of("xX");
    if (x == std::string_view::npos)
        return answer;
    const auto width = number(trimmed(payload.substr(0, x)));
    const auto height = number(trimmed(payload.substr(x + 1)));
    if (!width || !height || *width == 0 || *height == 0)
        return answer;
    answer.code = PJL_OK;
    answer.width = *width;
    answer.height = *height;
    return answer;
}

IntAnswer parseHours(std::string_view payload)
{
    // Up to five digits in the standard; a longer counter still fits kMaxNumberDigits.
    return numberAnswer(payload);
}

TextListAnswer parseModels(std::string_view payload)
{
    TextListAnswer answer;
    const bool ok = forEachToken(payload, [&](std::string_view token) {
        for (char c : token) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x21 || byte > 0x7e)
                return false;
        }
        answer.texts.emplace_back(token);
        return true;
    });
    if (ok)
        answer.code = PJL_OK;
    else
        answer.texts.clear();
    return answer;
}

IntAnswer parseFreeze(std::string_view payload)
{
    IntAnswer answer;
    if (payload == "0" || payload == "1") {
        answer.code = PJL_OK;
        answer.value = payload[0] - '0';
    }
    return answer;
}

char inputNumberChar(int number)
{
    if (number >= 1 && number <= 9)
        return static_cast<char>('0' + number);
    if (number >= 10 && number <= 35)
        return static_cast<char>('A' + number - 10);
    return 0;
}

} // namespace pjlink
