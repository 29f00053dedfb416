#include "model/mutestatus.h"

#include "res/stringids.h"
#include "res/stringtable.h"

MuteStatus::MuteStatus(int code) : m_code(code >= Off && code <= VideoAndAudio ? code : Unknown) {}

QString MuteStatus::GetText() const
{
    return m_code == Unknown || m_code == Off ? QString() : LoadString(STR_MUTE_BASE + m_code);
}
