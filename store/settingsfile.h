#pragma once

#include "store/preferences.h"

#include <QByteArray>
#include <QString>

#include <vector>

class Group;
class Projector;
class ProjectorManager;

namespace platform {
class ProfileFile;
}

// The settings file: INI-style 8-bit text, CR LF line ends, sections [Group], [Projector] and
// [Property]; names and paths hex-encoded, passwords scrambled (platform/settingscodec.h).
//
// Readers take a profile already read (platform::ProfileFile), so that any content, also from
// memory, goes through the same rules. Every reader is bounded: a file of any size or content
// loads in time roughly linear in its size.

// [Property], key by key in a fixed order, stopping with false at the first missing or invalid
// key; values read before it stay in prefs. After a valid Timeout the library is given the
// response wait time and the PJLink port.
bool ReadProperties(const platform::ProfileFile &profile, Preferences &prefs);

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

// The pieces of the file, appended to out. Groups in pre-order from the root, projectors in
// registration order, each section numbered from 1.
void WriteGroups(QByteArray &out, const Group &root);
void WriteProjectors(QByteArray &out, const std::vector<Projector *> &projectors);
void WriteProperties(QByteArray &out, const Preferences &prefs);

// The whole file: [Group], [Projector], then [Property].
QByteArray SettingsContent(const Group &root, const std::vector<Projector *> &projectors,
                           const Preferences &prefs);

// Results of WriteSettingsFile.
enum SettingsWriteResult {
    SettingsWritten = 0,
    SettingsAccessDenied = 1, // the file or its directory may not be written
    SettingsWriteFailed = 2   // anything else: missing directory, full disk, I/O error
};

// Replaces the file's whole content atomically: the content goes to a temporary file in the
// same directory, which is renamed over the old file only once it is complete, so a crash or a
// full disk leaves the old file as it was. The file is readable and writable by its owner only:
// it holds projector passwords.
int WriteSettingsFile(const QString &path, const QByteArray &content);

// Creates an empty settings file with owner-only permissions; false when it exists or cannot
// be created.
bool CreateEmptySettingsFile(const QString &path);

// For tests: called by WriteSettingsFile once the content is written and before it replaces
// the old file. nullptr: none.
void SetBeforeCommitHook(void (*hook)());
