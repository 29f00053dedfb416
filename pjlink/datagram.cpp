#include "pjlink/datagram.h"

#include <algorithm>
#include <optional>

namespace pjlink {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isPadding(char c)
{
    return c == '\r' || c == '\n' || c == '\0';
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::optional<int> hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    const char u = upper(c);
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return std::nullopt;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<MacAddress> parseMac(std::string_view text)
{
    if (text.size() != 17)
        return std::nullopt;
    MacAddress mac{};
    for (std::size_t i = 0; i < 6; ++i) {
        const std::size_t at = i * 3;
        if (i > 0 && text[at - 1] != ':')
            return std::nullopt;
        const auto high = hexDigit(text[at]);
        const auto low = hexDigit(text[at + 1]);
        if (!high || !low)
            return std::nullopt;
        mac[i] = static_cast<std::uint8_t>(*high << 4 | *low);
    }
    return mac;
}

bool parseValue(Datagram::Kind kind, std::string_view value, Datagram &out)
{
    switch (kind) {
    case Datagram::SearchAnswer:
    case Datagram::LinkUp: {
        const auto mac = parseMac(value);
        if (!mac)
            return false;
        out.mac = *mac;
        return true;
    }
    case Datagram::Power:
        if (value.size() != 1 || value[0] < '0' || value[0] > '3')
            return false;
        out.value = value[0] - '0';
        return true;
    case Datagram::Input: {
        if (value.size() != 2 || value[0] < '1' || value[0] > '6')
            return false;
        const char n = upper(value[1]);
        if (n >= '1' && n <= '9')
            out.inputNumber = n - '0';
        else if (n >= 'A' && n <= 'Z')
            out.inputNumber = n - 'A' + 10;
        else
            return false;
        out.inputType = value[0] - '0';
        return true;
    }
    case Datagram::Mute:
        if (value != "11" && value != "21" && value != "31" && value != "30")
            return false;
        out.value = (value[0] - '0') * 10 + (value[1] - '0');
        return true;
    case Datagram::Errors:
        if (value.size() != 6)
            return false;
        for (std::size_t i = 0; i < 6; ++i) {
            if (value[i] < '0' || value[i] > '2')
                return false;
            out.levels[i] = value[i] - '0';
        }
        return true;
    default:
        return false;
    }
}

Datagram::Kind kindOf(std::string_view command)
{
    struct Name
    {
        std::string_view text;
        Datagram::Kind kind;
    };
    static constexpr Name names[] = {
        {"SRCH", Datagram::SearchRequest}, {"ACKN", Datagram::SearchAnswer},
        {"LKUP", Datagram::LinkUp},        {"POWR", Datagram::Power},
        {"INPT", Datagram::Input},         {"AVMT", Datagram::Mute},
        {"ERST", Datagram::Errors}};
    for (const Name &name : names) {
        bool same = true;
        for (std::size_t i = 0; i < 4; ++i)
            same = same && upper(command[i]) == name.text[i];
        if (same)
            return name.kind;
    }
    return Datagram::Malformed;
}

} // namespace

Datagram parseDatagram(std::string_view bytes)
{
    Datagram result;
    if (bytes.size() > kMaxDatagram)
        return result;
    while (!bytes.empty() && isPadding(bytes.back()))
        bytes.remove_suffix(1);
    // A CR, LF or NUL left inside means a second message or a binary tail: not ours to guess.
    for (char c : bytes) {
        if (isPadding(c))
            return result;
    }
    if (bytes.size() < 6 || bytes[0] != '%' || bytes[1] != '2')
        return result;
    const Datagram::Kind kind = kindOf(bytes.substr(2, 4));
    if (kind == Datagram::Malformed)
        return result;
    const std::string_view rest = bytes.substr(6);
    if (kind == Datagram::SearchRequest) {
        if (!trimmed(rest).empty())
            return result;
    } else {
        if (rest.empty() || rest[0] != '=' || !parseValue(kind, trimmed(rest.substr(1)), result))
            return Datagram{};
    }
    result.kind = kind;
    result.code = PJL_OK;
    return result;
}

std::vector<Datagram> parseDatagrams(std::string_view bytes)
{
    if (bytes.size() > kMaxDatagram)
        return {Datagram{}};
    std::vector<Datagram> messages;
    while (messages.size() < kMaxMessagesPerDatagram) {
        while (!bytes.empty() && isPadding(bytes.front()))
            bytes.remove_prefix(1);
        if (bytes.empty())
            break;
        const std::size_t end = std::min(bytes.find('\r'), bytes.size());
        messages.push_back(parseDatagram(bytes.substr(0, end)));
        bytes.remove_prefix(end);
    }
    return messages;
}

std::string formatMac(const MacAddress &mac)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0)
            text += ':';
        text += hex[mac[i] >> 4];
        text += hex[mac[i] & 0xF];
    }
    return text;
}

std::string formatSearchAnswer(const MacAddress &mac)
{
    return "%2ACKN=" + formatMac(mac) + '\r';
}

} // namespace pjlink
