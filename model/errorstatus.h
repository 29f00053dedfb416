#pragma once

#include <QString>

// One category of a projector's error status.
class ErrorStatus
{
public:
    enum Category {
        UnknownCategory = -1,
        Fan = 0,
        Lamp = 1,
        Temperature = 2,
        CoverOpen = 3,
        Filter = 4,
        Others = 5
    };
    enum Level { UnknownLevel = -1, None = 0, Warning = 1, Error = 2 };

    ErrorStatus() = default;
    // Values outside the categories or levels become unknown.
    ErrorStatus(int category, int level);

    int GetCategory() const { return m_category; }
    int GetLevel() const { return m_level; }
    // The category's name ("Fan" ... "Others"), at level None too; empty when the level or
    // the category is unknown.
    QString GetText() const;

private:
    int m_category = UnknownCategory;
    int m_level = UnknownLevel;
};
