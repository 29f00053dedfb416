// lumarin-demo: starts the emulated demo fleet on loopback and shows each projector's state as
// pjlink-cli reads it.

#include "tools/emulator/emulatedprojector.h"
#include "tools/emulator/fleetconfig.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Serves the demo fleet and reads every projector of it."_s);
    parser.addHelpOption();
    const QCommandLineOption fleetOption(u"fleet"_s, u"fleet file (JSON)"_s, u"FILE"_s);
    parser.addOption(fleetOption);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QString fleetPath = parser.value(fleetOption);
    QFile file(fleetPath);
    if (fleetPath.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        err << "lumarin-demo: cannot read the fleet file '" << fleetPath << "' (--fleet)\n";
        return 1;
    }
    std::vector<EmulatorConfig> fleet;
    QString error;
    if (!parseFleetConfig(file.readAll(), &fleet, &error)) {
        err << "lumarin-demo: " << fleetPath << ": " << error << '\n';
        return 1;
    }

    std::vector<std::unique_ptr<EmulatedProjector>> projectors;
    for (const EmulatorConfig &config : fleet) {
        auto projector = std::make_unique<EmulatedProjector>(config);
        std::string reason;
        if (!projector->start(&reason)) {
            err << "lumarin-demo: " << QString::fromStdString(config.address) << ": "
                << QString::fromStdString(reason) << '\n';
            return 1;
        }
        projectors.push_back(std::move(projector));
    }
    out << "Emulated fleet of " << projectors.size() << " projectors on loopback, read with "
        << "pjlink-cli:\n";
    out.flush();

    const QString cli = QDir(QCoreApplication::applicationDirPath()).filePath(u"pjlink-cli"_s);
    int failures = 0;
    for (const EmulatorConfig &config : fleet) {
        QStringList args{QString::fromStdString(config.address), u"--port"_s,
                         QString::number(config.port), u"--timeout"_s, u"2"_s};
        if (!config.password.empty())
            args << u"--password"_s << QString::fromStdString(config.password);
        args << u"status"_s;
        out << "\n$ pjlink-cli " << args.join(u' ') << '\n';
        out.flush();
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(cli, args);
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            ++failures;
    }
    out << "\nEach projector answers at its address on port 4352 while this runs; serve the "
           "fleet on its own with\n  pjlink-emulator --config "
        << fleetPath << "\n";
    return failures == 0 ? 0 : 1;
}
