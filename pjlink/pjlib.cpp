#include "pjlink/pjlib.h"

#include "pjlink/answer.h"
#include "platform/pollwait.h"
#include "platform/uniquefd.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultTimeoutSeconds = 5;
constexpr int kMinTimeoutSeconds = 1;
constexpr int kMaxTimeoutSeconds = 60;

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

// The one PJLink connection of the process. Not thread-safe: the library lock guards it.
class Client
{
public:
    void setTimeout(int seconds) { m_timeout = std::chrono::seconds(seconds); }
    int connect(const char *ip, int port, const char *password);
    void close();
    bool authorizationRequired() const { return m_authRequired; }

    // Sends "%1<command> <parameter>" and waits for its answer. Codes other than 0 and 5
    // leave the connection closed, as does 5 when the line framing was lost.
    Exchange request(std::string_view command, std::string_view parameter);

private:
    enum class ReadStatus { Line, TimedOut, Closed, FramingLost };

    int openSocket(const in_addr &address, int port);
    ReadStatus readLine(Clock::time_point deadline, std::string &line);
    bool discardStale();
    bool sendAll(std::string_view data, Clock::time_point deadline);

    Socket m_socket;
    std::string m_buffer;
    std::string m_digest; // prefix of the first command when security is on
    std::chrono::seconds m_timeout{kDefaultTimeoutSeconds};
    bool m_authRequired = false;
};

void Client::close()
{
    m_socket.reset();
    m_buffer.clear();
    m_digest.clear();
}

int Client::openSocket(const in_addr &address, int port)
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
        if (!platform::WaitReady(socket.get(), POLLOUT, Clock::now() + m_timeout))
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

int Client::connect(const char *ip, int port, const char *password)
{
    close();
    m_authRequired = false;

    in_addr address{};
    if (ip == nullptr || port < 1 || port > 65535 || ::inet_pton(AF_INET, ip, &address) != 1)
        return PJL_ERR_SOCKET_BASE + EINVAL;
    if (const int result = openSocket(address, port); result != PJL_OK)
        return result;

    const Clock::time_point deadline = Clock::now() + m_timeout;
    std::string line;
    do {
        if (readLine(deadline, line) != ReadStatus::Line) {
            close();
            return PJL_ERR_CONNECTION;
        }
    } while (isBlankLine(line));

    const pjlink::Greeting greeting = pjlink::parseGreeting(line);
    if (greeting.code != PJL_OK) {
        m_authRequired = greeting.code == PJL_ERR_AUTH;
        close();
        return greeting.code;
    }
    if (!greeting.security)
        return PJL_OK;

    m_authRequired = true;
    const std::string_view secret = password != nullptr ? password : "";
    if (secret.empty()) {
        close();
        return PJL_ERR_AUTH;
    }
    QByteArray seed(greeting.random.data(), static_cast<qsizetype>(greeting.random.size()));
    seed.append(secret.data(), static_cast<qsizetype>(secret.size()));
    m_digest = QCryptographicHash::hash(seed, QCryptographicHash::Md5).toHex().toStdString();

    // A wrong password is only answered to a command, and the caller wants to know at connect.
    const Exchange check = request("CLSS", "?");
    if (!m_socket.valid())
        return check.code;
    return PJL_OK;
}

