// lumarin-exporter: serves a register's projectors to Prometheus. A background thread reads the
// projectors at the register's refresh interval (tools/exporter/metricscollector.h); requests
// are answered from the latest read, on the event loop, without waiting for the network.

#include "tools/exporter/guardedtcpserver.h"
#include "tools/exporter/metricscollector.h"

#include "platform/stop_signals.h"
#include "store/actioneventmanager.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTextStream>

#include <csignal>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr quint16 kDefaultPort = 9847;

int Usage(const QString &text)
{
    QTextStream(stderr) << "lumarin-exporter: " << text << Qt::endl;
    return 2;
}

// "ADDR:PORT", "ADDR" or ":PORT"; IPv4 or IPv6 in brackets.
bool ParseListen(const QString &text, QHostAddress &address, quint16 &port)
{
    QString host = text;
    port = kDefaultPort;
    const int colon = text.lastIndexOf(u':');
    if (colon >= 0 && !text.endsWith(u']')) {
        bool ok = false;
        const uint value = text.mid(colon + 1).toUInt(&ok);
        if (!ok || value > 65535)
            return false;
        port = quint16(value);
        host = text.left(colon);
    }
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty())
        host = u"127.0.0.1"_s;
    return address.setAddress(host);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"lumarin-exporter"_s);
    QCoreApplication::setApplicationVersion(u"" LUMARIN_VERSION ""_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Serves the projectors of a Lumarin register as Prometheus metrics on /metrics."_s);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption settings(
        u"settings"_s, u"The settings file (default: ~/.config/lumarin/lumarin.ini)."_s, u"FILE"_s);
    const QCommandLineOption listen(
        u"listen"_s, u"Address and port to listen on (default: 127.0.0.1:9847)."_s, u"ADDR:PORT"_s);
    const QCommandLineOption registerName(
        u"register"_s, u"The register label (default: the settings file's base name)."_s,
        u"NAME"_s);
    const QCommandLineOption interval(
        u"interval"_s, u"Seconds between reads (default: the register's refresh interval)."_s,
        u"SECONDS"_s);
    const QCommandLineOption requestTimeout(
        u"request-timeout"_s,
        u"Seconds a client has to send a whole request (default: 10); then it is closed."_s,
        u"SECONDS"_s);
    const QCommandLineOption idleTimeout(
        u"idle-timeout"_s,
        u"Seconds a connection may wait without a request (default: 60); then it is closed."_s,
        u"SECONDS"_s);
    parser.addOptions({settings, listen, registerName, interval, requestTimeout, idleTimeout});
    // parse, not process: process ends with status 1 on an unknown option, which a service
    // manager could not tell from a port that is taken.
    if (!parser.parse(QCoreApplication::arguments()))
        return Usage(parser.errorText());
    if (parser.isSet(helpOption)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (parser.isSet(versionOption)) {
        QTextStream(stdout) << "lumarin-exporter " LUMARIN_VERSION "\n";
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return Usage(u"takes no arguments; see --help"_s);

    MetricsCollector::Options options;
    options.settingsPath =
        parser.isSet(settings)
            ? QFileInfo(parser.value(settings)).absoluteFilePath()
            : QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                  .filePath(u"lumarin/lumarin.ini"_s);
    options.registerName = parser.value(registerName);
    if (parser.isSet(interval)) {
        bool ok = false;
        const int seconds = parser.value(interval).toInt(&ok);
        if (!ok || seconds < 1 || seconds > 86400)
            return Usage(u"--interval takes 1 to 86400 seconds"_s);
        options.interval = std::chrono::seconds(seconds);
    }
    std::chrono::seconds requestSeconds{10};
    std::chrono::seconds idleSeconds{60};
    for (auto [option, value] :
         {std::pair{&requestTimeout, &requestSeconds}, std::pair{&idleTimeout, &idleSeconds}}) {
        if (!parser.isSet(*option))
            continue;
        bool ok = false;
        const int seconds = parser.value(*option).toInt(&ok);
        if (!ok || seconds < 1 || seconds > 3600)
            return Usage(u"--%1 takes 1 to 3600 seconds"_s.arg(option->names().constFirst()));
        *value = std::chrono::seconds(seconds);
    }
    QHostAddress address;
    quint16 port = 0;
    if (!ParseListen(parser.isSet(listen) ? parser.value(listen) : u"127.0.0.1"_s, address, port))
        return Usage(u"--listen takes ADDR:PORT, for example 127.0.0.1:9847"_s);
    if (!QFileInfo::exists(options.settingsPath))
        return Usage(u"no settings file at "_s + QDir::toNativeSeparators(options.settingsPath));

    // Nothing of the application's own "event.log" is touched.
    ActionEventManager::SetLogFileEnabled(false);
    MetricsCollector collector(options);

    // Every answer comes from the latest read; none waits for a projector.
    const auto pages = [&collector](const QByteArray &path) -> std::optional<HttpAnswer> {
        if (path == "/metrics") {
            const QByteArray text = collector.Latest();
            if (text.isEmpty())
                return HttpAnswer{503, "text/plain", "the first read has not ended yet\n"};
            return HttpAnswer{200, "text/plain; version=0.0.4; charset=utf-8", text};
        }
        if (path == "/healthz") {
            // Healthy while reads keep coming: the last one ended within three intervals.
            const QDateTime at = collector.LatestAt();
            const qint64 limit = 3 * qint64(collector.Interval().count()) + 60;
            const bool fresh = at.isValid() && at.secsTo(QDateTime::currentDateTimeUtc()) <= limit;
            return fresh ? HttpAnswer{200, "text/plain", "ok\n"}
                         : HttpAnswer{503, "text/plain", "no recent read\n"};
        }
        return std::nullopt;
    };
    GuardedTcpServer server(pages, requestSeconds, idleSeconds);
    if (!server.listen(address, port)) {
        QTextStream(stderr) << "lumarin-exporter: cannot listen on " << address.toString() << ':'
                            << port << Qt::endl;
        return 1;
    }
    collector.Start();
    // Taken to the event loop: quitting from inside a signal handler is not safe.
    const platform::StopSignals stop({SIGTERM, SIGINT});
    QObject::connect(&stop, &platform::StopSignals::received, &app, &QCoreApplication::quit);
    return app.exec();
}
