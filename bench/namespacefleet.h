#pragma once

#include "tools/emulator/emulatedprojector.h"

#include <QString>

#include <memory>
#include <vector>

// A realistic fleet for benchmarks, inside a network namespace of the benchmark's own (root
// only): 100 projectors, every fifth silent (its packets vanish on a veth whose far end drops
// everything), the others answering each query after 30 ms on the namespace's loopback. The
// same 100 are also all alive at addresses of their own (LiveAddress), for the fleet where
// everybody answers.
namespace fleet {

constexpr int kSize = 100;
constexpr int kSilentEvery = 5; // 20 of 100
constexpr int kAnswerDelayMs = 30;

bool IsSilent(int i);
int SilentCount();
QString Address(const QString &net, int i);     // net: "10.216.N"
QString LiveAddress(const QString &net, int i); // member i answering, silent or not

// In the benchmark's own process: makes the namespace and runs this program again inside it,
// with the fleet's network in the environment; prints its output and returns its exit code.
// Says why and returns 0 where no namespace can be made.
int RunInside(const QString &prefix, int timeoutMs);
// In the program run inside: the fleet's network, empty when not inside.
QString NetworkInside();
// Inside: true when only loopback and the fleet's adapters are seen, so nothing real is probed.
bool CheckIsolated();
// Inside: emulators for the answering members (every member at its LiveAddress when
// everyMember), empty with a message when one fails to start.
std::vector<std::unique_ptr<EmulatedProjector>> StartEmulators(const QString &net,
                                                               bool everyMember = false);

} // namespace fleet
