#pragma once

#include "model/limits.h"

#include <functional>

// Connections a refresh cycle, a command or a read-back keeps open at once, at most: the whole
// register, so a cycle lasts as long as its slowest projector rather than a few waves of them.
// Each is a thread blocked on its own socket (two where a window connects on a thread of its
// own), so the cost is bounded by the register's size.
inline constexpr int MAX_PARALLEL_CONNECTIONS = MAX_PROJECTORS;

// Runs work(i) for every i in 0..count-1 on up to width threads at once and returns when all
// have ended. inOrder(i) runs once per i, strictly in index order and one at a
// time, as soon as work(i) and every work before it have ended, so results come out as a walk
// one by one would give them. With count 1 the work runs on the calling thread.
void RunInParallel(int count, const std::function<void(int)> &work,
                   const std::function<void(int)> &inOrder, int width = MAX_PARALLEL_CONNECTIONS);
