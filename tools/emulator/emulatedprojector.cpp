#include "tools/emulator/emulatedprojector.h"

#include "platform/uniquefd.h"
#include "tools/emulator/emulatorreplies.h"
#include "tools/emulator/emulatorudp.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t MaxLineBytes = 512;       // without a CR: the peer is not speaking PJLink
constexpr std::size_t MaxPendingBytes = 4096;   // pipelined requests waiting for their turn
constexpr std::size_t MaxConnections = 8;       // beyond this a connection is accepted and closed
constexpr std::size_t DigestChars = 32;         // MD5 in hex
constexpr std::size_t RandomChars = 32;         // 16 random bytes in hex, at level 2
constexpr std::size_t LevelTwoDigestChars = 64; // SHA-256 in hex

struct Connection
{
    platform::UniqueFd fd;
    std::string in;
    std::string out; // one answer at a time, sent from sendAt on
    Clock::time_point sendAt;
    Clock::time_point lastActivity;
    bool awaitingPassword = false; // until the first command's digest has been checked
    std::string password;
    std::string expectedDigest; // MD5, level 1
    std::string levelTwoRandom; // ours in hex, once "PJLINK 2" was answered
    int commands = 0;
    bool closeAfterSend = false;
    bool linkUpSent = false; // tcpLinkUp: the unasked "%2LKUP" has gone out
    bool dead = false;
};

// The configuration fields the serving thread reads once per round.
struct Snapshot
{
    std::string address;
    int port = 0;
    bool listening = true;
    int idleTimeoutMs = 0;
    int answerDelayMs = 0;
    int dropAfterCommands = -1;
    EmulatorConfig::Security security = EmulatorConfig::Security::Md5;
    int nulPadding = 0;
    bool tcpLinkUp = false;
    std::string macAddress;
};

// One line as sent: its CR, then the padding some firmware adds.
std::string framed(const std::string &line, const Snapshot &s)
{
    return line + '\r' + std::string(static_cast<std::size_t>(std::max(0, s.nulPadding)), '\0');
}

int msUntil(Clock::time_point deadline, Clock::time_point now)
{
    if (deadline <= now)
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    return static_cast<int>(std::min<long long>(ms, 60000));
}

bool bindListener(const std::string &address, int port, platform::UniqueFd *listener,
                  int *boundPort, std::string *error)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (port < 0 || port > 65535 || ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        *error = "not an IPv4 address and port: " + address + ":" + std::to_string(port);
        return false;
    }
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int one = 1;
    if (!fd.valid() || ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(fd.get(), 16) != 0) {
        *error = address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t len = sizeof addr;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        *boundPort = ntohs(addr.sin_port);
    *listener = std::move(fd);
    return true;
}

// Closing with unread input makes the kernel send a reset, which may destroy an answer the
// peer has not read yet (ERRA above all); reading first lets it end with an orderly FIN.
void closeGently(platform::UniqueFd &fd)
{
    if (!fd.valid())
        return;
    ::shutdown(fd.get(), SHUT_WR);
    char sink[512];
    for (int i = 0; i < 16 && ::recv(fd.get(), sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
    }
    fd.reset();
}

} // namespace

struct EmulatedProjector::Impl
{
    mutable std::mutex mutex; // guards config, runtime, received, connections, requested, applied
    std::condition_variable appliedChanged;
    std::uint64_t requested = 0; // updates asked for
    std::uint64_t applied = 0;   // updates the serving thread has acted on
    EmulatorConfig config;
    EmulatorRuntime runtime;
    std::vector<std::string> received;
    std::vector<std::string> requests; // received, with the class
    int connections = 0;

    std::mutex lifecycle; // serialises start and stop
    std::thread thread;
    std::atomic<std::thread::id> servingThread{};
    std::atomic<bool> stopping{false};
    platform::UniqueFd wake{::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};

    // Owned by the serving thread while it runs.
    platform::UniqueFd listener;
    std::string boundAddress;
    int boundPort = -1;
    std::vector<Connection> open;
    std::mt19937 random{std::random_device{}()};
    EmulatorUdp udp;

