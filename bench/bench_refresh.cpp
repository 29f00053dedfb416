// One full refresh cycle over 100 emulated projectors on loopback (some with passwords, some
// reporting errors, some not listening), beside the floor of bare loopback round trips.

#include "bench/loopbackfloor.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "model/refreshworker.h"
#include "pjlink/pjlib.h"
#include "tools/emulator/emulatedprojector.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    constexpr int kProjectors = 100;

    std::vector<std::unique_ptr<EmulatedProjector>> fleet;
    int withPassword = 0, withErrors = 0, silent = 0;
    ProjectorManager *manager = ProjectorManager::GetInstance();
    for (int i = 0; i < kProjectors; ++i) {
        EmulatorConfig config;
        config.address = "127.0.6." + std::to_string(i + 1);
        config.name = "Bench " + std::to_string(i + 1);
        config.power = i % 3 == 0 ? 0 : 1;
        QString password;
        if (i % 4 == 1) {
            config.password = "secret";
            password = u"secret"_s;
            ++withPassword;
        }
        if (i % 5 == 2) {
            config.errors[i % 6] = 1 + i % 2;
            ++withErrors;
        }
        if (i % 10 == 9) {
            config.listening = false;
            ++silent;
        }
        fleet.push_back(std::make_unique<EmulatedProjector>(config));
        std::string error;
        if (!fleet.back()->start(&error))
            BenchFail(error.c_str());
        manager->AddProjector(std::make_unique<Projector>(
            QString(), QString::fromStdString(config.address), password, u"M"_s, u"/"_s));
    }

    ProjectorManager::InitProjectors();
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(5);

    LoopbackFloor floor("127.0.0.250");
    MedianMicroseconds([&] { return floor.Read(); }, 50);
    const double floorUs = MedianMicroseconds([&] { return floor.Read(); }, 500);

    QObject receiver;
    int events = 0;
    const auto start = std::chrono::steady_clock::now();
    {
        RefreshWorker worker(
            *manager,
            [&](const std::vector<Projector *> &projectors) {
                manager->UpdateStatuses(projectors, false,
                                        [&](std::unique_ptr<ActionEvent>) { ++events; });
            },
            &receiver);
    }
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    int reachable = 0;
    for (Projector *projector : manager->GetProjectors())
        reachable += projector->IsReachable() ? 1 : 0;
    ProjectorManager::DestroyInstance();

    std::printf("Refresh cycle over %d emulated projectors (%d with password, %d with errors, %d "
                "not listening):\n",
                kProjectors, withPassword, withErrors, silent);
    std::printf("  wall time        %8.1f ms\n", wallMs);
    std::printf("  per projector    %8.1f us\n", wallMs * 1000.0 / kProjectors);
    std::printf("  PJLink floor     %8.1f us  (%d bare round trips on loopback TCP)\n", floorUs,
                kFloorRoundTrips);
    std::printf("  reachable %d, events %d\n", reachable, events);
    return 0;
}
