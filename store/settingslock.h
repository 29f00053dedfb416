#pragma once

#include <QString>

// One writer of a settings file at a time, across processes: every change, from reading the
// file to renaming the new content over it, runs while a SettingsLock on the file is held. The
// lock is taken on FILE.lock beside the settings file. Within one process, locks on the same
// file nest: an inner lock shares the outer one, so a command that holds the lock can save
// through the document, which takes it again. User-interface thread (or one thread) only.
class SettingsLock
{
public:
    // How long a change waits for another program's change to end.
    static constexpr int DEFAULT_WAIT_MS = 30000;

    explicit SettingsLock(const QString &settingsPath, int waitMs = DEFAULT_WAIT_MS);
    ~SettingsLock();

    SettingsLock(const SettingsLock &) = delete;
    SettingsLock &operator=(const SettingsLock &) = delete;

    bool IsHeld() const { return m_held; }
    // When not held: a text for the user naming the settings file and the reason.
    const QString &GetError() const { return m_error; }

    static QString LockPathFor(const QString &settingsPath);

private:
    QString m_lockPath;
    QString m_error;
    bool m_held = false;
};
