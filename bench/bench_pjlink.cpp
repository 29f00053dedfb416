// Cost of a full state read through the PJLink client against the floor of the same number of
// bare request/answer round trips on a plain loopback TCP socket.
//
// Full read: connect with authentication, the seven queries of a status refresh, disconnect.

#include "bench/loopbackfloor.h"
#include "pjlink/pjlib.h"
#include "tools/emulator/emulatedprojector.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char *kClientAddress = "127.0.0.251";

bool clientRead()
{
    if (PJLConnectWithPassword(kClientAddress, 4352, "bench") != PJL_OK) {
        PJLDisconnect();
        return false;
    }
    int power = 0, type = 0, number = 0, mute = 0, count = 0;
    const int *array = nullptr;
    const char *text = nullptr;
    bool ok = PJLGetPowerStatus(&power) == PJL_OK;
    ok = PJLGetAvailableInputList(&array, &count) == PJL_OK && ok;
    ok = PJLGetInput(&type, &number) == PJL_OK && ok;
    ok = PJLGetMuteStatus(&mute) == PJL_OK && ok;
    ok = PJLGetErrorStatus(&array, &count) == PJL_OK && ok;
    ok = PJLGetInf1(&text) == PJL_OK && ok;
    ok = PJLGetLampStatus(&array, &count) == PJL_OK && ok;
    PJLDisconnect();
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    const int reads = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;

    EmulatorConfig config;
    config.address = kClientAddress;
    config.password = "bench";
    config.power = 1;
    EmulatedProjector projector(config);
    std::string error;
    if (!projector.start(&error))
        BenchFail(error.c_str());
    LoopbackFloor floor("127.0.0.250");

    PJLInit();
    PJLSetRecvTimeOut(5);
    MedianMicroseconds([&] { return floor.Read(); }, reads / 10 + 1); // warm up both paths
    MedianMicroseconds(clientRead, reads / 10 + 1);
    const double floorUs = MedianMicroseconds([&] { return floor.Read(); }, reads);
    const double clientUs = MedianMicroseconds(clientRead, reads);
    PJLDestroy();

    std::printf("PJLink full state read (auth + 7 queries), median of %d:\n", reads);
    std::printf("  client   %8.1f us\n", clientUs);
    std::printf("  floor    %8.1f us  (%d bare round trips on loopback TCP)\n", floorUs,
                kFloorRoundTrips);
    std::printf("  ratio    %8.2f  (goal: at most 1.50)\n", clientUs / floorUs);
    return 0;
}
