#pragma once

#include <QString>

#include <optional>

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
        Internal = 6,   // Class 2 only
        Unavailable = 9 // the projector cannot tell or switch its input now
    };
    // Class 1 numbers inputs 1 to 9; Class 2 goes on with A to Z (10 to 35).
    static constexpr int kMaxClass1Number = 9;
    static constexpr int kMaxNumber = 35;

    InputStatus() = default;
    InputStatus(int type, int number);

    // The same type and number.
    friend bool operator==(const InputStatus &, const InputStatus &) = default;

    int GetType() const { return m_type; }
    int GetNumber() const { return m_number; }
    void SetType(int type) { m_type = type; }

    // The type's name followed by the number ("RGB2", "DigitalA", "Internal1"); empty for an
    // unknown type and for a type without a name. korvane marks the maker's equipment, whose
    // RGB9 is its camera: the short text then reads "Camera", the long one "RGB9(Camera)".
    QString GetShortText(bool korvane) const;
    QString GetLongText(bool korvane) const;

    // An input only Class 2 can name: type 6, or a number written as a letter. Such an input is
    // read and switched with "%2" requests.
    bool NeedsClass2() const;

    // The number as PJLink writes it: "1".."9", then "A".."Z"; decimal beyond (never sent).
    static QString NumberText(int number);
    // "1".."9" and "A".."Z" (either case) as 1..35; none for anything else.
    static std::optional<int> NumberFromText(const QString &text);

private:
    bool HasTypeText() const;
    bool IsKorvaneCamera(bool korvane) const;
    QString TypeText() const;

    int m_type = Unknown;
    int m_number = -1;
};
