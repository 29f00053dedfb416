#pragma once

#include "model/inputstatus.h"
#include "model/mutestatus.h"
#include "model/powerstatus.h"
#include "model/commandoutcome.h"
#include "model/schedule.h"
#include "store/preferences.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ActionEvent;
class ActionEventManager;
class Group;
class Projector;
class ProjectorManager;
class ProjectorNode;

namespace platform {
class ProfileFile;
}

// The one document: the settings file with the five preferences, and the operations on the
// registry that the main view and the dialogs call. It owns nothing of the registry, but its
// lifetime frames the two single instances: it creates the projector manager and the event
// manager and destroys them, in that order, at its end.
//
// Everything runs on the user-interface thread except RefreshProjector and RefreshProjectors,
// which the refresh worker calls too, and the commands, which the main view runs on a worker.
// The document talks to no projector itself: refreshes go through the projector manager and
// commands through the fan-out (model/commandfanout.h), and their events come back here to be
// logged. Saving reads the registry and the published states only, so it never waits for a
// connection.
class CVantelDoc
{
public:
    // ReadWrite: a missing settings file is created and one whose [Property] section is missing
    // or invalid is repaired (the original kept as FILE.bak first), while the file's
    // SettingsLock is held. ReadOnly: the settings file is read when it is there, and never
    // created, repaired or written. WriteOnChange: as ReadWrite, except that a missing file is
    // neither created nor repaired when it is read; the first SaveSettings writes it, so a
    // change that is refused leaves no file behind.
    enum class Access { ReadWrite, ReadOnly, WriteOnChange };

    // settingsPath empty: resolved from the running executable (see store/settingslocation.h),
    // which may change the working directory. A file that is not a settings file (see
    // IsSettingsContent) is refused, told to the user, and never written; the document then
    // starts empty. Message 300 when no projector is registered.
    explicit CVantelDoc(const QString &settingsPath = QString(), Access access = Access::ReadWrite);
    ~CVantelDoc(); // destroys the projector manager, then the event manager

    CVantelDoc(const CVantelDoc &) = delete;
    CVantelDoc &operator=(const CVantelDoc &) = delete;

    // The settings path of the running executable; also makes it the profile path.
    QString ResolveSettingsPath();

    const QString &GetSettingsPath() const { return m_settingsPath; }
    // The settings file held something else and was neither loaded nor will be written.
    bool IsSettingsFileRefused() const { return m_refused; }
    // Reads the settings file again, replacing the registry and the preferences: for a caller
    // that prepared a change without the file's SettingsLock and now holds it. Every node of
    // the registry before is destroyed. False when the file is refused now (told).
    bool Reload();
    // The file a plain Save writes: the settings path, except after Open or Save As until the
    // next SaveSettings.
    const QString &GetCurrentFile() const { return m_currentFile; }

    // Readers of the profile path (the settings path, or the file Open is reading).
    bool LoadProperties(); // true when [Property] is complete and valid
    void LoadGroups();
    void LoadProjectors(); // message 314 when the registry is full; the rest is ignored

    // Writes the whole state to the settings file, which becomes the current file again.
    // A failure is told to the user; nothing in memory changes.
    bool SaveSettings();

    // File menu. Each returns whether it succeeded; failures are told to the user.
    // Open imports the registry and the preferences of another file, which becomes the current
    // file; an empty file changes nothing, one with an invalid [Property] section gives
    // message 343 and leaves the registry as it is. beforeReplace runs right before the old
    // registry's nodes are destroyed, only when they are.
    bool Open(const QString &path, const std::function<void()> &beforeReplace = {});
    bool SaveAs(const QString &path); // a copy; the settings file is not touched
    bool Save();                      // to the current file
    bool New();                       // keeps everything as it is

