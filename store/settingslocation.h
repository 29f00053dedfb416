#pragma once

#include <QString>

// Where the settings file of the executable at executablePath lives, given the user's
// configuration directory (XDG_CONFIG_HOME, else ~/.config). Called once at start.
//
// 1. The file named like the executable without extension in the configuration directory may
//    name the settings file: key "file" of section "Profile". A non-empty value is the settings
//    path, used unchanged; the working directory stays as it is.
// 2. Otherwise the file is the executable's base name with ".ini" beside the executable, and
//    the executable's directory becomes the working directory.
// 3. When that directory cannot hold the file (a system-wide install), or is a system program
//    directory such as /usr/bin (a package's install, also when root runs it), the file is
//    <configuration directory>/<base name>/<base name>.ini instead: the directory is created
//    and becomes the working directory, and a settings file beside the executable, if there is
//    one, is copied there the first time, as the starting point.
QString ResolveSettingsPathFor(const QString &executablePath, const QString &configDir);

// The event log of the register kept in the settings file at settingsPath: "event.log" in the
// same directory, however that file was chosen. Every program that logs a register's events
// writes them here (ActionEventManager::SetLogFileFor), never into its working directory.
// Empty for an empty settingsPath: no register, no log.
QString EventLogPathFor(const QString &settingsPath);
