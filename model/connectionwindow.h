#pragma once

#include <mutex>

class Projector;

// The PJLink library holds one connection for the whole process, so every connection window
// (Projector::Connect .. Disconnect) is opened through a ConnectionWindow, whoever opens it: the
// refresh worker, the commands and read-backs of the user-interface thread, registration and
// the search workers. The window holds the process-wide connection lock from before Connect to
// after Disconnect. Hold it for one projector at a time, never across a wait for the user.
//
// Lock order, outermost first: document lock, search lock, connection lock, registry lock,
// event manager lock. ProjectorManager::RemoveNode and ClearAll take the connection lock too, so
// a projector is never destroyed while a window on it is open.
class ConnectionWindow
{
public:
    // Takes the connection lock, then connects.
    ConnectionWindow(Projector &projector, int mode);
    // For callers that took the lock themselves to check first that the projector still exists.
    ConnectionWindow(std::unique_lock<std::mutex> held, Projector &projector, int mode);
    ~ConnectionWindow(); // Close, then the lock is released

    ConnectionWindow(const ConnectionWindow &) = delete;
    ConnectionWindow &operator=(const ConnectionWindow &) = delete;

    int GetResult() const { return m_result; } // what Connect returned
    // Disconnects now but keeps the lock, so the projector can still be read safely from its
    // stored values.
    void Close();

private:
    std::unique_lock<std::mutex> m_lock;
    Projector &m_projector;
    int m_result;
    bool m_open = true;
};

// The lock behind every ConnectionWindow, for the few places that must keep windows out
// without opening one (destroying projectors).
std::mutex &ConnectionLock();
