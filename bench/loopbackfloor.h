#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

// The floor that PJLink timings are read against: a plain loopback TCP connection to a server
// that greets and answers every line at once, with as many round trips as a full state read
// (the authentication query and the seven status queries).
inline constexpr int kFloorRoundTrips = 8;

class LoopbackFloor
{
public:
    explicit LoopbackFloor(const char *address); // serves address:4352 until destroyed
    ~LoopbackFloor();
    LoopbackFloor(const LoopbackFloor &) = delete;
    LoopbackFloor &operator=(const LoopbackFloor &) = delete;

    // Connect, greeting, kFloorRoundTrips round trips, close; false when anything failed.
    bool Read() const;

private:
    struct Impl;
    Impl *d;
};

// Median microseconds of reads calls of read(); a failed read ends the program.
template <typename Read> double MedianMicroseconds(Read read, int reads);

// ---- implementation of the template

void BenchFail(const char *what);

template <typename Read> double MedianMicroseconds(Read read, int reads)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> samples;
    samples.reserve(reads);
    for (int i = 0; i < reads; ++i) {
        const auto start = Clock::now();
        if (!read())
            BenchFail("a read failed");
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}
