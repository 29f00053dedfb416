#include "model/projectormanager.h"

#include "model/linkresult.h"
#include "pjlink/datagram.h"

#include "model/connectionwindow.h"
#include "model/limits.h"
#include "model/linkvalues.h"
#include "model/parallelwalk.h"
#include "model/projector.h"
#include "pjlink/pjlib.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// A plain pointer, not an owning static: the instance ends only by DestroyInstance, in order
// with the document, never among the static objects that exit() destroys, while a worker may
// still be using it.
ProjectorManager *s_instance = nullptr;

// Depth-first over the selection, groups through their children.
template <typename Visit> void ForEachProjector(const ProjectorNode *node, Visit &visit)
{
    if (node->IsProjector()) {
        visit(const_cast<Projector *>(static_cast<const Projector *>(node)));
        return;
    }
    for (const auto &child : node->GetChildren())
        ForEachProjector(child.get(), visit);
}

} // namespace

ProjectorManager *ProjectorManager::GetInstance()
{
    if (!s_instance)
        s_instance = new ProjectorManager;
    return s_instance;
}

void ProjectorManager::DestroyInstance()
{
    if (s_instance)
        s_instance->DeleteSearchWorkers();
    delete std::exchange(s_instance, nullptr);
}

ProjectorManager::ProjectorManager() : m_root(std::make_unique<Group>(LoadString(STR_ROOT))) {}

// Every worker has ended by now (the refresh worker is joined before the document goes), so
// no lease is left.
ProjectorManager::~ProjectorManager()
{
    DeleteSearchWorkers();
    {
        std::lock_guard registry(m_registryLock);
        m_projectors.clear();
        m_retired.clear();
        m_root.reset(); // each projector closes an open connection
    }
    PJLDestroy();
}

int ProjectorManager::InitProjectors()
{
    return PJLInit();
}

void ProjectorManager::SetPort(int port)
{
    SetLinkPort(port);
}

int ProjectorManager::GetPort()
{
    return GetLinkPort();
}

void ProjectorManager::SetRecvTimeOut(int seconds)
{
    SetLinkRecvTimeOut(seconds);
    PJLSetRecvTimeOut(seconds);
}

int ProjectorManager::GetRecvTimeOut()
{
    return GetLinkRecvTimeOut();
}

const QString &ProjectorManager::KorvaneBrand()
{
    return KorvaneBrandName();
}

std::vector<Projector *> ProjectorManager::GetProjectors() const
{
    std::lock_guard guard(m_registryLock);
    return m_projectors;
}

int ProjectorManager::GetProjectorCount() const
{
    std::lock_guard guard(m_registryLock);
    return int(m_projectors.size());
}

bool ProjectorManager::IsRegistered(const Projector *projector) const
{
    std::lock_guard guard(m_registryLock);
    return std::find(m_projectors.begin(), m_projectors.end(), projector) != m_projectors.end();
}

ProjectorManager::ProjectorLease ProjectorManager::Lease(Projector *projector)
{
    std::lock_guard guard(m_registryLock);
    if (std::find(m_projectors.begin(), m_projectors.end(), projector) == m_projectors.end())
        return {};
    ++m_leases[projector];
    return ProjectorLease(this, projector);
}

ProjectorManager::ProjectorLease::ProjectorLease(ProjectorLease &&other) noexcept
    : m_manager(std::exchange(other.m_manager, nullptr)),
      m_projector(std::exchange(other.m_projector, nullptr))
{}

ProjectorManager::ProjectorLease &
ProjectorManager::ProjectorLease::operator=(ProjectorLease &&other) noexcept
{
    if (this != &other) {
        if (m_projector)
            m_manager->EndLease(m_projector);
        m_manager = std::exchange(other.m_manager, nullptr);
        m_projector = std::exchange(other.m_projector, nullptr);
    }
    return *this;
}

ProjectorManager::ProjectorLease::~ProjectorLease()
{
    if (m_projector)
        m_manager->EndLease(m_projector);
}

