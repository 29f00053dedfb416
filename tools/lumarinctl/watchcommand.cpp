// lumarinctl watch: the projectors' notifications and state changes as they come.

#include "model/linkresult.h"
#include "tools/lumarinctl/commands.h"

#include "model/automaticsearch.h"
#include "model/notificationlistener.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"
#include "store/cvanteldoc.h"
#include "store/usermessage.h"
#include "tools/lumarinctl/ctlstrings.h"
#include "tools/lumarinctl/report.h"
#include "tools/lumarinctl/targets.h"

#include <QDateTime>
#include <QJsonObject>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int)
{
    g_stop = 1;
}

// Lines printed per wake-up at most; a flood waits for the next one instead of piling up text.
constexpr std::size_t kMaxQueuedLines = 1000;

struct Change
{
    QString time;
    QString name;
    QString address;
    QString what; // power, input, mute, errors, link
    QString value;
    QString source; // notification or refresh
};

// What watch shows of a projector, as text per kind of change.
std::map<QString, QString> Shown(const ProjectorState &s)
{
    QString errors;
    for (const ErrorStatus &e : s.errors)
        errors += QString::number(std::max(0, e.GetLevel()));
    return {
        {u"power"_s, s.powerResult == LinkResult::Ok ? s.power.GetText() : QString()},
        {u"input"_s,
         s.input.GetType() == InputStatus::Unavailable || s.inputResult != LinkResult::Ok
             ? QString()
             : s.input.GetShortText(s.isKorvane)},
        {u"mute"_s, s.muteResult != LinkResult::Ok        ? QString()
                    : s.mute.GetCode() == MuteStatus::Off ? u"Off"_s
                                                          : s.mute.GetText()},
        {u"errors"_s, s.errorResult == LinkResult::Ok ? errors : QString()},
    };
}

QString WhatOf(const pjlink::Datagram &d)
{
    switch (d.kind) {
    case pjlink::Datagram::Power:
        return u"power"_s;
    case pjlink::Datagram::Input:
        return u"input"_s;
    case pjlink::Datagram::Mute:
        return u"mute"_s;
    case pjlink::Datagram::Errors:
        return u"errors"_s;
    default:
        return u"link"_s;
    }
}

// The projectors watched, what was last shown of each, and the lines waiting to be printed.
// The listener thread and the refresh thread add; the main thread prints.
class Watch
{
public:
    explicit Watch(const std::vector<Projector *> &projectors)
    {
        for (Projector *p : projectors)
            m_shown[p->GetIPAddress()] = Shown(p->GetState());
    }

    bool Watches(const QString &address) const { return m_shown.count(address) > 0; }

    void Notified(const QString &address, const QString &name, const pjlink::Datagram &d,
                  const ProjectorState &state)
    {
        const QString what = WhatOf(d);
        std::lock_guard guard(m_lock);
        auto &shown = m_shown[address];
        const auto now = Shown(state);
        const QString value =
            what == u"link"_s ? QString::fromStdString(pjlink::formatMac(d.mac)) : now.at(what);
        shown = now;
        Add({Now(), name, address, what, value, u"notification"_s});
    }

    void Refreshed(Projector &projector)
    {
        const ProjectorState state = projector.GetState();
        std::lock_guard guard(m_lock);
        auto &shown = m_shown[state.ipAddress];
        const auto now = Shown(state);
        for (const auto &[what, value] : now) {
            if (shown[what] != value)
                Add({Now(), state.name, state.ipAddress, what, value, u"refresh"_s});
        }
        shown = now;
    }

    // Waits up to timeout for lines and takes them.
    std::deque<Change> Take(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_lock);
        m_added.wait_for(lock, timeout, [this] { return !m_lines.empty(); });
        return std::exchange(m_lines, {});
    }

private:
    static QString Now() { return QDateTime::currentDateTime().toString(Qt::ISODateWithMs); }
    void Add(Change change) // lock held
    {
        if (m_lines.size() < kMaxQueuedLines)
            m_lines.push_back(std::move(change));
        m_added.notify_one();
    }

    std::mutex m_lock;
    std::condition_variable m_added;
    std::map<QString, std::map<QString, QString>> m_shown;
    std::deque<Change> m_lines;
};

void Print(Report &report, const Change &c)
{
    if (report.IsJson()) {
        report.JsonLine(QJsonObject{{u"time"_s, c.time},
                                    {u"name"_s, c.name},
                                    {u"address"_s, c.address},
                                    {u"what"_s, c.what},
                                    {u"value"_s, c.value},
                                    {u"source"_s, c.source}});
        return;
    }
    report.Line(QStringList{c.time, c.name, c.address, c.what, c.value}.join(u"  "_s));
}

} // namespace

int RunWatch(CommandContext &context, const CommandArgs &args)
{
    std::vector<Projector *> projectors;
    if (args.positional.isEmpty()) {
        projectors = context.manager.GetProjectors();
    } else {
        std::vector<ProjectorNode *> nodes;
        if (!ResolveTargets(context.manager, args.positional, nodes))
            return ExitRefused;
        projectors = ProjectorsOf(nodes);
    }

    Watch watch(projectors);
    ProjectorManager &manager = context.manager;
    NotificationListener listener([&](quint32 from, const pjlink::Datagram &d) {
        const QString address = FormatIPv4(from);
        if (!watch.Watches(address))
            return;
        const auto outcome = manager.ApplyNotification(address, d);
        if (!outcome.registered)
            return;
        for (Projector *p : projectors) {
            if (p->GetIPAddress() == address)
                watch.Notified(address, outcome.name, d, p->GetState());
        }
    });
    const int port = ControllerUdpPort();
    if (const int result = listener.Start(port)) {
        ShowUserMessage(result == EADDRINUSE
                            ? FormatText(LoadString(CTL_WATCH_PORT_TAKEN), {QString::number(port)})
                            : FormatText(LoadString(CTL_WATCH_PORT_FAILED),
                                         {QString::number(port),
                                          QString::fromLocal8Bit(std::strerror(result))}));
        return ExitRefused;
    }

    g_stop = 0;
    const auto previousInt = std::signal(SIGINT, OnStopSignal);
    const auto previousTerm = std::signal(SIGTERM, OnStopSignal);

    // A projector notifies the controller that connected to it last: the refresh connects to
    // every one at once and then at the register's refresh interval.
    std::mutex refreshLock;
    std::condition_variable refreshWake;
    bool stopping = false;
    std::thread refresher([&] {
        const auto interval = std::chrono::minutes(std::max(1, context.doc.GetRefreshInterval()));
        std::unique_lock lock(refreshLock);
        while (!stopping) {
            lock.unlock();
            for (Projector *p : projectors) {
                manager.UpdateStatus(p, false);
                watch.Refreshed(*p);
            }
            lock.lock();
            refreshWake.wait_for(lock, interval, [&] { return stopping; });
        }
    });

    while (!g_stop) {
        for (const Change &change : watch.Take(std::chrono::milliseconds(100)))
            Print(context.report, change);
    }
    {
        std::lock_guard guard(refreshLock);
        stopping = true;
    }
    refreshWake.notify_all();
    refresher.join();
    listener.Stop();
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    return ExitDone;
}
