#pragma once

#include <mutex>

class Projector;

// The one way to talk to a projector: a connection window (Projector::Connect .. Disconnect)
// on the projector's own connection, whoever opens it: the refresh cycle, the commands and
// read-backs, registration and the search probes.
//
// Concurrency rules of the projector layer, written down once here:
// - Window lock, one per projector (Projector::WindowLock): held by a ConnectionWindow from
//   before Connect to after Disconnect. One window per projector at a time; windows on
//   different projectors run side by side, each on its own TCP connection.
// - State lock, one per projector: guards the identity (name, address, password) and the
//   published ProjectorState, and is held only for a copy, never across the network. Connect's
//   name change takes it inside the window lock; nothing else nests under it.
// - Registry lock (ProjectorManager): guards the list of projectors and the leases that keep a
//   projector alive while a worker uses it. Never held together with a window lock: take a
//   lease (ProjectorManager::Lease) first, open the window inside it, close the window before
//   the lease ends. A projector removed under a lease is destroyed when the lease ends, so
//   RemoveNode and ClearAll never wait for the network.
// - Event manager lock: taken last, after the window is closed.
// Without a window, every thread reads a projector only through its published state
// (Projector::GetState, GetProjectorCells and the Get... reads outside a window); such reads
// never wait for a network exchange. Inside a window only the thread that opened it may read
// or command the projector; the others keep getting the published copy meanwhile.
class ConnectionWindow
{
public:
    // Takes the projector's window lock (waiting for a window open on it elsewhere), then
    // connects.
    ConnectionWindow(Projector &projector, int mode);
    // For callers that took the projector's window lock themselves, to change its address or
    // password before the connect with no other window in between.
    ConnectionWindow(std::unique_lock<std::mutex> held, Projector &projector, int mode);
    ~ConnectionWindow(); // Close, then the lock is released

    ConnectionWindow(const ConnectionWindow &) = delete;
    ConnectionWindow &operator=(const ConnectionWindow &) = delete;

    int GetResult() const { return m_result; } // what Connect returned
    // Disconnects (and publishes) now; the lock is kept until the window goes.
    void Close();

private:
    std::unique_lock<std::mutex> m_lock;
    Projector &m_projector;
    int m_result;
    bool m_open = true;
};