Client::ReadStatus Client::readLine(Clock::time_point deadline, std::string &line)
{
    for (;;) {
        const pjlink::LineSplit split = pjlink::splitLine(m_buffer);
        if (split.status == pjlink::LineSplit::Line) {
            line.assign(split.line);
            m_buffer.erase(0, split.consumed);
            return ReadStatus::Line;
        }
        if (split.status == pjlink::LineSplit::FramingLost)
            return ReadStatus::FramingLost;

        if (!platform::WaitReady(m_socket.get(), POLLIN, deadline))
            return ReadStatus::TimedOut;
        char chunk[pjlink::kMaxUnframedBytes];
        const std::size_t room = pjlink::kMaxUnframedBytes - m_buffer.size();
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
// next line read belongs to the next request. False when the projector has closed.
bool Client::discardStale()
{
    m_buffer.clear();
    char scratch[pjlink::kMaxUnframedBytes];
    for (int i = 0; i < 8; ++i) {
        const ssize_t got = ::recv(m_socket.get(), scratch, sizeof scratch, MSG_DONTWAIT);
        if (got > 0)
            continue;
        if (got == 0)
            return false;
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
    return true;
}

bool Client::sendAll(std::string_view data, Clock::time_point deadline)
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

Exchange Client::request(std::string_view command, std::string_view parameter)
{
    Exchange exchange;
    if (!m_socket.valid())
        return exchange;

    const Clock::time_point deadline = Clock::now() + m_timeout;
    std::string request = std::exchange(m_digest, std::string());
    request.append("%1").append(command).append(" ").append(parameter).append("\r");
    if (!discardStale() || !sendAll(request, deadline)) {
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
        const pjlink::AnswerLine answer = pjlink::matchAnswer(line, command);
        if (answer.kind == pjlink::AnswerLine::Skip)
            continue;
        exchange.code = answer.code;
        exchange.payload.assign(answer.payload);
        if (answer.code == PJL_ERR_AUTH)
            close();
        return exchange;
    }
}

// Everything the library keeps. Every entry point takes the lock before touching any of it.
struct Library
{
    std::mutex mutex;
    Client client;
    // Handed out until the next call of the same kind or PJLDisconnect.
    std::string name, inf1, inf2, info;
    std::vector<int> errors, lamps, inputs;

    void forgetAnswers()
    {
        name = std::string();
        inf1 = std::string();
        inf2 = std::string();
        info = std::string();
        errors = std::vector<int>();
        lamps = std::vector<int>();
        inputs = std::vector<int>();
    }
};

Library &library()
{
    static Library instance;
    return instance;
}

using Lock = std::lock_guard<std::mutex>;

// A set command answered "OK".
int command(std::string_view name, std::string_view parameter)
{
    const Exchange exchange = library().client.request(name, parameter);
    return exchange.code != PJL_OK ? exchange.code : pjlink::parseSetResult(exchange.payload);
}

template <typename Parse> auto query(std::string_view name, Parse parse)
{
    const Exchange exchange = library().client.request(name, "?");
    if (exchange.code != PJL_OK) {
        decltype(parse(std::string_view())) failed;
        failed.code = exchange.code;
        return failed;
    }
    return parse(exchange.payload);
}

int queryInt(std::string_view name, pjlink::IntAnswer (*parse)(std::string_view), int *value)
{
    if (value == nullptr)
        return PJL_ERR_PARAMETER;
    const Lock lock(library().mutex);
    const pjlink::IntAnswer answer = query(name, parse);
    if (answer.code == PJL_OK)
        *value = answer.value;
    return answer.code;
}

int queryText(std::string_view name, std::string Library::*storage, const char **text)
{
    if (text == nullptr)
        return PJL_ERR_PARAMETER;
    const Lock lock(library().mutex);
    pjlink::TextAnswer answer = query(name, pjlink::parseText);
    if (answer.code == PJL_OK) {
        std::string &kept = library().*storage;
        kept = std::move(answer.text);
        *text = kept.c_str();
    }
    return answer.code;
}

int queryList(std::string_view name, pjlink::ListAnswer (*parse)(std::string_view),
              std::vector<int> Library::*storage, int perEntry, const int **values, int *count)
{
    static const int noValues[1] = {0};
    if (values == nullptr || count == nullptr)
        return PJL_ERR_PARAMETER;
    const Lock lock(library().mutex);
    pjlink::ListAnswer answer = query(name, parse);
    if (answer.code == PJL_OK) {
        std::vector<int> &kept = library().*storage;
        kept = std::move(answer.values);
        *values = kept.empty() ? noValues : kept.data();
        *count = static_cast<int>(kept.size()) / perEntry;
    }
    return answer.code;
}

} // namespace

extern "C" {

// Also resets the connection state. The receive time-out is a setting, not state: it is
// usually given while the settings load, before the application starts the library, and must
// survive that.
int PJLInit(void)
{
    Library &lib = library();
    const Lock lock(lib.mutex);
    lib.client.close();
    lib.forgetAnswers();
    return PJL_OK;
}

int PJLDestroy(void)
{
    Library &lib = library();
    const Lock lock(lib.mutex);
    lib.client.close();
    lib.forgetAnswers();
    return PJL_OK;
}

int PJLSetRecvTimeOut(int seconds)
{
    Library &lib = library();
    const Lock lock(lib.mutex);
    lib.client.setTimeout(std::clamp(seconds, kMinTimeoutSeconds, kMaxTimeoutSeconds));
    return PJL_OK;
}

int PJLConnectWithPassword(const char *ip, int port, const char *password)
{
    Library &lib = library();
    const Lock lock(lib.mutex);
    lib.forgetAnswers();
    return lib.client.connect(ip, port, password);
}

int PJLIsAuthorizationRequired(void)
{
    Library &lib = library();
    const Lock lock(lib.mutex);
    return lib.client.authorizationRequired() ? 1 : 0;
}

int PJLDisconnect(void)
{
    Library &lib = library();
    const Lock lock(lib.mutex);
    lib.client.close();
    lib.forgetAnswers();
    return PJL_OK;
}

int PJLPower(int code)
{
    if (code != 0 && code != 1)
        return PJL_ERR_PARAMETER;
    const Lock lock(library().mutex);
    return command("POWR", code == 1 ? "1" : "0");
}

int PJLChangeInput(int type, int number)
{
    const char numberChar = pjlink::inputNumberChar(number);
    if (type < 1 || type > 9 || numberChar == 0)
        return PJL_ERR_PARAMETER;
    const char parameter[] = {static_cast<char>('0' + type), numberChar};
    const Lock lock(library().mutex);
    return command("INPT", std::string_view(parameter, sizeof parameter));
}

int PJLMute(int code, int on)
{
    if (code < 1 || code > 3 || (on != 0 && on != 1))
        return PJL_ERR_PARAMETER;
    const char parameter[] = {static_cast<char>('0' + code), static_cast<char>('0' + on)};
    const Lock lock(library().mutex);
    return command("AVMT", std::string_view(parameter, sizeof parameter));
}

int PJLGetPowerStatus(int *power)
{
    return queryInt("POWR", pjlink::parsePower, power);
}

int PJLGetInput(int *type, int *number)
{
    if (type == nullptr || number == nullptr)
        return PJL_ERR_PARAMETER;
    const Lock lock(library().mutex);
    const pjlink::InputAnswer answer = query("INPT", pjlink::parseInput);
    if (answer.code == PJL_OK) {
        *type = answer.type;
        *number = answer.number;
    }
    return answer.code;
}

int PJLGetMuteStatus(int *value)
{
    return queryInt("AVMT", pjlink::parseMute, value);
}

int PJLGetErrorStatus(const int **levels, int *count)
{
    return queryList("ERST", pjlink::parseErrorStatus, &Library::errors, 1, levels, count);
}

int PJLGetLampStatus(const int **pairs, int *count)
{
    return queryList("LAMP", pjlink::parseLamps, &Library::lamps, 2, pairs, count);
}

int PJLGetAvailableInputList(const int **pairs, int *count)
{
    return queryList("INST", pjlink::parseInputList, &Library::inputs, 2, pairs, count);
}

int PJLGetName(const char **text)
{
    return queryText("NAME", &Library::name, text);
}

int PJLGetInf1(const char **text)
{
    return queryText("INF1", &Library::inf1, text);
}

int PJLGetInf2(const char **text)
{
    return queryText("INF2", &Library::inf2, text);
}

int PJLGetInfo(const char **text)
{
    return queryText("INFO", &Library::info, text);
}

int PJLGetClss(int *cls)
{
    return queryInt("CLSS", pjlink::parseClass, cls);
}

} // extern "C"
