#pragma once

#include "model/actionevent.h"
#include "model/group.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class Projector;
class ProjectorNode;

// The one owner of the registry: the root group with the whole tree under it,
// the list of all projectors in registration order, and the state of the
// automatic search. Also starts and stops the PJLink library and holds the
// process-wide PJLink values.
//
// The tree and the list are changed on the user-interface thread only. The list
// is guarded by the registry lock, so the refresh worker and the search workers
// may read it (through GetProjectors, IsRegistered and IsIPRegistered) while
// the user-interface thread appends. Destroying projectors also takes the
// connection lock (see model/connectionwindow.h), so no projector goes away
// while a worker has a connection window open on it.
class ProjectorManager {
public:
  // The process-wide instance, created on first use; DestroyInstance ends it in
  // order (search workers, tree, library). Both on the user-interface thread.
  static ProjectorManager *GetInstance();
  static void DestroyInstance();

  // PJLInit; its result. PJLDestroy happens when the instance is destroyed.
  static int InitProjectors();

  // The PJLink TCP port: 0 until the settings are loaded, then 4352. Any thread
  // may read it.
  static void SetPort(int port);
  static int GetPort();
  // How long the library waits for an answer, in seconds.
  static void SetRecvTimeOut(int seconds);
  // The maker whose equipment names its RGB9 input "Camera" (lower case).
  static const QString &KorvaneBrand();

  Group *GetRoot() { return m_root.get(); }
  // A copy of the list of all projectors, in registration order; safe from any
  // thread.
  std::vector<Projector *> GetProjectors() const;
  int GetProjectorCount() const;
  // Whether the projector is still in the registry; safe from any thread.
  bool IsRegistered(const Projector *projector) const;

  // Places the projector by its stored group path and appends it to the list;
  // nullptr (and the projector destroyed, nothing else changed) when
  // MAX_PROJECTORS are registered.
  Projector *AddProjector(std::unique_ptr<Projector> projector);
  // A loaded group, placed by its stored path; nullptr when its parent does not
  // exist.
  Group *AddGroup(std::unique_ptr<Group> group);
  // A new group below parent.
  Group *AddGroupTo(Group *parent, std::unique_ptr<Group> group);
  // Destroys the node with its subtree; its projectors leave the list.
  void RemoveNode(ProjectorNode *node);
  // Destroys every group and projector below the root.
  void ClearAll();

  // Exact comparison; safe from any thread.
  bool IsIPRegistered(const QString &ipAddress) const;
  // Projectors in the selection, groups counted by the projectors below them.
  static int CountProjectors(const std::vector<ProjectorNode *> &selection);
  // A reachable projector of the maker anywhere in the selection, through
  // groups.
  static bool
  AnyKorvaneReachable(const std::vector<ProjectorNode *> &selection);

  // Refreshes one projector in a connection window of its own and returns the
  // event worth logging, if any. direct: connect on the calling thread, else on
  // a short-lived thread. A projector removed from the registry meanwhile is
  // left alone (nullptr).
  std::unique_ptr<ActionEvent> UpdateStatus(Projector *projector, bool direct);

  // Search control. The searching flag is written by the search thread only.
  bool IsSearching() const { return m_searching.load(); }
  void SetRunning(bool running);
  bool IsRunning() const;
  void StopSearch() { SetRunning(false); }
  void DeleteSearchWorkers();

  ~ProjectorManager();
  ProjectorManager(const ProjectorManager &) = delete;
  ProjectorManager &operator=(const ProjectorManager &) = delete;

private:
  ProjectorManager();
  void ForgetProjectorsBelow(const ProjectorNode *node); // registry lock held

  std::vector<std::thread> m_searchWorkers;
  std::mutex m_searchLock; // keeps the search workers' candidates apart
  mutable std::mutex m_flagLock;
  mutable std::mutex m_registryLock; // guards m_projectors
  std::unique_ptr<Group> m_root;
  std::vector<Projector *> m_projectors; // owned by the tree
  std::atomic<bool> m_searching{false};
  bool m_running = false; // under m_flagLock
};
