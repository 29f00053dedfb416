#include "pjlink/connection.h"

#include "pjlink/answer.h"
#include "pjlink/pjlib.h"
#include "platform/pollwait.h"
#include "platform/uniquefd.h"

#include <QRandomGenerator>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <optional>
#include <mutex>
#include <utility>

namespace pjlink {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultTimeoutSeconds = 5;
constexpr int kMinTimeoutSeconds = 1;
constexpr int kMaxTimeoutSeconds = 60;
// How long a projector may think about "PJLINK 2" before it counts as one that ignores it.
constexpr std::chrono::seconds kLevelTwoWait{2};
// Reads of 4 KiB that discarding what a projector sent unasked may take before it counts as a
// flood and the connection is given up.
constexpr int kMaxStaleReads = 64;
// Addresses whose level is remembered; beyond this the memory starts afresh.
constexpr std::size_t kMaxRememberedLevels = 4096;

using Socket = platform::UniqueFd;

bool isBlankLine(std::string_view line)
{
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

struct Exchange
{
    int code = PJL_ERR_CONNECTION;
    std::string payload;
};

// The level each projector (address and port) took, for the life of the process: a projector
// that ignores "PJLINK 2" then costs its extra connection once.
class LevelMemory
{
public:
    SecurityLevel recall(const std::string &endpoint)
    {
        std::lock_guard guard(m_lock);
        const auto found = m_levels.find(endpoint);
        return found == m_levels.end() ? SecurityLevel::None : found->second;
    }
    void keep(const std::string &endpoint, SecurityLevel level)
    {
        std::lock_guard guard(m_lock);
        if (m_levels.size() >= kMaxRememberedLevels)
            m_levels.clear();
        m_levels[endpoint] = level;
    }

private:
    std::mutex m_lock;
    std::map<std::string, SecurityLevel> m_levels;
};

LevelMemory &levelMemory()
{
    static LevelMemory memory;
    return memory;
}

} // namespace

// The socket side of a connection.
struct Connection::Link
{
    void setTimeout(int seconds) { m_timeout = std::chrono::seconds(seconds); }
    int connect(const char *ip, int port, const char *password, PasswordCheck check);
    void close();
    bool authorizationRequired() const { return m_authRequired; }

    // Sends "%<cls><command> <parameter>" and waits for its answer. Codes other than 0 and 5
    // leave the connection closed, as does 5 when the line framing was lost.
    Exchange request(std::string_view command, std::string_view parameter, char cls = '1');

    enum class ReadStatus { Line, TimedOut, Closed, FramingLost };

    int openSocket(const in_addr &address, int port);
    int greet(const in_addr &address, int port, std::string &seed);
    std::optional<Random16> askLevelTwo();
    ReadStatus readLine(Clock::time_point deadline, std::string &line);
    bool discardStale(std::string_view command = {}, char cls = '1');
    bool sendAll(std::string_view data, Clock::time_point deadline);

    Socket m_socket;
    std::string m_buffer;
    std::string m_digest; // prefix of the first command when security is on
    SecurityLevel m_security = SecurityLevel::None;
    std::optional<Clock::time_point> m_overall; // SetOverallDeadline

    // The end of a wait of length wait that starts now.
    Clock::time_point deadlineIn(Clock::duration wait) const
    {
        const Clock::time_point end = Clock::now() + wait;
        return m_overall ? std::min(end, *m_overall) : end;
    }
    std::chrono::seconds m_timeout{kDefaultTimeoutSeconds};
    bool m_authRequired = false;
    // The projector refused the password: answered with 10 until the next connect or
    // Disconnect, without traffic.
    bool m_refused = false;
};

void Connection::Link::close()
{
    m_socket.reset();
    m_buffer.clear();
    m_digest.clear();
}

int Connection::Link::openSocket(const in_addr &address, int port)
{
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.valid())
        return PJL_ERR_SOCKET_BASE + errno;

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr = address;
    if (::connect(socket.get(), reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS && errno != EINTR)
            return PJL_ERR_SOCKET_BASE + errno;
        if (!platform::WaitReady(socket.get(), POLLOUT, deadlineIn(m_timeout)))
            return PJL_ERR_SOCKET_BASE + ETIMEDOUT;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            return PJL_ERR_SOCKET_BASE + errno;
        if (error != 0)
            return PJL_ERR_SOCKET_BASE + error;
    }
    // Requests are single writes; answers should not wait on Nagle.
    const int one = 1;
    ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_socket = std::move(socket);
    return PJL_OK;
}

