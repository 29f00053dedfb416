#include "model/errorstatus.h"

#include "res/stringids.h"
#include "res/stringtable.h"

ErrorStatus::ErrorStatus(int category, int level)
    : m_category(category >= Fan && category <= Others ? category : UnknownCategory),
      m_level(level >= None && level <= Error ? level : UnknownLevel)
{}

QString ErrorStatus::GetText() const
{
    if (m_level == UnknownLevel || m_category == UnknownCategory)
        return QString();
    return LoadString(STR_ERROR_CATEGORY_BASE + m_category);
}
