// The automatic search: ProjectorManager's search operations and the address arithmetic they
// share (model/automaticsearch.h).

#include "model/automaticsearch.h"

#include "model/connectionwindow.h"
#include "model/linkresult.h"
#include "model/notificationlistener.h"
#include "model/parallelwalk.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "platform/adapters.h"
#include "platform/tcpconnect.h"

#include <algorithm>
#include <bit>
#include <system_error>

using namespace Qt::StringLiterals;

namespace {

using namespace std::chrono_literals;

constexpr auto kProbeSpacing = 10ms;
// How often a search thread waiting for a free probe slot looks at the running flag.
constexpr auto kSlotPoll = 20ms;

// Reports the probe's end when its thread leaves the probe, however it leaves it.
class EndedMark
{
public:
    EndedMark(std::mutex &lock, std::condition_variable &ended, std::vector<std::thread::id> &ids)
        : m_lock(lock), m_ended(ended), m_ids(ids)
    {}
    ~EndedMark()
    {
        {
            std::lock_guard guard(m_lock);
            m_ids.push_back(std::this_thread::get_id());
        }
        m_ended.notify_one();
    }
    EndedMark(const EndedMark &) = delete;
    EndedMark &operator=(const EndedMark &) = delete;

private:
    std::mutex &m_lock;
    std::condition_variable &m_ended;
    std::vector<std::thread::id> &m_ids;
};

} // namespace

std::optional<AddressRange> NetworkRangeOf(quint32 address, quint32 mask)
{
    if (address == 0)
        return std::nullopt;
    const int hostBits = std::min(std::countr_zero(mask), MAX_SEARCH_HOST_BITS);
    const quint32 network = ~quint32(0) << hostBits;
    const quint32 first = address & network;
    return AddressRange{first, first | ~network};
}

std::optional<AddressRange> ProbeBoundsOf(const QString &first, const QString &last)
{
    const std::optional<quint32> from = ParseIPv4(first);
    const std::optional<quint32> to = ParseIPv4(last);
    // Unsigned: last before first wraps round to a huge span as well.
    if (!from || !to || *to - *from > 0x7FFFFFFEu)
        return std::nullopt;
    return AddressRange{*from, *to};
}

bool IsProbedAddress(quint32 address, const AddressRange &range)
{
    const quint32 lastOctet = address & 0xFF;
    if (lastOctet == 0 || lastOctet == 255)
        return false;
    const bool subnet = range.last - range.first >= 3;
    return !(subnet && (address == range.first || address == range.last));
}

QString FormatIPv4(quint32 address)
{
    return u"%1.%2.%3.%4"_s.arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

std::optional<quint32> ParseIPv4(const QString &text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    quint32 address = 0;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return std::nullopt;
        uint octet = 0;
        for (QChar c : part) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            octet = octet * 10 + uint(c.unicode() - u'0');
        }
        if (octet > 255)
            return std::nullopt;
        address = address << 8 | octet;
    }
    return address;
}

void ProjectorManager::BeginSearch()
{
    SetRunning(true);
    m_searching.store(true);
}

void ProjectorManager::Search(SearchResults &results)
{
    if (!m_searching.load())
        BeginSearch();

    // Whatever an earlier search or range left has ended by now; its ids could match new
    // threads once it is joined.
    for (std::thread &worker : m_searchWorkers)
        if (worker.joinable())
            worker.join();
    m_searchWorkers.clear();
    {
        std::lock_guard guard(m_workerLock);
        m_endedWorkers.clear();
    }
    m_searchWorkers.reserve(size_t(MAX_SEARCH_WORKERS));
    m_lastProbeStart = std::chrono::steady_clock::now();

    // Class 2 projectors answer the broadcast while the sweep walks the networks; those the
    // sweep did not find are probed after it.
    std::vector<SearchAnswer> answers;
    std::thread broadcast;
    m_broadcastResult.store(-1);
    if (m_broadcastWait.count() > 0) {
        try {
            broadcast = std::thread([this, &answers, wait = m_broadcastWait] {
                m_broadcastResult.store(BroadcastSearch(
                    GetListener(), wait, [this] { return IsRunning(); }, answers));
            });
        } catch (const std::system_error &) {
            // No thread to be had: the sweep alone.
        }
    }

    QStringList starts;
    QStringList ends;
    const int ranges = GetAddressRanges(starts, ends);
    for (int i = 0; i < ranges; ++i) {
        if (!ProbeRange(results, starts[i], ends[i]))
            break;
    }

    // The threads stay listed (joined) until DeleteSearchWorkers.
    for (std::thread &worker : m_searchWorkers)
        if (worker.joinable())
            worker.join();
    {
        std::lock_guard guard(m_workerLock);
        m_endedWorkers.clear();
    }
    if (broadcast.joinable()) {
        broadcast.join();
        std::vector<QString> addresses;
        for (const SearchAnswer &answer : answers)
            addresses.push_back(FormatIPv4(answer.address));
        AddBroadcastAnswers(results, addresses);
    }
    // Probes end in any order; the user gets the projectors in address order.
    {
        std::lock_guard search(m_searchLock);
        std::stable_sort(results.begin(), results.end(), [](const auto &a, const auto &b) {
            return ParseIPv4(a->GetIPAddress()).value_or(0) <
                   ParseIPv4(b->GetIPAddress()).value_or(0);
        });
    }
    m_searching.store(false);
}

