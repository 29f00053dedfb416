// Feeds arbitrary bytes through the settings file loader into a fresh registry, then checks
// that what was kept stays within the limits and survives a write and a second load.

#include "model/group.h"
#include "model/limits.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "platform/profile.h"
#include "res/stringtable.h"
#include "store/settingsfile.h"
#include "tests/common/messagesinks.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <vector>

namespace {

int CountGroups(const Group &group)
{
    int count = 0;
    for (const Group *child : group.GetChildGroups())
        count += 1 + CountGroups(*child);
    return count;
}

using Identity = std::tuple<QString, QString, QString>;

std::vector<Identity> Identities(const std::vector<Projector *> &projectors)
{
    std::vector<Identity> identities;
    for (const Projector *projector : projectors)
        identities.emplace_back(projector->GetName(), projector->GetIPAddress(),
                                projector->GetPassword());
    return identities;
}

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

struct Loaded
{
    Preferences prefs;
    bool prefsValid = false;
    int groups = 0;
    std::vector<Identity> projectors;
    QByteArray written;
};

Loaded Load(ProjectorManager &manager, const QByteArray &content)
{
    manager.ClearAll();
    const platform::ProfileFile profile(content);
    Loaded loaded;
    loaded.prefsValid = ReadProperties(profile, loaded.prefs);
    ReadGroups(profile, manager);
    ReadProjectors(profile, manager);
    loaded.groups = CountGroups(*manager.GetRoot());
    loaded.projectors = Identities(manager.GetProjectors());
    loaded.written = SettingsContent(*manager.GetRoot(), manager.GetProjectors(), loaded.prefs);
    return loaded;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static SilentMessageSink sink;
    static const bool ready = [] {
        SetUserMessageSink(&sink);
        SetStringLanguage(StringLanguage::English);
        return true;
    }();
    (void)ready;

    ProjectorManager &manager = *ProjectorManager::GetInstance();
    const Loaded first =
        Load(manager, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    Check(first.groups <= MAX_LOADED_GROUPS);
    Check(first.projectors.size() <= std::size_t(MAX_PROJECTORS));

    // Groups are written parents first, so each finds its parent again; every projector line is
    // complete; the preferences written are always valid.
    const Loaded second = Load(manager, first.written);
    Check(second.prefsValid);
    Check(second.prefs.refreshInterval == first.prefs.refreshInterval &&
          second.prefs.timeout == first.prefs.timeout &&
          second.prefs.showInformation == first.prefs.showInformation &&
          second.prefs.displayOnlyError == first.prefs.displayOnlyError &&
          second.prefs.entryManagerDlg == first.prefs.entryManagerDlg);
    Check(second.groups == first.groups);
    Check(second.projectors == first.projectors);
    return 0;
}
