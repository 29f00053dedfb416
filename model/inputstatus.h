#pragma once

#include <QString>

// An input of a projector: the current one, a command parameter, or one of the inputs the
// projector offers.
class InputStatus
{
public:
    enum Type {
        Unknown = -1,
        RGB = 1,
        Video = 2,
        Digital = 3,
        Storage = 4,
        Network = 5,
        Unavailable = 9 // the projector cannot tell or switch its input now
    };

    InputStatus() = default;
    InputStatus(int type, int number);

    // The same type and number.
    friend bool operator==(const InputStatus &, const InputStatus &) = default;

    int GetType() const { return m_type; }
    int GetNumber() const { return m_number; }
    void SetType(int type) { m_type = type; }

    // The type's name followed by the number ("RGB2"); empty for an unknown type and for a
    // type without a name. korvane marks the maker's equipment, whose RGB9 is its camera:
    // the short text then reads "Camera", the long one "RGB9(Camera)".
    QString GetShortText(bool korvane) const;
    QString GetLongText(bool korvane) const;

private:
    bool HasTypeText() const;
    bool IsKorvaneCamera(bool korvane) const;

    int m_type = Unknown;
    int m_number = -1;
};
