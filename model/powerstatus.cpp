#include "model/powerstatus.h"

#include "res/stringids.h"
#include "res/stringtable.h"

PowerStatus::PowerStatus(int code) : m_code(code >= Off && code <= WarmUp ? code : Unknown) {}

QString PowerStatus::GetText() const
{
    return m_code == Unknown ? QString() : LoadString(STR_POWER_BASE + m_code);
}
