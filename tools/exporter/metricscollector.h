#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// Reads a register again and again on a thread of its own and keeps the latest read as
// Prometheus text. The settings file is only read (never created, repaired or written) and is
// read again when its modification time changes, so the exporter follows the register while the
// window or lumarinctl change it. One cycle at a time; a request never waits for one.
class MetricsCollector
{
public:
    struct Options
    {
        QString settingsPath;
        QString registerName;                         // empty: the settings file's base name
        std::optional<std::chrono::seconds> interval; // empty: the register's refresh interval
    };

    explicit MetricsCollector(Options options);
    ~MetricsCollector(); // stops the thread, waiting for a running cycle to end
    MetricsCollector(const MetricsCollector &) = delete;
    MetricsCollector &operator=(const MetricsCollector &) = delete;

    void Start();

    // Any thread: the text of the latest read (empty before the first one ends), and when it
    // ended (invalid before).
    QByteArray Latest() const;
    QDateTime LatestAt() const;
    std::chrono::seconds Interval() const;

private:
    void Run();

    const Options m_options;
    std::thread m_thread;
    mutable std::mutex m_mutex; // guards everything below
    std::condition_variable m_wake;
    bool m_stopping = false;
    QByteArray m_latest;
    QDateTime m_latestAt;
    std::chrono::seconds m_interval{60};
};