// Opens the connection and reads the greeting: PJL_OK with the seed, empty when the projector
// asks for no password. Anything else leaves the connection closed.
int Connection::Link::greet(const in_addr &address, int port, std::string &seed)
{
    seed.clear();
    if (const int result = openSocket(address, port); result != PJL_OK)
        return result;

    const Clock::time_point deadline = deadlineIn(m_timeout);
    std::string line;
    do {
        if (readLine(deadline, line) != ReadStatus::Line) {
            close();
            return PJL_ERR_CONNECTION;
        }
    } while (isBlankLine(line) || isNotificationLine(line));

    const Greeting greeting = parseGreeting(line);
    if (greeting.code != PJL_OK) {
        m_authRequired = greeting.code == PJL_ERR_AUTH;
        m_refused = m_authRequired;
        close();
        return greeting.code;
    }
    seed.assign(greeting.random);
    return PJL_OK;
}

// Sends "PJLINK 2" and reads the projector's random bytes; none when it refuses, stays silent
// for kLevelTwoWait or closes.
std::optional<Random16> Connection::Link::askLevelTwo()
{
    const Clock::time_point deadline =
        deadlineIn(std::min<Clock::duration>(m_timeout, kLevelTwoWait));
    if (!discardStale() || !sendAll(kLevelTwoQuery, deadline))
        return std::nullopt;
    std::string line;
    do {
        if (readLine(deadline, line) != ReadStatus::Line)
            return std::nullopt;
    } while (isBlankLine(line) || isNotificationLine(line));
    return parseLevelTwoAnswer(line);
}

int Connection::Link::connect(const char *ip, int port, const char *password, PasswordCheck check)
{
    close();
    m_authRequired = false;
    m_refused = false;
    m_security = SecurityLevel::None;

    in_addr address{};
    if (ip == nullptr || port < 1 || port > 65535 || ::inet_pton(AF_INET, ip, &address) != 1)
        return PJL_ERR_SOCKET_BASE + EINVAL;
    std::string seed;
    if (const int result = greet(address, port, seed); result != PJL_OK)
        return result;
    if (seed.empty())
        return PJL_OK;

    m_authRequired = true;
    const std::string_view secret = password != nullptr ? password : "";
    if (secret.empty()) {
        close();
        m_refused = true;
        return PJL_ERR_AUTH;
    }

    // Never after "PJLINK 0": a projector without security would take it for a command.
    const std::string endpoint = std::string(ip) + ':' + std::to_string(port);
    if (levelMemory().recall(endpoint) != SecurityLevel::Md5) {
        if (const std::optional<Random16> theirs = askLevelTwo()) {
            levelMemory().keep(endpoint, SecurityLevel::Sha256);
            Random16 ours{};
            QRandomGenerator::system()->generate(ours.begin(), ours.end());
            m_digest = levelTwoPrefix(*theirs, ours, secret);
            m_security = SecurityLevel::Sha256;
        } else {
            // The projector has refused or dropped the question, or left it unanswered: a
            // fresh connection at level 1.
            levelMemory().keep(endpoint, SecurityLevel::Md5);
            close();
            if (const int result = greet(address, port, seed); result != PJL_OK)
                return result;
            if (seed.empty()) {
                m_authRequired = false;
                return PJL_OK;
            }
        }
    }
    if (m_security == SecurityLevel::None) {
        m_digest = levelOnePrefix(seed, secret);
        m_security = SecurityLevel::Md5;
    }

    // A wrong password is only answered to a command: the first request learns it, or one of
    // our own where the caller wants to know at connect.
    if (check == PasswordCheck::WithFirstRequest)
        return PJL_OK;
    const Exchange probe = request("CLSS", "?");
    if (!m_socket.valid())
        return probe.code;
    return PJL_OK;
}

Connection::Link::ReadStatus Connection::Link::readLine(Clock::time_point deadline,
                                                        std::string &line)
{
    for (;;) {
        const LineSplit split = splitLine(m_buffer);
        if (split.status == LineSplit::NeedMore)
            m_buffer.erase(0, split.consumed); // NUL padding between lines
        if (split.status == LineSplit::Line) {
            line.assign(split.line);
            m_buffer.erase(0, split.consumed);
            return ReadStatus::Line;
        }
        if (split.status == LineSplit::FramingLost)
            return ReadStatus::FramingLost;

        if (!platform::WaitReady(m_socket.get(), POLLIN, deadline))
            return ReadStatus::TimedOut;
        char chunk[kMaxUnframedBytes];
        const std::size_t room = kMaxUnframedBytes - m_buffer.size();
        const ssize_t got = ::recv(m_socket.get(), chunk, std::min(room, sizeof chunk), 0);
        if (got == 0)
            return ReadStatus::Closed;
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return ReadStatus::Closed;
        }
        m_buffer.append(chunk, static_cast<std::size_t>(got));
    }
}