int ProjectorManager::GetAddressRanges(QStringList &starts, QStringList &ends) const
{
    int count = 0;
    for (const platform::AdapterAddress &adapter : platform::ListAdapterAddresses()) {
        const std::optional<AddressRange> range = NetworkRangeOf(adapter.address, adapter.mask);
        if (!range)
            continue;
        starts.append(FormatIPv4(range->first));
        ends.append(FormatIPv4(range->last));
        ++count;
    }
    return count;
}

bool ProjectorManager::ProbeRange(SearchResults &results, const QString &first, const QString &last)
{
    const std::optional<AddressRange> range = ProbeBoundsOf(first, last);
    if (!range)
        return true;

    // Counted in 64 bits so that a range ending at 255.255.255.255 ends.
    for (quint64 next = range->first; next <= range->last; ++next) {
        if (!IsRunning())
            return false;
        const auto address = quint32(next);
        if (!IsProbedAddress(address, *range))
            continue;
        const QString text = FormatIPv4(address);
        if (IsIPRegistered(text))
            continue;
        if (!WaitForWorkerSlot())
            return false;
        std::this_thread::sleep_until(m_lastProbeStart + kProbeSpacing);
        m_lastProbeStart = std::chrono::steady_clock::now();
        if (!IsRunning())
            return false;
        try {
            m_searchWorkers.emplace_back([this, &results, text] { RunProbe(results, text); });
        } catch (const std::system_error &) {
            // No thread to be had: the address goes unprobed.
        }
    }
    return true;
}

// Joins ended probes until fewer than MAX_SEARCH_WORKERS threads are left; false when the
// search is cancelled meanwhile.
bool ProjectorManager::WaitForWorkerSlot()
{
    ReapSearchWorkers();
    while (m_searchWorkers.size() >= size_t(MAX_SEARCH_WORKERS)) {
        {
            std::unique_lock lock(m_workerLock);
            m_workerEnded.wait_for(lock, kSlotPoll, [this] { return !m_endedWorkers.empty(); });
        }
        ReapSearchWorkers();
        if (!IsRunning())
            return false;
    }
    return true;
}

void ProjectorManager::ReapSearchWorkers()
{
    std::vector<std::thread::id> ended;
    {
        std::lock_guard guard(m_workerLock);
        ended.swap(m_endedWorkers);
    }
    // An ended probe's thread is past its last step, so joining it does not wait for long.
    for (const std::thread::id id : ended) {
        const auto worker =
            std::find_if(m_searchWorkers.begin(), m_searchWorkers.end(),
                         [id](const std::thread &thread) { return thread.get_id() == id; });
        if (worker == m_searchWorkers.end())
            continue;
        worker->join();
        m_searchWorkers.erase(worker);
    }
}

void ProjectorManager::RunProbe(SearchResults &results, const QString &address)
{
    const EndedMark mark(m_workerLock, m_workerEnded, m_endedWorkers);
    if (!Projector::EchoCheck(address) || !IsRunning() || TcpConnectCheck(address) != 0 ||
        !IsRunning())
        return;

    ProbeCandidate(results, address);
}

void ProjectorManager::AddBroadcastAnswers(SearchResults &results,
                                           const std::vector<QString> &addresses)
{
    std::vector<QString> probed;
    {
        std::lock_guard search(m_searchLock);
        for (const QString &address : addresses) {
            const bool known = std::any_of(results.begin(), results.end(), [&](const auto &found) {
                return found->GetIPAddress() == address;
            });
            if (!known && !IsIPRegistered(address))
                probed.push_back(address);
        }
    }
    // The projector said it is there: no echo or port check before the connection window. The
    // search keeps its own limit of probes at once.
    RunInParallel(
        int(probed.size()),
        [&](int i) {
            if (IsRunning())
                ProbeCandidate(results, probed[size_t(i)]);
        },
        [](int) {}, MAX_SEARCH_WORKERS);
}

void ProjectorManager::ProbeCandidate(SearchResults &results, const QString &address)
{
    // Each candidate has a connection of its own, so probes connect side by side; the search
    // lock only guards the results.
    auto candidate = std::make_unique<Projector>(QString(), address, QString(), u"A"_s, QString());
    int result = ResultCode(LinkResult::NoAnswer);
    {
        const ConnectionWindow window(*candidate, 5);
        result = window.GetResult();
    }
    if (result != LinkResult::Ok && result != LinkResult::AuthFailed)
        return;
    std::lock_guard search(m_searchLock);
    const bool known = std::any_of(results.begin(), results.end(), [&](const auto &found) {
        return found->GetIPAddress() == address;
    });
    if (!known)
        results.push_back(std::move(candidate));
}

int ProjectorManager::TcpConnectCheck(const QString &address)
{
    return platform::TcpConnect(address, GetPort(), std::max(1, GetRecvTimeOut()) * 1000);
}
