#pragma once

#include <QString>

// Power state of a projector as last read or as a command parameter.
class PowerStatus
{
public:
    enum Code { Unknown = -1, Off = 0, On = 1, Cooling = 2, WarmUp = 3 };

    PowerStatus() = default;
    explicit PowerStatus(int code); // a value outside the codes becomes Unknown

    int GetCode() const { return m_code; }
    QString GetText() const; // "Off", "On", "Cooling", "Warm up"; empty when unknown

private:
    int m_code = Unknown;
};
