#pragma once

// One lamp of a projector: lit or not, and its hours as the projector reports them.
class LampStatus
{
public:
    enum On { Unknown = -1, Off = 0, Lit = 1 };

    LampStatus() = default;
    LampStatus(int on, int hours); // an on value outside the codes becomes Unknown

    int GetOn() const { return m_on; }
    int GetHours() const { return m_hours; }

private:
    int m_on = Unknown;
    int m_hours = 0;
};
