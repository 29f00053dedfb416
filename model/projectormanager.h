#pragma once

#include "model/actionevent.h"
#include "model/group.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

class NotificationListener;
class Projector;
class ProjectorNode;
namespace pjlink {
struct Datagram;
}

// The one owner of the registry: the root group with the whole tree under it, the list of all
// projectors in registration order, and the state of the automatic search. Also starts and
// stops the PJLink library and holds the process-wide PJLink values.
//
// The tree and the list are changed on the user-interface thread only. The list is guarded by
// the registry lock, so the refresh worker and the search workers may read it (through
// GetProjectors, IsRegistered and IsIPRegistered) while the user-interface thread appends.
// Workers use a projector only under a lease (Lease), so a projector removed while a worker has
// a connection window open on it goes away when the window is over; see model/connectionwindow.h.
class ProjectorManager
{
public:
    // Keeps a registered projector alive while a worker uses it; empty when the projector was
    // not registered. Move-only; the lease ends with the object.
    class ProjectorLease
    {
    public:
        ProjectorLease() = default;
        ProjectorLease(ProjectorLease &&other) noexcept;
        ProjectorLease &operator=(ProjectorLease &&other) noexcept;
        ~ProjectorLease();
        explicit operator bool() const { return m_projector != nullptr; }
        Projector *Get() const { return m_projector; }

    private:
        friend class ProjectorManager;
        ProjectorLease(ProjectorManager *manager, Projector *projector)
            : m_manager(manager), m_projector(projector)
        {}
        ProjectorManager *m_manager = nullptr;
        Projector *m_projector = nullptr;
    };

    // The process-wide instance, created on first use; DestroyInstance ends it in order
    // (search workers, tree, library). Both on the user-interface thread.
    static ProjectorManager *GetInstance();
    static void DestroyInstance();

    // PJLInit; its result. PJLDestroy happens when the instance is destroyed.
    static int InitProjectors();

    // The PJLink TCP port: 0 until the settings are loaded, then 4352. Any thread may read it.
    // Kept in model/linkvalues.h, where the projectors read it.
    static void SetPort(int port);
    static int GetPort();
    // How long every connection waits for an answer, in seconds (the library's too).
    static void SetRecvTimeOut(int seconds);
    // The maker whose equipment names its RGB9 input "Camera" (lower case).
    static const QString &KorvaneBrand();

    Group *GetRoot() { return m_root.get(); }
    // A copy of the list of all projectors, in registration order; safe from any thread.
    std::vector<Projector *> GetProjectors() const;
    int GetProjectorCount() const;
    // Whether the projector is still in the registry; safe from any thread.
    bool IsRegistered(const Projector *projector) const;
    // A lease on the projector when it is registered (the pointer is only compared before);
    // any thread.
    ProjectorLease Lease(Projector *projector);

    // Places the projector by its stored group path and appends it to the list; nullptr (and
    // the projector destroyed, nothing else changed) when MAX_PROJECTORS are registered.
    Projector *AddProjector(std::unique_ptr<Projector> projector);
    // A loaded group, placed by its stored path; nullptr when its parent does not exist.
    Group *AddGroup(std::unique_ptr<Group> group);
    // A new group below parent.
    Group *AddGroupTo(Group *parent, std::unique_ptr<Group> group);
    // Destroys the node with its subtree; its projectors leave the list. A subtree with a
    // leased projector is destroyed when its last lease ends; this never waits for one.
    void RemoveNode(ProjectorNode *node);
    // Destroys every group and projector below the root, as RemoveNode does.
    void ClearAll();

    // Exact comparison; safe from any thread.
    bool IsIPRegistered(const QString &ipAddress) const;
    // Projectors in the selection, groups counted by the projectors below them.
    static int CountProjectors(const std::vector<ProjectorNode *> &selection);
    // A reachable projector of the maker anywhere in the selection, through groups.
    static bool AnyKorvaneReachable(const std::vector<ProjectorNode *> &selection);

    // Refreshes one projector in a connection window of its own and returns the event worth
    // logging, if any. direct: connect on the calling thread, else on a short-lived thread. A
    // projector removed from the registry meanwhile is left alone (nullptr).
    std::unique_ptr<ActionEvent> UpdateStatus(Projector *projector, bool direct);
    // UpdateStatus for each projector of the list, up to MAX_PARALLEL_CONNECTIONS at once
    // (model/parallelwalk.h); the events reach sink in list order, as one by one. Returns when
    // every projector is done.
    using EventSink = std::function<void(std::unique_ptr<ActionEvent>)>;
    void UpdateStatuses(const std::vector<Projector *> &projectors, bool direct,
                        const EventSink &sink);

    // A status notification received from address (host order): the registered projector there
    // takes the value at once (Projector::ApplyNotification). Any thread.
    struct NotificationOutcome
    {
        bool registered = false; // a projector of the register has that address
        bool changed = false;    // a value it shows changed
        QString name;
        std::unique_ptr<ActionEvent> event; // a warning or error, as a refresh would log it
    };
    NotificationOutcome ApplyNotification(const QString &address,
                                          const pjlink::Datagram &notification);

