#include "platform/settingscodec.h"

namespace platform {

namespace {

constexpr char16_t kHexDigits[] = u"0123456789abcdef";

int HexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// The value of digits hex digits from p, or -1 when one of them is no hex digit.
int ParseHex(const QChar *p, int digits)
{
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = HexValue(p[i]);
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

void AppendHex(QString &out, unsigned value, int digits)
{
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out.append(QChar(kHexDigits[(value >> shift) & 0xF]));
}

} // namespace

QString EncodeText(const QString &text)
{
    QString escaped = text;
    escaped.replace(u':', QStringLiteral("\\:"));
    QString out;
    out.reserve(escaped.size() * 4);
    for (QChar c : std::as_const(escaped))
        AppendHex(out, c.unicode(), 4);
    return out;
}

// The writer never produces a group that is not four hex digits; such a group (a hand-edited
// or damaged file) is skipped rather than read as a partial number, so that one bad group
// costs one character and does not shift or corrupt the rest of the name.
QString DecodeText(const QString &field)
{
    QString decoded;
    decoded.reserve(field.size() / 4);
    const QChar *p = field.constData();
    for (qsizetype i = 0; i + 4 <= field.size(); i += 4) {
        const int unit = ParseHex(p + i, 4);
        if (unit >= 0)
            decoded.append(QChar(char16_t(unit)));
    }
    decoded.replace(QStringLiteral("\\:"), QStringLiteral(":"));
    return decoded;
}

QString ScramblePassword(const QString &password)
{
    QString out;
    out.reserve(password.size() * 2);
    for (QChar c : password) {
        const unsigned u = c.unicode();
        AppendHex(out, ((u << 4) & 0xFF) | ((u >> 4) & 0x0F), 2);
    }
    return out;
}

// A lone last digit (odd length) and pairs that are not hex digits are skipped, as in
// DecodeText.
QString UnscramblePassword(const QString &field)
{
    QString password;
    password.reserve(field.size() / 2);
    const QChar *p = field.constData();
    for (qsizetype i = 0; i + 2 <= field.size(); i += 2) {
        const int v = ParseHex(p + i, 2);
        if (v >= 0)
            password.append(QChar(char16_t(((v >> 4) & 0x0F) | ((v << 4) & 0xFF))));
    }
    return password;
}

QStringList SplitFields(const QString &value)
{
    QStringList fields;
    QString field;
    for (QChar c : value) {
        if (c != u':') {
            field.append(c);
        } else if (field.endsWith(u'\\')) {
            // The field ends with '\' exactly when the input character before ':' was one: a
            // ':' kept this way is not a '\'.
            field.back() = u':';
        } else {
            fields.append(field);
            field.clear();
        }
    }
    fields.append(field);
    return fields;
}

} // namespace platform
