#pragma once

#include "pjlink/datagram.h"
#include "platform/uniquefd.h"

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The controller's side of Class 2 over UDP: one socket on the controller's port, on a thread
// of its own, that receives the projectors' status notifications and the answers to a search.
// Only one socket of a machine can own the port, so a process has at most one listener and a
// search made while it runs goes through it.

// The port projectors notify and answer searches on, and the one they listen on.
inline constexpr int PJLINK_UDP_PORT = 4352;
// How long a broadcast search collects answers unless told otherwise.
inline constexpr std::chrono::milliseconds BROADCAST_SEARCH_WAIT{30000};

// The controller's UDP port: PJLINK_UDP_PORT, or LUMARIN_UDP_PORT from the environment (tests
// on a machine whose 4352 is someone else's).
int ControllerUdpPort();

// The directed broadcast address of every adapter's network (loopback left out), each once;
// networks without room for a broadcast address (/31, /32) have none.
std::vector<quint32> SearchBroadcastAddresses();

struct SearchAnswer
{
    quint32 address = 0; // the projector's, host order
    pjlink::MacAddress mac{};
    std::chrono::microseconds after{0}; // from the request sent to the answer received
};

class NotificationListener
{
public:
    // Called on the listener thread for every notification (not for search answers) that
    // passed the rate limit; from is the sender's address in host order.
    using Sink = std::function<void(quint32 from, const pjlink::Datagram &)>;

    explicit NotificationListener(Sink sink = {});
    ~NotificationListener(); // stops and joins
    NotificationListener(const NotificationListener &) = delete;
    NotificationListener &operator=(const NotificationListener &) = delete;

    // Binds UDP port on every address and starts the thread: 0, EADDRINUSE when the port is
    // taken (another Lumarin or lumarinctl watch), else the errno of the failure.
    int Start(int port);
    void Stop(); // prompt: the thread is woken, never waited on for a datagram
    bool IsRunning() const { return m_thread.joinable(); }

    // Datagrams taken per second at most; the rest are read and dropped unparsed.
    static constexpr int DEFAULT_MAX_PER_SECOND = 2000;
    void SetMaxPerSecond(int count) { m_maxPerSecond.store(count); }

    // Sends the search request to port of every broadcast address and collects the answers
    // (one per address) until wait has passed or keepGoing returns false (asked every 50 ms).
    // Any thread, one search at a time; 0, or -1 when the listener is not running.
    int Search(const std::vector<quint32> &broadcasts, int port, std::chrono::milliseconds wait,
               const std::function<bool()> &keepGoing, std::vector<SearchAnswer> &answers);

    // Counters since Start, for tests and benchmarks.
    quint64 HandledCount() const { return m_handled.load(); }
    quint64 DroppedCount() const { return m_dropped.load(); }
    quint64 GarbageCount() const { return m_garbage.load(); }

private:
    void Run();
    void Take(quint32 from, const char *bytes, std::size_t size);
    void TakeMessage(quint32 from, const pjlink::Datagram &message);
    void LogGarbage(quint32 from);

    Sink m_sink;
    platform::UniqueFd m_socket;
    platform::UniqueFd m_wake;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<int> m_maxPerSecond{DEFAULT_MAX_PER_SECOND};

    // Listener thread only.
    std::chrono::steady_clock::time_point m_secondStart;
    int m_takenThisSecond = 0;
    std::chrono::steady_clock::time_point m_lastGarbageLog;
    quint64 m_garbageLogged = 0;

    std::atomic<quint64> m_handled{0};
    std::atomic<quint64> m_dropped{0};
    std::atomic<quint64> m_garbage{0};

    std::mutex m_searchOne;  // one search at a time
    std::mutex m_searchLock; // guards m_collecting and m_answers
    std::condition_variable m_answered;
    bool m_collecting = false;
    std::chrono::steady_clock::time_point m_searchStart;
    std::vector<SearchAnswer> m_answers;
};

// A broadcast search on listener when it runs, else on a listener of its own for the time of
// the search. 0; EADDRINUSE when the port is another process's; else an errno.
int BroadcastSearch(NotificationListener *listener, std::chrono::milliseconds wait,
                    const std::function<bool()> &keepGoing, std::vector<SearchAnswer> &answers);