// Drops whatever arrived after the last answer (the LF of a CR LF, a late duplicate), so the
// next line read belongs to the next request. False when the projector has closed, still
// floods us after kMaxStaleReads reads, or has already sent an answer to the command about to
// be asked (a projector that answers one request many times, as with 10,000 INNM lines): such
// a projector is out of step, and the next line could be an old answer that passes for the new
// one (one input's name for another's), so the connection is given up.
bool Connection::Link::discardStale(std::string_view command, char cls)
{
    std::string stale = std::exchange(m_buffer, std::string());
    char scratch[4096];
    bool drained = false;
    for (int i = 0; i < kMaxStaleReads && !drained; ++i) {
        const ssize_t got = ::recv(m_socket.get(), scratch, sizeof scratch, MSG_DONTWAIT);
        if (got == 0)
            return false;
        if (got > 0)
            stale.append(scratch, static_cast<std::size_t>(got));
        else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            drained = true;
        else
            return false;
    }
    if (!drained)
        return false;
    if (command.empty())
        return true;
    std::string_view rest = stale;
    for (;;) {
        const LineSplit split = splitLine(rest);
        if (split.status != LineSplit::Line)
            return true;
        rest.remove_prefix(split.consumed);
        const AnswerLine answer = matchAnswer(split.line, command, cls);
        if (answer.kind == AnswerLine::Result && answer.code != PJL_ERR_BAD_ANSWER &&
            answer.code != PJL_ERR_AUTH)
            return false;
    }
}

bool Connection::Link::sendAll(std::string_view data, Clock::time_point deadline)
{
    while (!data.empty()) {
        const ssize_t sent = ::send(m_socket.get(), data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
            platform::WaitReady(m_socket.get(), POLLOUT, deadline))
            continue;
        return false;
    }
    return true;
}

Exchange Connection::Link::request(std::string_view command, std::string_view parameter, char cls)
{
    Exchange exchange;
    if (m_refused) {
        exchange.code = PJL_ERR_AUTH;
        return exchange;
    }
    if (!m_socket.valid())
        return exchange;
    if (m_overall && Clock::now() >= *m_overall) {
        close();
        return exchange;
    }

    const Clock::time_point deadline = deadlineIn(m_timeout);
    std::string request = std::exchange(m_digest, std::string());
    request.append(1, '%').append(1, cls).append(command).append(" ").append(parameter);
    request.append("\r");
    if (!discardStale(command, cls) || !sendAll(request, deadline)) {
        close();
        return exchange;
    }

    std::string line;
    for (;;) {
        switch (readLine(deadline, line)) {
        case ReadStatus::Line:
            break;
        case ReadStatus::FramingLost:
            close();
            exchange.code = PJL_ERR_BAD_ANSWER;
            return exchange;
        case ReadStatus::TimedOut:
        case ReadStatus::Closed:
            close();
            return exchange;
        }
        const AnswerLine answer = matchAnswer(line, command, cls);
        if (answer.kind == AnswerLine::Skip)
            continue;
        exchange.code = answer.code;
        exchange.payload.assign(answer.payload);
        if (answer.code == PJL_ERR_AUTH) {
            close();
            m_refused = true;
        }
        return exchange;
    }
}

// Answers handed out until the next call of the same kind, connect or Disconnect.
struct Connection::Answers
{
    std::string name, inf1, inf2, info;
    std::vector<int> errors, lamps, inputs;
};

namespace {

template <typename Parse> auto Query(Connection::Link &link, std::string_view name, Parse parse)
{
    const Exchange exchange = link.request(name, "?");
    if (exchange.code != PJL_OK) {
        decltype(parse(std::string_view())) failed;
        failed.code = exchange.code;
        return failed;
    }
    return parse(exchange.payload);
}

int QueryInt(Connection::Link &link, std::string_view name, IntAnswer (*parse)(std::string_view),
             int *value)
{
    if (value == nullptr)
        return PJL_ERR_PARAMETER;
    const IntAnswer answer = Query(link, name, parse);
    if (answer.code == PJL_OK)
        *value = answer.value;
    return answer.code;
}

int QueryList(Connection::Link &link, std::string_view name, ListAnswer (*parse)(std::string_view),
              std::vector<int> &kept, int perEntry, const int **values, int *count)
{
    static const int noValues[1] = {0};
    if (values == nullptr || count == nullptr)
        return PJL_ERR_PARAMETER;
    ListAnswer answer = Query(link, name, parse);
    if (answer.code == PJL_OK) {
        kept = std::move(answer.values);
        *values = kept.empty() ? noValues : kept.data();
        *count = static_cast<int>(kept.size()) / perEntry;
    }
    return answer.code;
}

} // namespace

Connection::Connection() : m_link(std::make_unique<Link>()), m_answers(std::make_unique<Answers>())
{}

Connection::~Connection() = default;