    // The listener that owns the controller's UDP port in this process, or nullptr; a broadcast
    // search goes through it while it runs. Set and cleared on the user-interface thread while
    // no search runs.
    void SetListener(NotificationListener *listener) { m_listener.store(listener); }
    NotificationListener *GetListener() const { return m_listener.load(); }
    // How long Search also collects answers to a broadcast search; 0 (the default) searches
    // without one. Set while no search runs.
    void SetBroadcastWait(std::chrono::milliseconds wait) { m_broadcastWait = wait; }
    // What the last search's broadcast came to: 0, or BroadcastSearch's code (EADDRINUSE when
    // another process has the controller's UDP port); -1 when none was sent.
    int GetBroadcastResult() const { return m_broadcastResult.load(); }

    // Search control. The searching flag is raised by BeginSearch (or Search) and lowered by
    // the search thread when its last probe has ended; the user-interface thread only polls it.
    bool IsSearching() const { return m_searching.load(); }
    void SetRunning(bool running);
    bool IsRunning() const;
    void StopSearch() { SetRunning(false); }
    void DeleteSearchWorkers();

    // Automatic search (model/automaticsearch.cpp). One probe thread per address: echo check,
    // TCP check, then a connection window on a new candidate; the candidates connect side by
    // side, each on its own connection.
    using SearchResults = std::vector<std::unique_ptr<Projector>>;
    static constexpr int MAX_SEARCH_WORKERS = 64; // probe threads alive at once, at most

    // Raises the searching and running flags, on the caller's thread before it starts the
    // thread that runs Search: IsSearching is then true from the first poll, and a StopSearch
    // that comes before the search thread gets going still counts.
    void BeginSearch();
    // The whole search, on a thread of its own: begins it unless BeginSearch did, sends a
    // broadcast search when a broadcast wait is set (model/notificationlistener.h) and probes
    // every local network (a network larger than a /16 only in the /16 around the adapter's own
    // address, see model/automaticsearch.h), and returns when every probe it started has ended.
    // Candidates are appended to results, which the caller owns and reads only after Search
    // has returned; results then stand in address order.
    void Search(SearchResults &results);
    // Appends first and last address of each local network to starts and ends; how many.
    int GetAddressRanges(QStringList &starts, QStringList &ends) const;
    // Starts the probes of one range (search thread only); false when cancelled before its end.
    bool ProbeRange(SearchResults &results, const QString &first, const QString &last);
    // 0 when the PJLink port of the address accepts a TCP connection within the response wait
    // time, otherwise the socket error code.
    static int TcpConnectCheck(const QString &address);
    // The response wait time in seconds as last given to SetRecvTimeOut; 5 until then.
    static int GetRecvTimeOut();

    ~ProjectorManager();
    ProjectorManager(const ProjectorManager &) = delete;
    ProjectorManager &operator=(const ProjectorManager &) = delete;

private:
    ProjectorManager();
    void ForgetProjectorsBelow(const ProjectorNode *node); // registry lock held
    bool AnyLeasedBelow(const ProjectorNode *node) const;  // registry lock held
    // Removed subtrees go here while a projector in them is leased; none when destroyed now.
    std::unique_ptr<ProjectorNode> RetireIfLeased(std::unique_ptr<ProjectorNode> removed);
    void EndLease(Projector *projector);

    void RunProbe(SearchResults &results, const QString &address); // one probe worker
    // The candidate at address joins results when it answers a connection window.
    void ProbeCandidate(SearchResults &results, const QString &address);
    void AddBroadcastAnswers(SearchResults &results, const std::vector<QString> &addresses);
    static std::unique_ptr<ActionEvent> WorstErrorEvent(Projector &projector);
    bool WaitForWorkerSlot();
    void ReapSearchWorkers();

    // Probe threads started and not yet joined, in start order, never more than
    // MAX_SEARCH_WORKERS: ended ones are joined as the search goes. Touched by the search thread
    // only, and by DeleteSearchWorkers once Search has returned.
    std::vector<std::thread> m_searchWorkers;
    std::mutex m_workerLock; // guards m_endedWorkers
    std::condition_variable m_workerEnded;
    std::vector<std::thread::id> m_endedWorkers;            // probes over, threads not joined
    std::chrono::steady_clock::time_point m_lastProbeStart; // search thread only
    std::mutex m_searchLock; // guards the results the search workers append to
    mutable std::mutex m_flagLock;
    mutable std::mutex m_registryLock; // guards m_projectors
    std::unique_ptr<Group> m_root;
    std::vector<Projector *> m_projectors;                 // owned by the tree
    std::unordered_map<const Projector *, int> m_leases;   // under m_registryLock
    std::vector<std::unique_ptr<ProjectorNode>> m_retired; // under m_registryLock
    std::atomic<bool> m_searching{false};
    std::atomic<NotificationListener *> m_listener{nullptr};
    std::chrono::milliseconds m_broadcastWait{0};
    std::atomic<int> m_broadcastResult{-1};
    bool m_running = false; // under m_flagLock
};
