#pragma once

#include <string>
#include <vector>

// The floor a fleet's refresh cycle is read against: for every address at once, on one thread
// with non-blocking sockets, the same echo check a refresh makes (up to two ICMP echo requests,
// each waited for 150 ms, 150 ms apart), then for those that answer a TCP connection to port
// 4352, the greeting and the same queries a first refresh sends, one at a time. What is left
// is the fleet's own time: about that of its slowest member. Raw ICMP needs root.
namespace fleet {

struct FloorRun
{
    double ms = 0;    // from the first request to the last answer or give-up
    int answered = 0; // addresses read to the last query
    int silent = 0;   // addresses that answered no echo
    bool ok = false;  // false when the sockets could not be opened or the run overran
    double cpuMs = 0; // left to the caller: processor time the run took
};

// The queries of a first refresh, in its order: the name at connect, then the status values.
const std::vector<std::string> &RefreshQueries();

FloorRun ReadFleetFloor(const std::vector<std::string> &addresses);

} // namespace fleet