    Snapshot snapshot() const;
    void wakeUp();
    void run();
    void syncListener(const Snapshot &s);
    void acceptPending(const Snapshot &s);
    void receive(Connection &c);
    void send(Connection &c, Clock::time_point now);
    void service(Connection &c, const Snapshot &s, Clock::time_point now);
    void handleLine(Connection &c, std::string line, const Snapshot &s, Clock::time_point now);
    void queue(Connection &c, const std::string &line, bool thenClose, const Snapshot &s,
               Clock::time_point now);
    std::string randomToken(std::size_t digits = 8);
    bool checkPassword(Connection &c, std::string &line, const Snapshot &s, Clock::time_point now);
    void serviceUdp(const std::vector<pollfd> &fds, std::size_t udpFirst);
    int msUntilPowerChange(Clock::time_point now) const;
};

Snapshot EmulatedProjector::Impl::snapshot() const
{
    std::lock_guard lock(mutex);
    return {config.address,       config.port,
            config.listening,     config.idleTimeoutMs,
            config.answerDelayMs, config.dropAfterCommands,
            config.security,      config.nulPadding,
            config.tcpLinkUp,     macAddressText(config.macAddress)};
}

void EmulatedProjector::Impl::wakeUp()
{
    const uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake.get(), &one, sizeof one);
}

std::string EmulatedProjector::Impl::randomToken(std::size_t digits)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::uniform_int_distribution<int> digit(0, 15);
    std::string token(digits, '0');
    for (char &ch : token)
        ch = hex[digit(random)];
    return token;
}

void EmulatedProjector::Impl::syncListener(const Snapshot &s)
{
    if (!s.listening) {
        listener.reset();
        for (auto &c : open)
            c.dead = true;
        return;
    }
    if (listener.valid() && s.address == boundAddress && s.port == boundPort)
        return;
    listener.reset();
    int port = s.port;
    std::string error;
    // A failed bind leaves the projector silent until the next update asks again.
    if (!bindListener(s.address, s.port, &listener, &port, &error))
        return;
    boundAddress = s.address;
    boundPort = port;
    std::lock_guard lock(mutex);
    if (config.port == 0)
        config.port = port;
}

