#include "pjlink/security.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace pjlink {

namespace {

std::optional<int> hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return std::nullopt;
}

std::string hex(const std::uint8_t *bytes, std::size_t size)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

std::string hashHex(QCryptographicHash::Algorithm algorithm, std::string_view first,
                    std::string_view second)
{
    QCryptographicHash hash(algorithm);
    hash.addData(QByteArrayView(first.data(), qsizetype(first.size())));
    hash.addData(QByteArrayView(second.data(), qsizetype(second.size())));
    return hash.result().toHex().toStdString();
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

std::optional<Random16> parseLevelTwoAnswer(std::string_view line)
{
    while (!line.empty() && isBlank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && isBlank(line.back()))
        line.remove_suffix(1);
    constexpr std::string_view prefix = "PJLINK 2 ";
    if (line.size() != prefix.size() + 32)
        return std::nullopt;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = line[i];
        if ((c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c) != prefix[i])
            return std::nullopt;
    }
    line.remove_prefix(prefix.size());
    Random16 random{};
    for (std::size_t i = 0; i < random.size(); ++i) {
        const auto high = hexValue(line[2 * i]);
        const auto low = hexValue(line[2 * i + 1]);
        if (!high || !low)
            return std::nullopt;
        random[i] = static_cast<std::uint8_t>(*high << 4 | *low);
    }
    return random;
}

std::string levelOnePrefix(std::string_view seed, std::string_view password)
{
    return hashHex(QCryptographicHash::Md5, seed, password);
}

std::string levelTwoPrefix(const Random16 &projector, const Random16 &ours,
                           std::string_view password)
{
    Random16 mixed{};
    for (std::size_t i = 0; i < mixed.size(); ++i)
        mixed[i] = projector[i] ^ ours[i];
    return hex(ours.data(), ours.size()) +
           hashHex(QCryptographicHash::Sha256, hex(mixed.data(), mixed.size()), password);
}

std::string_view securityLevelName(SecurityLevel level)
{
    switch (level) {
    case SecurityLevel::Md5:
        return "md5";
    case SecurityLevel::Sha256:
        return "sha256";
    case SecurityLevel::None:
        break;
    }
    return "none";
}

} // namespace pjlink
