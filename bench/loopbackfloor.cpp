#include "bench/loopbackfloor.h"

#include "platform/uniquefd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

sockaddr_in endpoint(const char *address)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(4352);
    inet_pton(AF_INET, address, &addr.sin_addr);
    return addr;
}

// Reads until a CR ends what has arrived; false on end of stream. Each side sends one line and
// then waits, so whatever arrives ends with the line's CR.
bool readLine(int fd)
{
    char buffer[512];
    for (int i = 0; i < 64; ++i) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        if (buffer[n - 1] == '\r')
            return true;
    }
    return false;
}

void noDelay(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

} // namespace

void BenchFail(const char *what)
{
    std::fprintf(stderr, "benchmark: %s\n", what);
    std::exit(1);
}

struct LoopbackFloor::Impl
{
    sockaddr_in address{};
    int listener = -1;
    std::atomic<bool> stop{false};
    std::thread thread;

    void Serve()
    {
        while (!stop) {
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            platform::UniqueFd client(::accept(listener, nullptr, nullptr));
            if (client.get() < 0)
                continue;
            noDelay(client.get());
            static const char greeting[] = "PJLINK 0\r";
            static const char answer[] = "%1POWR=1\r";
            ::send(client.get(), greeting, sizeof greeting - 1, MSG_NOSIGNAL);
            while (readLine(client.get()))
                ::send(client.get(), answer, sizeof answer - 1, MSG_NOSIGNAL);
        }
    }
};

LoopbackFloor::LoopbackFloor(const char *address) : d(new Impl)
{
    d->address = endpoint(address);
    d->listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(d->listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(d->listener, reinterpret_cast<const sockaddr *>(&d->address), sizeof d->address) !=
            0 ||
        ::listen(d->listener, 16) != 0)
        BenchFail("the floor server cannot listen");
    d->thread = std::thread([this] { d->Serve(); });
}

LoopbackFloor::~LoopbackFloor()
{
    d->stop = true;
    ::shutdown(d->listener, SHUT_RDWR);
    d->thread.join();
    ::close(d->listener);
    delete d;
}

bool LoopbackFloor::Read() const
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    if (::connect(fd.get(), reinterpret_cast<const sockaddr *>(&d->address), sizeof d->address) !=
        0)
        return false;
    noDelay(fd.get());
    if (!readLine(fd.get()))
        return false;
    static const char request[] = "%1POWR ?\r";
    for (int i = 0; i < kFloorRoundTrips; ++i) {
        if (::send(fd.get(), request, sizeof request - 1, MSG_NOSIGNAL) != sizeof request - 1 ||
            !readLine(fd.get()))
            return false;
    }
    return true;
}
