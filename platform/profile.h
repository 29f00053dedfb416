#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace platform {

// An INI-style file read once and then looked up many times, with the rules of the classic
// private-profile reader: section and key names match without regard to case, the first
// matching key of the first matching section wins, blanks (spaces, tabs) around a value are
// dropped, a missing key yields the default, and a value is cut to MAX_VALUE_LENGTH.
// The file is 8-bit text decoded as UTF-8 (invalid bytes become U+FFFD); lines end with
// CR LF, LF or CR. Any content loads in time and memory linear in its size.
class ProfileFile
{
public:
    static constexpr qsizetype MAX_VALUE_LENGTH = 4095;

    ProfileFile() = default;
    explicit ProfileFile(const QByteArray &content);

    // Replaces the content with the file's. A file that cannot be read leaves the profile
    // empty, so that every lookup yields its default, and returns false.
    bool Load(const QString &path);

    QString GetString(QStringView section, QStringView key, const QString &defaultValue) const;
    // Whether a header of that name (matched without regard to case) is in the file.
    bool HasSection(QStringView section) const;

private:
    void Parse();

    // m_text is the decoded file; m_folded the same text lower-cased unit by unit, so that
    // both share every offset. The indexes hold views into them and stay valid while the
    // strings live, also across copies and moves (the string data is shared, never changed).
    QString m_text;
    QString m_folded;
    // Section name -> its keys; a key without '=' has no value and yields the default.
    std::vector<QHash<QStringView, std::optional<QStringView>>> m_sections;
    QHash<QStringView, qsizetype> m_sectionIndex;
};

// One lookup in one file, read for this call only.
QString GetProfileString(const QString &file, QStringView section, QStringView key,
                         const QString &defaultValue);

} // namespace platform