    // The preferences. Setters do not save; the caller calls SaveSettings. The two times are
    // kept within 1..10 (outside: 5). The response wait time reaches the library only when the
    // settings are next loaded.
    int GetRefreshInterval() const { return m_prefs.refreshInterval; }
    void SetRefreshInterval(int minutes);
    int GetTimeout() const { return m_prefs.timeout; }
    void SetTimeout(int seconds);
    bool GetShowInformation() const { return m_prefs.showInformation; }
    void SetShowInformation(bool show) { m_prefs.showInformation = show; }
    bool GetDisplayOnlyError() const { return m_prefs.displayOnlyError; }
    void SetDisplayOnlyError(bool errorsOnly) { m_prefs.displayOnlyError = errorsOnly; }
    bool GetEntryManagerDlg() const { return m_prefs.entryManagerDlg; }
    void SetEntryManagerDlg(bool value) { m_prefs.entryManagerDlg = value; }

    // The register's schedules, in the order they were added. The setter does not save; the
    // caller calls SaveSettings. Open replaces them with the other file's, Save As writes them.
    const std::vector<Schedule> &GetSchedules() const { return m_schedules; }
    void SetSchedules(std::vector<Schedule> schedules) { m_schedules = std::move(schedules); }

    std::vector<Projector *> GetProjectors() const; // registration order
    Group *GetRoot() const;

    // Reads the whole state of one projector and logs what is worth logging. direct: connect on
    // the calling thread, else on a short-lived thread. Any thread; refreshes of one projector
    // wait for each other (its window lock). A projector no longer registered is left alone.
    void RefreshProjector(Projector *projector, bool direct);
    // RefreshProjector for each of the list, up to MAX_PARALLEL_CONNECTIONS at once; the events
    // are logged in list order, as one by one. The refresh cycle and lumarinctl's status use it.
    void RefreshProjectors(const std::vector<Projector *> &projectors, bool direct);

    // Commands to a selection through the fan-out (model/commandfanout.h, SendToSelection),
    // each accepted command logged. Returns how many projectors were reached; the caller tells
    // the user when it is 0.
    int SendPower(const std::vector<ProjectorNode *> &selection, std::vector<Projector *> &touched,
                  PowerStatus power, std::vector<ProjectorOutcome> *outcomes = nullptr);
    // Only projectors that offer the input are counted.
    int SendInput(const std::vector<ProjectorNode *> &selection, std::vector<Projector *> &touched,
                  InputStatus input, std::vector<ProjectorOutcome> *outcomes = nullptr);
    // A mute without a kind (video, audio or both) is sent nowhere and reaches no projector.
    int SendMute(const std::vector<ProjectorNode *> &selection, std::vector<Projector *> &touched,
                 MuteStatus mute, bool on, std::vector<ProjectorOutcome> *outcomes = nullptr);

    // Freeze on or off (Class 2); a Class 1 projector refuses it (ERR1).
    int SendFreeze(const std::vector<ProjectorNode *> &selection, std::vector<Projector *> &touched,
                   bool on, std::vector<ProjectorOutcome> *outcomes = nullptr);

    // A schedule's action (ActionCommand), as the commands above; power on with input waits
    // up to warmUpLimit for each projector.
    int SendAction(const std::vector<ProjectorNode *> &selection, std::vector<Projector *> &touched,
                   const ScheduleAction &action, std::chrono::seconds warmUpLimit,
                   std::vector<ProjectorOutcome> *outcomes = nullptr);

    // Reads power, input and mute of each touched projector again (RequeryStatuses); nothing
    // is logged.
    void RequeryStatus(const std::vector<Projector *> &touched);

private:
    void LoadProjectorsFrom(const platform::ProfileFile &profile);
    void LoadSettingsFile();
    bool WriteFile(const QString &path);

    Preferences m_prefs;
    std::vector<Schedule> m_schedules;
    QString m_settingsPath;
    QString m_currentFile;
    QString m_profilePath; // the file the loaders read
    bool m_readOnly = false;
    bool m_createOnSave = false; // Access::WriteOnChange
    bool m_refused = false;
    ProjectorManager *m_manager = nullptr;
    ActionEventManager *m_events = nullptr;
};
