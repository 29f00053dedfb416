#include "model/lampstatus.h"

LampStatus::LampStatus(int on, int hours)
    : m_on(on >= Off && on <= Lit ? on : Unknown), m_hours(hours)
{}
