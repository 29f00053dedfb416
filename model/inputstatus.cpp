#include "model/inputstatus.h"

#include "res/stringids.h"
#include "res/stringtable.h"

#include <QStringList>

using namespace Qt::StringLiterals;

InputStatus::InputStatus(int type, int number) : m_type(type), m_number(number) {}

QString InputStatus::GetShortText(bool korvane) const
{
    if (!HasTypeText())
        return QString();
    if (IsKorvaneCamera(korvane))
        return LoadString(STR_CAMERA);
    return TypeText() + NumberText(m_number);
}

QString InputStatus::GetLongText(bool korvane) const
{
    if (!HasTypeText())
        return QString();
    const QString camera =
        IsKorvaneCamera(korvane) ? u'(' + LoadString(STR_CAMERA) + u')' : QString();
    return TypeText() + FormatText(u"%s%s"_s, {NumberText(m_number), camera});
}

bool InputStatus::NeedsClass2() const
{
    return m_type == Internal || m_number > kMaxClass1Number;
}

QString InputStatus::NumberText(int number)
{
    if (number >= 10 && number <= kMaxNumber)
        return QChar(u'A' + (number - 10));
    return QString::number(number);
}

std::optional<int> InputStatus::NumberFromText(const QString &text)
{
    if (text.size() != 1)
        return std::nullopt;
    const char16_t c = text.front().unicode();
    if (c >= u'1' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'Z')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 10;
    return std::nullopt;
}

// The Class 1 types and Class 2's internal one have names; 9 (unavailable) has none.
bool InputStatus::HasTypeText() const
{
    return (m_type >= RGB && m_type <= Network) || m_type == Internal;
}

// String 210 + 6 is "Camera", so the internal type has an id of its own.
QString InputStatus::TypeText() const
{
    return LoadString(m_type == Internal ? STR_INPUT_INTERNAL : STR_INPUT_TYPE_BASE + m_type);
}

bool InputStatus::IsKorvaneCamera(bool korvane) const
{
    return korvane && m_type == RGB && m_number == 9;
}