void Connection::SetRecvTimeOut(int seconds)
{
    m_link->setTimeout(std::clamp(seconds, kMinTimeoutSeconds, kMaxTimeoutSeconds));
}

int Connection::GetRecvTimeOut() const
{
    return int(m_link->m_timeout.count());
}

int Connection::ConnectWithPassword(const char *ip, int port, const char *password,
                                    PasswordCheck check)
{
    *m_answers = Answers();
    return m_link->connect(ip, port, password, check);
}

bool Connection::IsAuthorizationRequired() const
{
    return m_link->authorizationRequired();
}

SecurityLevel Connection::GetSecurityLevel() const
{
    return m_link->m_security;
}

void Connection::SetOverallDeadline(std::chrono::steady_clock::time_point deadline)
{
    m_link->m_overall = deadline;
}

void Connection::Disconnect()
{
    m_link->close();
    m_link->m_refused = false;
    m_link->m_overall.reset();
    *m_answers = Answers();
}

// A set command answered "OK".
int Connection::Command(std::string_view name, std::string_view parameter)
{
    const Exchange exchange = m_link->request(name, parameter);
    return exchange.code != PJL_OK ? exchange.code : parseSetResult(exchange.payload);
}

int Connection::Power(int code)
{
    if (code != 0 && code != 1)
        return PJL_ERR_PARAMETER;
    return Command("POWR", code == 1 ? "1" : "0");
}

int Connection::ChangeInput(int type, int number)
{
    const char numberChar = inputNumberChar(number);
    if (type < 1 || type > 9 || numberChar == 0)
        return PJL_ERR_PARAMETER;
    const char parameter[] = {static_cast<char>('0' + type), numberChar};
    return Command("INPT", std::string_view(parameter, sizeof parameter));
}

int Connection::Mute(int code, int on)
{
    if (code < 1 || code > 3 || (on != 0 && on != 1))
        return PJL_ERR_PARAMETER;
    const char parameter[] = {static_cast<char>('0' + code), static_cast<char>('0' + on)};
    return Command("AVMT", std::string_view(parameter, sizeof parameter));
}

int Connection::GetPowerStatus(int *power)
{
    return QueryInt(*m_link, "POWR", parsePower, power);
}

int Connection::GetInput(int *type, int *number)
{
    if (type == nullptr || number == nullptr)
        return PJL_ERR_PARAMETER;
    const InputAnswer answer = Query(*m_link, "INPT", parseInput);
    if (answer.code == PJL_OK) {
        *type = answer.type;
        *number = answer.number;
    }
    return answer.code;
}

int Connection::GetMuteStatus(int *value)
{
    return QueryInt(*m_link, "AVMT", parseMute, value);
}

int Connection::GetErrorStatus(const int **levels, int *count)
{
    return QueryList(*m_link, "ERST", parseErrorStatus, m_answers->errors, 1, levels, count);
}

int Connection::GetLampStatus(const int **pairs, int *count)
{
    return QueryList(*m_link, "LAMP", parseLamps, m_answers->lamps, 2, pairs, count);
}

int Connection::GetAvailableInputList(const int **pairs, int *count)
{
    return QueryList(*m_link, "INST", parseInputList, m_answers->inputs, 2, pairs, count);
}

int Connection::QueryText(std::string_view name, std::string Answers::*storage, const char **text)
{
    if (text == nullptr)
        return PJL_ERR_PARAMETER;
    TextAnswer answer = Query(*m_link, name, parseText);
    if (answer.code == PJL_OK) {
        std::string &kept = (*m_answers).*storage;
        kept = std::move(answer.text);
        *text = kept.c_str();
    }
    return answer.code;
}

int Connection::GetName(const char **text)
{
    return QueryText("NAME", &Answers::name, text);
}

int Connection::GetInf1(const char **text)
{
    return QueryText("INF1", &Answers::inf1, text);
}

int Connection::GetInf2(const char **text)
{
    return QueryText("INF2", &Answers::inf2, text);
}

int Connection::GetInfo(const char **text)
{
    return QueryText("INFO", &Answers::info, text);
}

int Connection::Request(char cls, std::string_view name, std::string_view parameter,
                        std::string &payload)
{
    if ((cls != '1' && cls != '2') || name.size() != 4 || parameter.empty() ||
        parameter.size() > 128 || parameter.find_first_of("\r\n") != std::string_view::npos)
        return PJL_ERR_PARAMETER;
    Exchange exchange = m_link->request(name, parameter, cls);
    if (exchange.code == PJL_OK)
        payload = std::move(exchange.payload);
    return exchange.code;
}

int Connection::GetClss(int *cls)
{
    return QueryInt(*m_link, "CLSS", parseClass, cls);
}

} // namespace pjlink
