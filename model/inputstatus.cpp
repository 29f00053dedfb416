#include "model/inputstatus.h"

#include "res/stringtable.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

constexpr int kTypeTextBase = 210;
constexpr int kCameraText = 216;

} // namespace

InputStatus::InputStatus(int type, int number) : m_type(type), m_number(number) {}

QString InputStatus::GetShortText(bool korvane) const
{
    if (!HasTypeText())
        return QString();
    if (IsKorvaneCamera(korvane))
        return LoadString(kCameraText);
    return LoadString(kTypeTextBase + m_type) + QString::number(m_number);
}

QString InputStatus::GetLongText(bool korvane) const
{
    if (!HasTypeText())
        return QString();
    const QString camera =
        IsKorvaneCamera(korvane) ? u'(' + LoadString(kCameraText) + u')' : QString();
    return LoadString(kTypeTextBase + m_type) +
           FormatText(u"%d%s"_s, {QString::number(m_number), camera});
}

// Only the Class 1 types have names; the string after them is not a type name.
bool InputStatus::HasTypeText() const
{
    return m_type >= RGB && m_type <= Network;
}

bool InputStatus::IsKorvaneCamera(bool korvane) const
{
    return korvane && m_type == RGB && m_number == 9;
}