void ProjectorManager::EndLease(Projector *projector)
{
    std::vector<std::unique_ptr<ProjectorNode>> unused;
    {
        std::lock_guard guard(m_registryLock);
        const auto lease = m_leases.find(projector);
        if (lease != m_leases.end() && --lease->second == 0)
            m_leases.erase(lease);
        for (auto it = m_retired.begin(); it != m_retired.end();) {
            if (AnyLeasedBelow(it->get())) {
                ++it;
                continue;
            }
            unused.push_back(std::move(*it));
            it = m_retired.erase(it);
        }
    }
    unused.clear(); // destroyed outside the lock
}

bool ProjectorManager::AnyLeasedBelow(const ProjectorNode *node) const
{
    bool leased = false;
    auto check = [&](Projector *projector) { leased = leased || m_leases.count(projector) > 0; };
    ForEachProjector(node, check);
    return leased;
}

std::unique_ptr<ProjectorNode>
ProjectorManager::RetireIfLeased(std::unique_ptr<ProjectorNode> removed)
{
    if (removed && AnyLeasedBelow(removed.get())) {
        m_retired.push_back(std::move(removed));
        return nullptr;
    }
    return removed;
}

Projector *ProjectorManager::AddProjector(std::unique_ptr<Projector> projector)
{
    if (!projector || GetProjectorCount() >= MAX_PROJECTORS)
        return nullptr;
    Projector *placed = m_root->PlaceLoadedProjector(std::move(projector));
    std::lock_guard guard(m_registryLock);
    m_projectors.push_back(placed);
    return placed;
}

Group *ProjectorManager::AddGroup(std::unique_ptr<Group> group)
{
    return m_root->PlaceLoadedGroup(std::move(group));
}

Group *ProjectorManager::AddGroupTo(Group *parent, std::unique_ptr<Group> group)
{
    return static_cast<Group *>(parent->AddChild(std::move(group)));
}

void ProjectorManager::ForgetProjectorsBelow(const ProjectorNode *node)
{
    auto forget = [this](Projector *projector) {
        m_projectors.erase(std::remove(m_projectors.begin(), m_projectors.end(), projector),
                           m_projectors.end());
    };
    ForEachProjector(node, forget);
}

void ProjectorManager::RemoveNode(ProjectorNode *node)
{
    if (!node || node == m_root.get() || !node->GetParent())
        return;
    std::unique_ptr<ProjectorNode> removed;
    {
        std::lock_guard registry(m_registryLock);
        ForgetProjectorsBelow(node);
        removed = RetireIfLeased(node->GetParent()->RemoveChild(node));
    }
    removed.reset(); // outside the lock; no lease is left on it
}

void ProjectorManager::ClearAll()
{
    std::vector<std::unique_ptr<ProjectorNode>> removed;
    {
        std::lock_guard registry(m_registryLock);
        m_projectors.clear();
        while (m_root->HasChildren()) {
            if (auto unused =
                    RetireIfLeased(m_root->RemoveChild(m_root->GetChildren().front().get())))
                removed.push_back(std::move(unused));
        }
    }
    removed.clear();
}

bool ProjectorManager::IsIPRegistered(const QString &ipAddress) const
{
    std::lock_guard guard(m_registryLock);
    return std::any_of(m_projectors.begin(), m_projectors.end(),
                       [&](const Projector *p) { return p->GetIPAddress() == ipAddress; });
}

int ProjectorManager::CountProjectors(const std::vector<ProjectorNode *> &selection)
{
    int count = 0;
    auto countOne = [&count](Projector *) { ++count; };
    for (const ProjectorNode *node : selection)
        ForEachProjector(node, countOne);
    return count;
}

bool ProjectorManager::AnyKorvaneReachable(const std::vector<ProjectorNode *> &selection)
{
    bool found = false;
    auto check = [&found](Projector *projector) {
        found = found || (projector->IsReachable() && Projector::IsKorvaneProjector(*projector));
    };
    for (const ProjectorNode *node : selection)
        ForEachProjector(node, check);
    return found;
}

