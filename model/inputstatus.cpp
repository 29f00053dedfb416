#include "model/inputstatus.h"

#include "res/stringids.h"
#include "res/stringtable.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace {} // namespace

InputStatus::InputStatus(int type, int number) : m_type(type), m_number(number) {}

QString InputStatus::GetShortText(bool korvane) const
{
    if (!HasTypeText())
        return QString();
    if (IsKorvaneCamera(korvane))
        return LoadString(STR_CAMERA);
    return LoadString(STR_INPUT_TYPE_BASE + m_type) + QString::number(m_number);
}

QString InputStatus::GetLongText(bool korvane) const
{
    if (!HasTypeText())
        return QString();
    const QString camera =
        IsKorvaneCamera(korvane) ? u'(' + LoadString(STR_CAMERA) + u')' : QString();
    return LoadString(STR_INPUT_TYPE_BASE + m_type) +
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