void EmulatedProjector::Impl::acceptPending(const Snapshot &s)
{
    for (int i = 0; i < 16; ++i) {
        sockaddr_in peer{};
        socklen_t peerLength = sizeof peer;
        platform::UniqueFd fd(::accept4(listener.get(), reinterpret_cast<sockaddr *>(&peer),
                                        &peerLength, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.valid())
            return;
        udp.setPeer(ntohl(peer.sin_addr.s_addr));
        std::string greeting;
        std::string password;
        {
            std::lock_guard lock(mutex);
            ++connections;
            password = config.password;
            const auto raw = config.rawAnswers.find("PJLINK");
            if (raw != config.rawAnswers.end())
                greeting = raw->second;
        }
        if (open.size() >= MaxConnections) {
            closeGently(fd);
            continue;
        }
        Connection c;
        c.fd = std::move(fd);
        c.lastActivity = Clock::now();
        if (password.empty()) {
            if (greeting.empty())
                greeting = "PJLINK 0";
        } else {
            const std::string token = randomToken();
            c.awaitingPassword = true;
            c.password = password;
            c.expectedDigest = QCryptographicHash::hash(QByteArray::fromStdString(token + password),
                                                        QCryptographicHash::Md5)
                                   .toHex()
                                   .toStdString();
            if (greeting.empty())
                greeting = "PJLINK 1 " + token;
        }
        queue(c, greeting, s.dropAfterCommands == 0, s, c.lastActivity);
        open.push_back(std::move(c));
    }
}

void EmulatedProjector::Impl::receive(Connection &c)
{
    char buffer[2048];
    for (int i = 0; i < 8; ++i) {
        const auto n = ::recv(c.fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            c.in.append(buffer, static_cast<std::size_t>(n));
            c.lastActivity = Clock::now();
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            c.dead = true;
        break;
    }
    const auto cr = c.in.rfind('\r');
    const std::size_t unterminated = cr == std::string::npos ? c.in.size() : c.in.size() - cr - 1;
    if (unterminated > MaxLineBytes || c.in.size() > MaxPendingBytes)
        c.dead = true;
}

void EmulatedProjector::Impl::send(Connection &c, Clock::time_point now)
{
    if (c.out.empty() || now < c.sendAt)
        return;
    const auto n = ::send(c.fd.get(), c.out.data(), c.out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
        c.out.erase(0, static_cast<std::size_t>(n));
        c.lastActivity = now;
    } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        c.dead = true;
    }
}

void EmulatedProjector::Impl::queue(Connection &c, const std::string &line, bool thenClose,
                                    const Snapshot &s, Clock::time_point now)
{
    c.out = framed(line, s);
    c.sendAt = now + std::chrono::milliseconds(std::max(0, s.answerDelayMs));
    c.closeAfterSend = thenClose;
}

namespace {

std::optional<std::vector<std::uint8_t>> fromHex(std::string_view text)
{
    const QByteArray bytes = QByteArray::fromHex(QByteArray(text.data(), qsizetype(text.size())));
    if (text.size() % 2 != 0 || std::size_t(bytes.size()) * 2 != text.size() ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos)
        return std::nullopt;
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// What a level 2 projector expects after the controller's random bytes (hex text theirs).
std::string levelTwoDigest(const std::string &ours, std::string_view theirs,
                           const std::string &password)
{
    const auto a = fromHex(ours);
    const auto b = fromHex(theirs);
    if (!a || !b || a->size() != b->size())
        return {};
    QByteArray mixed;
    for (std::size_t i = 0; i < a->size(); ++i)
        mixed.append(char((*a)[i] ^ (*b)[i]));
    const QByteArray seed = mixed.toHex().append(QByteArray::fromStdString(password));
    return QCryptographicHash::hash(seed, QCryptographicHash::Sha256).toHex().toStdString();
}

} // namespace

// The first line of a connection with a password: the level 2 query, or a command with its
// digest, which is then cut off line. False when the line has been dealt with (answered,
// ignored or refused).
bool EmulatedProjector::Impl::checkPassword(Connection &c, std::string &line, const Snapshot &s,
                                            Clock::time_point now)
{
    using S = EmulatorConfig::Security;
    const bool levelTwo = s.security == S::Sha256 || s.security == S::Sha256Md5;
    if (line == "PJLINK 2") {
        if (levelTwo && c.levelTwoRandom.empty()) {
            c.levelTwoRandom = randomToken(RandomChars);
            queue(c, "PJLINK 2 " + c.levelTwoRandom, false, s, now);
        } else if (s.security == S::Md5Close) {
            c.dead = true;
        } else if (s.security != S::Md5Silent) {
            queue(c, "PJLINK ERRA", true, s, now);
        }
        return false;
    }
    std::size_t digestChars = 0;
    if (!c.levelTwoRandom.empty()) {
        const std::size_t length = RandomChars + LevelTwoDigestChars;
        const std::string expected =
            line.size() >= length
                ? levelTwoDigest(c.levelTwoRandom, std::string_view(line).substr(0, RandomChars),
                                 c.password)
                : std::string();
        if (!expected.empty() && line.compare(RandomChars, LevelTwoDigestChars, expected) == 0)
            digestChars = length;
    } else if (s.security != S::Sha256 && line.size() >= DigestChars &&
               line.compare(0, DigestChars, c.expectedDigest) == 0) {
        digestChars = DigestChars;
    }
    if (digestChars == 0) {
        queue(c, "PJLINK ERRA", true, s, now);
        return false;
    }
    line.erase(0, digestChars);
    c.awaitingPassword = false;
    return true;
}

void EmulatedProjector::Impl::handleLine(Connection &c, std::string line, const Snapshot &s,
                                         Clock::time_point now)
{
    if (c.awaitingPassword && !checkPassword(c, line, s, now))
        return;
    {
        std::lock_guard lock(mutex);
        received.push_back(line.size() >= 2 && line[0] == '%' ? line.substr(2) : line);
        requests.push_back(line);
    }
    if (s.dropAfterCommands > 0 && ++c.commands >= s.dropAfterCommands) {
        c.dead = true;
        return;
    }
    // Anything else is a digest where security is off, or no request at all.
    if (line[0] != '%') {
        queue(c, "PJLINK ERRA", true, s, now);
        return;
    }
    std::string reply;
    int copies = 0;
    {
        std::lock_guard lock(mutex);
        if (dropsConnection(config, line)) {
            c.dead = true;
            return;
        }
        reply = replyTo(config, runtime, line, now);
        const auto repeated = config.repeatedAnswers.find(line.substr(2, 4));
        copies = repeated == config.repeatedAnswers.end() ? 0 : repeated->second;
    }
    queue(c, reply, false, s, now);
    // All in one go, as a flooding projector sends them.
    const std::string copy = framed(reply, s);
    c.out.reserve(c.out.size() + copy.size() * static_cast<std::size_t>(copies));
    for (int i = 0; i < copies; ++i)
        c.out += copy;
    if (s.tcpLinkUp && !c.linkUpSent) {
        c.linkUpSent = true;
        c.out.insert(0, framed("%2LKUP=" + s.macAddress, s));
    }
}

void EmulatedProjector::Impl::service(Connection &c, const Snapshot &s, Clock::time_point now)
{
    send(c, now);
    // One outstanding answer per connection: the next request waits until it has gone out.
    while (!c.dead && c.out.empty() && !c.closeAfterSend) {
        const auto cr = c.in.find('\r');
        if (cr == std::string::npos)
            break;
        std::string line = c.in.substr(0, cr);
        c.in.erase(0, cr + 1);
        if (!c.in.empty() && c.in[0] == '\n')
            c.in.erase(0, 1);
        // A LF that arrived after its CR in a later segment.
        if (!line.empty() && line[0] == '\n')
            line.erase(0, 1);
        if (line.empty())
            continue;
        handleLine(c, std::move(line), s, now);
        send(c, now);
    }
    if (c.closeAfterSend && c.out.empty())
        c.dead = true;
    // A delayed answer is not idleness: the projector is the one keeping the peer waiting.
    if (s.idleTimeoutMs > 0 && c.out.empty() &&
        now - c.lastActivity >= std::chrono::milliseconds(s.idleTimeoutMs))
        c.dead = true;
}

void EmulatedProjector::Impl::run()
{
    while (!stopping.load()) {
        const Snapshot s = snapshot();
        auto now = Clock::now();

        std::vector<pollfd> fds;
        fds.push_back({wake.get(), POLLIN, 0});
        if (listener.valid())
            fds.push_back({listener.get(), POLLIN, 0});
        const std::size_t first = fds.size();
        int timeout = -1;
        auto sooner = [&timeout](int ms) { timeout = timeout < 0 ? ms : std::min(timeout, ms); };
        for (const auto &c : open) {
            short events = POLLIN;
            if (!c.out.empty()) {
                if (c.sendAt <= now)
                    events |= POLLOUT;
                else
                    sooner(msUntil(c.sendAt, now));
            } else if (s.idleTimeoutMs > 0)
                sooner(msUntil(c.lastActivity + std::chrono::milliseconds(s.idleTimeoutMs), now));
            fds.push_back({c.fd.get(), events, 0});
        }
        const std::size_t udpFirst = fds.size();
        udp.addPollFds(fds);
        if (const int ms = msUntilPowerChange(now); ms >= 0)
            sooner(ms);

        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            break;
        if (stopping.load())
            break;

        Snapshot current = s;
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(wake.get(), &count, sizeof count);
            std::uint64_t seen = 0;
            {
                std::lock_guard lock(mutex);
                seen = requested;
            }
            current = snapshot();
            syncListener(current);
            {
                std::lock_guard lock(mutex);
                applied = std::max(applied, seen);
            }
            appliedChanged.notify_all();
        }
        now = Clock::now();
        for (std::size_t i = first; i < udpFirst; ++i) {
            Connection &c = open[i - first];
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                receive(c);
            if (!c.dead)
                service(c, current, now);
        }
        if (first == 2 && listener.valid() && (fds[1].revents & POLLIN))
            acceptPending(current);
        serviceUdp(fds, udpFirst);

        for (auto &c : open) {
            if (c.dead)
                closeGently(c.fd);
        }
        std::erase_if(open, [](const Connection &c) { return c.dead; });
    }
    for (auto &c : open)
        closeGently(c.fd);
    open.clear();
    listener.reset();
    {
        std::lock_guard lock(mutex);
        applied = requested; // nobody waits on a thread that has stopped serving
    }
    appliedChanged.notify_all();
}

// Class 2 over UDP: searches answered, and a notification for every change however it came
// (a command, the end of warm-up or cooling, update()).
void EmulatedProjector::Impl::serviceUdp(const std::vector<pollfd> &fds, std::size_t udpFirst)
{
    std::lock_guard lock(mutex);
    advancePower(config, runtime, Clock::now());
    udp.sync(config);
    udp.readReady(fds, udpFirst, config);
    udp.notifyChanges(config);
}

// Milliseconds until warm-up or cooling ends, when a Class 2 emulator must then notify; -1
// otherwise.
int EmulatedProjector::Impl::msUntilPowerChange(Clock::time_point now) const
{
    std::lock_guard lock(mutex);
    if (config.pjlinkClass != 2 || (config.power != 2 && config.power != 3))
        return -1;
    return msUntil(runtime.powerDeadline, now);
}

EmulatedProjector::EmulatedProjector(EmulatorConfig config) : d(std::make_unique<Impl>())
{
    d->config = std::move(config);
}

EmulatedProjector::~EmulatedProjector()
{
    stop();
}

bool EmulatedProjector::start(std::string *error)
{
    std::lock_guard lifecycle(d->lifecycle);
    if (d->thread.joinable())
        return true;
    if (!d->wake.valid()) {
        if (error)
            *error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    const Snapshot s = d->snapshot();
    d->listener.reset();
    if (s.listening) {
        int port = s.port;
        std::string reason;
        if (!bindListener(s.address, s.port, &d->listener, &port, &reason)) {
            if (error)
                *error = reason;
            return false;
        }
        d->boundAddress = s.address;
        d->boundPort = port;
        std::lock_guard lock(d->mutex);
        d->config.port = port;
    }
    {
        std::lock_guard lock(d->mutex);
        startPowerTransition(d->config, d->runtime, Clock::now());
        d->udp.sync(d->config);
        d->udp.linkUp(d->config);
        d->udp.notifyChanges(d->config);
    }
    d->stopping = false;
    d->thread = std::thread([impl = d.get()] { impl->run(); });
    d->servingThread = d->thread.get_id();
    return true;
}

void EmulatedProjector::stop()
{
    std::lock_guard lifecycle(d->lifecycle);
    if (!d->thread.joinable())
        return;
    d->stopping = true;
    d->wakeUp();
    d->thread.join();
    d->servingThread = std::thread::id{};
}

EmulatorConfig EmulatedProjector::config() const
{
    std::lock_guard lock(d->mutex);
    advancePower(d->config, d->runtime, Clock::now());
    return d->config;
}

void EmulatedProjector::update(const std::function<void(EmulatorConfig &)> &change)
{
    std::unique_lock lock(d->mutex);
    const auto now = Clock::now();
    advancePower(d->config, d->runtime, now);
    const int before = d->config.power;
    change(d->config);
    if (d->config.power != before)
        startPowerTransition(d->config, d->runtime, now);
    const std::uint64_t mine = ++d->requested;
    d->wakeUp();
    // A test that stops listening and then connects must find the port closed, not the old
    // listener still open: wait, boundedly, until the serving thread has acted on the change.
    const std::thread::id serving = d->servingThread.load();
    if (serving != std::thread::id{} && serving != std::this_thread::get_id())
        d->appliedChanged.wait_for(lock, std::chrono::seconds(5),
                                   [&] { return d->applied >= mine; });
}

std::vector<std::string> EmulatedProjector::receivedCommands() const
{
    std::lock_guard lock(d->mutex);
    return d->received;
}

std::vector<std::string> EmulatedProjector::receivedRequests() const
{
    std::lock_guard lock(d->mutex);
    return d->requests;
}

void EmulatedProjector::clearReceivedCommands()
{
    std::lock_guard lock(d->mutex);
    d->received.clear();
    d->requests.clear();
}

std::vector<std::string> EmulatedProjector::takeReceivedCommands()
{
    std::lock_guard lock(d->mutex);
    d->requests.clear();
    return std::exchange(d->received, {});
}

int EmulatedProjector::connectionCount() const
{
    std::lock_guard lock(d->mutex);
    return d->connections;
}
