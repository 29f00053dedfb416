#include "model/parallelwalk.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

void RunInParallel(int count, const std::function<void(int)> &work,
                   const std::function<void(int)> &inOrder, int width)
{
    if (count <= 0)
        return;
    std::atomic<int> next{0};
    std::mutex orderLock; // guards done and emitted; inOrder runs under it
    std::vector<char> done(size_t(count), 0);
    int emitted = 0;

    const auto run = [&] {
        for (int i = next.fetch_add(1); i < count; i = next.fetch_add(1)) {
            work(i);
            std::lock_guard guard(orderLock);
            done[size_t(i)] = 1;
            while (emitted < count && done[size_t(emitted)])
                inOrder(emitted++);
        }
    };

    std::vector<std::thread> threads;
    const int extra = std::min(count, std::max(width, 1)) - 1;
    for (int t = 0; t < extra; ++t) {
        try {
            threads.emplace_back(run);
        } catch (const std::system_error &) {
            break; // fewer threads: the ones running take the rest
        }
    }
    run(); // the calling thread takes its share too
    for (std::thread &thread : threads)
        thread.join();
}
