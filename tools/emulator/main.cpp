// pjlink-emulator: serves a fleet of emulated PJLink projectors described in a JSON file.

#include "tools/emulator/emulatedprojector.h"
#include "tools/emulator/fleetconfig.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Blocks until SIGINT or SIGTERM arrives or the deadline passes, waking every 200 ms so that
// received commands can be logged. Returns true on a signal.
bool waitForSignal(const sigset_t &stopSignals, const QDeadlineTimer &deadline,
                   const std::vector<std::unique_ptr<EmulatedProjector>> &fleet, bool verbose)
{
    while (!deadline.hasExpired()) {
        const timespec tick{0, 200'000'000};
        if (::sigtimedwait(&stopSignals, nullptr, &tick) > 0)
            return true;
        // Taken even when not shown, so a long run does not pile them up.
        for (const auto &projector : fleet) {
            const auto commands = projector->takeReceivedCommands();
            if (!verbose)
                continue;
            const EmulatorConfig c = projector->config();
            for (const auto &command : commands)
                std::printf("%s:%d  < %s\n", c.address.c_str(), c.port, command.c_str());
        }
        std::fflush(stdout);
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // Blocked before any thread starts, so every thread inherits the mask and only
    // sigtimedwait below ever sees these stopSignals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"pjlink-emulator"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Serves emulated PJLink projectors (Class 2 also over UDP).\n\n"_s + fleetConfigHelp());
    parser.addHelpOption();
    const QCommandLineOption configOption(u"config"_s, u"Fleet description (JSON)."_s, u"file"_s);
    const QCommandLineOption verboseOption(u"verbose"_s, u"Print every command received."_s);
    const QCommandLineOption secondsOption(u"seconds"_s, u"Stop after this many seconds."_s,
                                           u"n"_s);
    parser.addOptions({configOption, verboseOption, secondsOption});
    parser.process(app);

    if (!parser.isSet(configOption)) {
        std::fprintf(stderr, "pjlink-emulator: --config is required\n");
        return 2;
    }
    QDeadlineTimer deadline(QDeadlineTimer::Forever);
    if (parser.isSet(secondsOption)) {
        bool ok = false;
        const int seconds = parser.value(secondsOption).toInt(&ok);
        if (!ok || seconds < 0) {
            std::fprintf(stderr, "pjlink-emulator: --seconds needs a whole number\n");
            return 2;
        }
        deadline.setRemainingTime(qint64(seconds) * 1000);
    }

    QFile file(parser.value(configOption));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "pjlink-emulator: %s\n", qPrintable(file.errorString()));
        return 1;
    }
    std::vector<EmulatorConfig> configs;
    QString error;
    if (!parseFleetConfig(file.readAll(), &configs, &error)) {
        std::fprintf(stderr, "pjlink-emulator: %s: %s\n", qPrintable(file.fileName()),
                     qPrintable(error));
        return 1;
    }

    std::vector<std::unique_ptr<EmulatedProjector>> fleet;
    for (auto &config : configs) {
        auto projector = std::make_unique<EmulatedProjector>(config);
        std::string reason;
        if (!projector->start(&reason)) {
            std::fprintf(stderr, "pjlink-emulator: %s\n", reason.c_str());
            return 1;
        }
        const EmulatorConfig c = projector->config();
        const std::string classTwo = c.pjlinkClass == 2 ? "  (Class 2, " + c.macAddress + ", UDP " +
                                                              std::to_string(c.udpPort) + ")"
                                                        : std::string();
        std::printf("%s:%d  %s%s%s%s\n", c.address.c_str(), c.port, c.name.c_str(),
                    c.password.empty() ? "" : "  (password)",
                    c.listening ? "" : "  (not listening)", classTwo.c_str());
        fleet.push_back(std::move(projector));
    }
    std::fflush(stdout);

    waitForSignal(stopSignals, deadline, fleet, parser.isSet(verboseOption));
    fleet.clear();
    return 0;
}
