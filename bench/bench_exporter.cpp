// lumarin-exporter serving a register of 100 projectors emulated on loopback: the time a
// /metrics request takes (answered from the last read), the same while 300 idle or slow clients
// hold connections, and the service's resident memory.

#include "bench/emulatedregister.h"
#include "platform/settingscodec.h"
#include "tools/emulator/emulatedprojector.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kProjectors = 100;
constexpr int kRequests = 2000;
constexpr int kHostileClients = 300;
constexpr int kScrapesUnderSiege = 50;

QByteArray Get(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    // Read until the whole body is there: the server may keep the connection open.
    QByteArray all;
    while (socket.waitForReadyRead(2000)) {
        all += socket.readAll();
        const qsizetype end = all.indexOf("\r\n\r\n");
        const qsizetype length = all.indexOf("Content-Length: ");
        if (end > 0 && length > 0 && length < end &&
            all.size() >=
                end + 4 + all.mid(length + 16, all.indexOf('\r', length) - length - 16).toInt())
            break;
    }
    return all;
}

// Clients that take a slot and do not finish a request: every other one sends nothing, the
// rest one byte a second. A closed one connects again at once, as a hostile client would.
class Siege
{
public:
    explicit Siege(quint16 port) : m_port(port), m_thread([this] { Run(); }) {}
    ~Siege()
    {
        m_stop = true;
        m_thread.join();
    }
    int Reconnects() const { return m_reconnects; }

private:
    int Open() const
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0)
            ::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to);
        return fd;
    }

    void Run()
    {
        // In batches, so that the listen backlog never overflows and every client is accepted.
        std::vector<int> fds;
        for (int i = 0; i < kHostileClients && !m_stop; ++i) {
            fds.push_back(Open());
            if (i % 20 == 19)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        // Bounded: the benchmark stops it, and it ends by itself after two minutes.
        for (int tick = 0; tick < 1200 && !m_stop; ++tick) {
            std::vector<pollfd> watched;
            for (const int fd : fds)
                watched.push_back({fd, POLLIN, 0});
            ::poll(watched.data(), watched.size(), 100);
            for (std::size_t i = 0; i < fds.size(); ++i) {
                char sink[512];
                const bool closed =
                    (watched[i].revents & (POLLHUP | POLLERR)) ||
                    ((watched[i].revents & POLLIN) && ::recv(fds[i], sink, sizeof sink, 0) <= 0);
                if (closed) {
                    ::close(fds[i]);
                    fds[i] = Open();
                    ++m_reconnects;
                } else if (i % 2 == 1 && tick % 10 == 0) {
                    ::send(fds[i], "G", 1, MSG_NOSIGNAL);
                }
            }
        }
        for (const int fd : fds)
            ::close(fd);
    }

    quint16 m_port;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_reconnects{0};
    std::thread m_thread;
};

long ResidentKiB(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::vector<std::unique_ptr<EmulatedProjector>> fleet;
    QByteArray settings = "[Group]\r\n\r\n[Projector]\r\n";
    for (int i = 0; i < kProjectors; ++i) {
        EmulatorConfig config;
        config.address = u"127.0.12.%1"_s.arg(i + 1).toStdString();
        config.name = "Room " + std::to_string(i + 1);
        config.power = i % 2;
        auto projector = StartEmulated(config);
        if (!projector)
            return 1;
        settings += RegisterLine(i + 1, config);
        fleet.push_back(std::move(projector));
    }
    settings += "\r\n[Property]\r\nRefreshInterval=5\r\nTimeout=1\r\nShowInformation=1\r\n"
                "DisplayOnlyError=0\r\nEntryManagerDlg=0\r\n";
    const QString path = dir.filePath(u"bench.ini"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(settings) != settings.size())
        return 1;
    file.close();

    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QProcess exporter;
    exporter.start(QCoreApplication::applicationDirPath() + u"/../bin/lumarin-exporter"_s,
                   {u"--settings"_s, path, u"--listen"_s, u"127.0.0.1:%1"_s.arg(port),
                    u"--interval"_s, u"2"_s});
    if (!exporter.waitForStarted(10000))
        return 1;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000 && !Get(port).contains("lumarin_projector_up{"))
        QThread::msleep(100);

    std::vector<double> ms;
    ms.reserve(kRequests);
    for (int i = 0; i < kRequests; ++i) {
        QElapsedTimer one;
        one.start();
        const QByteArray reply = Get(port);
        ms.push_back(double(one.nsecsElapsed()) / 1e6);
        if (!reply.contains("200 OK"))
            std::fprintf(stderr, "request %d failed\n", i);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("lumarin-exporter, %d projectors, %d requests of /metrics (%lld bytes)\n",
                kProjectors, kRequests, static_cast<long long>(Get(port).size()));
    std::printf("  response time: median %.3f ms, 99th percentile %.3f ms, worst %.3f ms "
                "(goal under 5 ms)\n",
                ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back());
    std::printf("  resident memory: %ld KiB (goal under 30 MB)\n",
                ResidentKiB(exporter.processId()));

    // Scrapes while hostile clients hold connections: each must be answered within 1 s.
    std::vector<double> sieged;
    int unanswered = 0;
    int reconnects = 0;
    {
        Siege siege(port);
        QThread::msleep(3000);
        for (int i = 0; i < kScrapesUnderSiege; ++i) {
            QElapsedTimer one;
            one.start();
            const bool answered = Get(port).contains("200 OK");
            sieged.push_back(double(one.nsecsElapsed()) / 1e6);
            unanswered += answered ? 0 : 1;
            QThread::msleep(100);
        }
        reconnects = siege.Reconnects();
    }
    std::sort(sieged.begin(), sieged.end());
    std::printf("  with %d idle or slow clients: %d of %d scrapes answered, median %.3f ms, "
                "worst %.3f ms (goal: all, each within 1 s); the clients were closed %d times\n",
                kHostileClients, kScrapesUnderSiege - unanswered, kScrapesUnderSiege,
                sieged[sieged.size() / 2], sieged.back(), reconnects);
    std::printf("  resident memory after: %ld KiB (goal under 30 MB)\n",
                ResidentKiB(exporter.processId()));
    exporter.terminate();
    exporter.waitForFinished(10000);
    return 0;
}