std::unique_ptr<ActionEvent> ProjectorManager::UpdateStatus(Projector *projector, bool direct)
{
    // Nothing touches the projector before the lease: a removed one is only compared.
    const ProjectorLease lease = Lease(projector);
    if (!lease)
        return nullptr;
    ConnectionWindow window(*projector, direct ? 0 : 5);
    if (!projector->IsReachable()) {
        window.Close();
        return std::make_unique<ActionEvent>(projector->GetName(),
                                             u"Connection Failed: %1,%2"_s.arg(window.GetResult())
                                                 .arg(projector->GetLastSocketError()),
                                             ActionEvent::Debug);
    }

    // Each read stores its own result code; a failed read does not stop the others.
    PowerStatus power;
    InputStatus input;
    MuteStatus mute;
    std::vector<InputStatus> inputs;
    std::vector<ErrorStatus> errors;
    std::vector<LampStatus> lamps;
    QString manufacturer;
    projector->GetPowerStatus(power);
    projector->GetAvailableInputList(inputs);
    projector->GetInput(input);
    projector->GetMuteStatus(mute);
    projector->GetErrorStatus(errors);
    projector->GetManufacturer(manufacturer);
    projector->GetLampStatus(lamps);
    // Class 2 values; nothing more is asked of a Class 1 projector once its class is known.
    projector->ReadClass2Status(false);
    window.Close();

    return WorstErrorEvent(*projector);
}

std::unique_ptr<ActionEvent> ProjectorManager::WorstErrorEvent(Projector &projector)
{
    Projector *const p = &projector;
    // Outside the connection the error read answers from what was just stored.
    std::optional<ErrorStatus> worst;
    if (p->GetWorstError(worst) != LinkResult::Ok || !worst)
        return nullptr;
    if (worst->GetLevel() == ErrorStatus::Error)
        return std::make_unique<ActionEvent>(p->GetName(), LoadString(MSG_ERROR_OCCURRED),
                                             ActionEvent::Error);
    const bool lampLife =
        worst->GetCategory() == ErrorStatus::Lamp && Projector::IsKorvaneProjector(*p);
    return std::make_unique<ActionEvent>(
        p->GetName(), LoadString(lampLife ? MSG_LAMP_LIFE_ENDING : MSG_WARNING_OCCURRED),
        ActionEvent::Warning);
}

ProjectorManager::NotificationOutcome
ProjectorManager::ApplyNotification(const QString &address, const pjlink::Datagram &notification)
{
    NotificationOutcome outcome;
    // Found and leased under the registry lock: a projector being removed is never touched.
    Projector *found = nullptr;
    ProjectorLease lease;
    {
        std::lock_guard guard(m_registryLock);
        const auto it =
            std::find_if(m_projectors.begin(), m_projectors.end(),
                         [&](const Projector *p) { return p->GetIPAddress() == address; });
        if (it == m_projectors.end())
            return outcome;
        found = *it;
        ++m_leases[found];
        lease = ProjectorLease(this, found);
    }
    outcome.registered = true;
    outcome.name = found->GetName();
    outcome.changed = found->ApplyNotification(notification);
    if (notification.kind == pjlink::Datagram::Errors)
        outcome.event = WorstErrorEvent(*found);
    return outcome;
}

void ProjectorManager::UpdateStatuses(const std::vector<Projector *> &projectors, bool direct,
                                      const EventSink &sink)
{
    std::vector<std::unique_ptr<ActionEvent>> events(projectors.size());
    RunInParallel(
        int(projectors.size()),
        [&](int i) { events[size_t(i)] = UpdateStatus(projectors[size_t(i)], direct); },
        [&](int i) {
            if (events[size_t(i)])
                sink(std::move(events[size_t(i)]));
        });
}

void ProjectorManager::SetRunning(bool running)
{
    std::lock_guard guard(m_flagLock);
    m_running = running;
}

bool ProjectorManager::IsRunning() const
{
    std::lock_guard guard(m_flagLock);
    return m_running;
}

void ProjectorManager::DeleteSearchWorkers()
{
    for (std::thread &worker : m_searchWorkers)
        if (worker.joinable())
            worker.join();
    m_searchWorkers.clear();
}
