#pragma once

#include <functional>

// Connections a refresh cycle, a command or a read-back keeps open at once, at most.
inline constexpr int MAX_PARALLEL_CONNECTIONS = 32;

// Runs work(i) for every i in 0..count-1 on up to MAX_PARALLEL_CONNECTIONS threads at once and
// returns when all have ended. inOrder(i) runs once per i, strictly in index order and one at a
// time, as soon as work(i) and every work before it have ended, so results come out as a walk
// one by one would give them. With count 1 the work runs on the calling thread.
void RunInParallel(int count, const std::function<void(int)> &work,
                   const std::function<void(int)> &inOrder);
