#pragma once

#include "model/schedule.h"
#include "store/preferences.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

class Group;
class Projector;
class ProjectorManager;

namespace platform {
class ProfileFile;
}

// The settings file: INI-style 8-bit text, CR LF line ends, sections [Group], [Projector] and
// [Property]; names and paths hex-encoded, passwords scrambled (platform/settingscodec.h).
// [Schedule] follows [Property] only when there are schedules, so a file without schedules
// is written byte for byte as before they existed.
//
// Readers take a profile already read (platform::ProfileFile), so that any content, also from
// memory, goes through the same rules. Every reader is bounded: a file of any size or content
// loads in time roughly linear in its size.

// [Property], key by key in a fixed order, stopping with false at the first missing or invalid
// key; values read before it stay in prefs. The library is not told: the caller decides
// whether the values read take effect (ApplyLibrarySettings).
bool ReadProperties(const platform::ProfileFile &profile, Preferences &prefs);

// Whether content can be a settings file: empty, or holding at least one of the sections
// [Group], [Projector] and [Property] (names matched as the reader matches them). Anything else
// is some other file given by mistake, and is neither loaded nor ever written over.
bool IsSettingsContent(const QByteArray &content);
// Whether the file at path may be read and written as a settings file: missing, empty, or
// settings content. A file that exists but cannot be read is not.
bool IsSettingsFileOrMissing(const QString &path);
// What the user is told about such a file.
QString NotSettingsFileMessage(const QString &path);

// Hands the response wait time and the PJLink port (4352, never stored) to the library.
void ApplyLibrarySettings(const Preferences &prefs);

// [Group] keys 1, 2, ... up to the first empty value, each placed by its stored path; a group
// whose parent does not exist and a line with too few fields are dropped. Reading stops after
// MAX_LOADED_GROUPS groups.
void ReadGroups(const platform::ProfileFile &profile, ProjectorManager &manager);
inline constexpr int MAX_LOADED_GROUPS = 1000;

// [Projector] keys 1, 2, ... up to the first empty value; a line with too few fields, or with
// an address the file could not hold, is dropped. Returns false when the registry was full and
// reading stopped there.
bool ReadProjectors(const platform::ProfileFile &profile, ProjectorManager &manager);

// [Schedule] keys 1, 2, ... up to the first empty value; a line that does not read as a
// schedule, or whose name an earlier line has, is dropped. Reading stops after MAX_SCHEDULES.
std::vector<Schedule> ReadSchedules(const platform::ProfileFile &profile);
inline constexpr int MAX_SCHEDULES = 1000;

// The pieces of the file, appended to out. Groups in pre-order from the root, projectors in
// registration order, each section numbered from 1.
void WriteGroups(QByteArray &out, const Group &root);
void WriteProjectors(QByteArray &out, const std::vector<Projector *> &projectors);
void WriteProperties(QByteArray &out, const Preferences &prefs);
// Nothing at all without schedules.
void WriteSchedules(QByteArray &out, const std::vector<Schedule> &schedules);

// The whole file: [Group], [Projector], [Property], then [Schedule] when there are schedules.
QByteArray SettingsContent(const Group &root, const std::vector<Projector *> &projectors,
                           const Preferences &prefs, const std::vector<Schedule> &schedules = {});

// Why WriteSettingsFile did not write.
struct SettingsWriteError
{
    enum class Kind {
        AccessDenied,   // the file or its directory may not be written
        WriteFailed,    // anything else: missing directory, full disk, I/O error
        NotSettingsFile // the target holds something else and is left alone
    };
    Kind kind = Kind::WriteFailed;
    QString reason; // the system's reason, for WriteFailed; may be empty
};

// What WriteSettingsFile answers: written, or the error, in one value.
class [[nodiscard]] SettingsWriteResult
{
public:
    SettingsWriteResult() = default; // written
    SettingsWriteResult(SettingsWriteError error) : m_error(std::move(error)) {}

    bool IsWritten() const { return !m_error.has_value(); }
    // Only for a result that is not written.
    const SettingsWriteError &GetError() const;

private:
    std::optional<SettingsWriteError> m_error;
};

// Replaces the file's whole content atomically: the content goes to a temporary file in the
// same directory, every write and the flush are checked, and only a complete file is renamed
// over the old one; on any failure the temporary file is removed and the old file stays as it
// was, also after a crash or on a full disk. The file is readable and writable by its owner
// only: it holds projector passwords. The caller holds the file's SettingsLock
// (store/settingslock.h).
SettingsWriteResult WriteSettingsFile(const QString &path, const QByteArray &content);

// WriteSettingsFile, holding the file's SettingsLock when lock is set, with every failure told
// to the user: the save-failure messages, naming the file and the system's reason. Whether the
// file was written.
bool SaveSettingsContent(const QString &path, const QByteArray &content, bool lock);

// Creates an empty settings file with owner-only permissions; false when it exists or cannot
// be created.
bool CreateEmptySettingsFile(const QString &path);

// For tests: called by WriteSettingsFile once the content is written and before it replaces
// the old file. nullptr: none.
void SetBeforeCommitHook(void (*hook)());
