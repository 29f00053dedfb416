#include "model/projectormanager.h"

#include "model/connectionwindow.h"
#include "model/limits.h"
#include "model/projector.h"
#include "pjlink/pjlib.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Written while the settings load, read by the refresh and search threads.
std::atomic<int> s_port{0};

std::unique_ptr<ProjectorManager> s_instance;

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
        s_instance.reset(new ProjectorManager);
    return s_instance.get();
}

void ProjectorManager::DestroyInstance()
{
    if (s_instance)
        s_instance->DeleteSearchWorkers();
    s_instance.reset();
}

ProjectorManager::ProjectorManager() : m_root(std::make_unique<Group>(LoadString(STR_ROOT))) {}

ProjectorManager::~ProjectorManager()
{
    DeleteSearchWorkers();
    {
        std::lock_guard window(ConnectionLock());
        std::lock_guard registry(m_registryLock);
        m_projectors.clear();
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
    s_port.store(port);
}

int ProjectorManager::GetPort()
{
    return s_port.load();
}

void ProjectorManager::SetRecvTimeOut(int seconds)
{
    s_recvTimeOut.store(std::clamp(seconds, 1, 60));
    PJLSetRecvTimeOut(seconds);
}

const QString &ProjectorManager::KorvaneBrand()
{
    static const QString brand = u"korvane"_s;
    return brand;
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
    std::lock_guard window(ConnectionLock());
    std::unique_ptr<ProjectorNode> removed;
    {
        std::lock_guard registry(m_registryLock);
        ForgetProjectorsBelow(node);
        removed = node->GetParent()->RemoveChild(node);
    }
    removed.reset(); // destroyed while no connection window can be open
}

void ProjectorManager::ClearAll()
{
    std::lock_guard window(ConnectionLock());
    std::vector<std::unique_ptr<ProjectorNode>> removed;
    {
        std::lock_guard registry(m_registryLock);
        m_projectors.clear();
        while (m_root->HasChildren())
            removed.push_back(m_root->RemoveChild(m_root->GetChildren().front().get()));
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
    // Removal takes the connection lock too: registered now means alive until the window
    // closes. Nothing touches the projector before this check.
    std::unique_lock lock(ConnectionLock());
    if (!IsRegistered(projector))
        return nullptr;
    ConnectionWindow window(std::move(lock), *projector, direct ? 0 : 5);
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
    window.Close();

    // Outside the connection the error read answers from what was just stored.
    std::optional<ErrorStatus> worst;
    if (projector->GetWorstError(worst) != 0 || !worst)
        return nullptr;
    if (worst->GetLevel() == ErrorStatus::Error)
        return std::make_unique<ActionEvent>(projector->GetName(), LoadString(MSG_ERROR_OCCURRED),
                                             ActionEvent::Error);
    const bool lampLife =
        worst->GetCategory() == ErrorStatus::Lamp && Projector::IsKorvaneProjector(*projector);
    return std::make_unique<ActionEvent>(
        projector->GetName(), LoadString(lampLife ? MSG_LAMP_LIFE_ENDING : MSG_WARNING_OCCURRED),
        ActionEvent::Warning);
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
