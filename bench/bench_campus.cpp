// A campus in one Prometheus: 20 lumarin-exporters, each serving a register of 100 projectors
// (2,000 in all) emulated on the loopback of a network namespace of the benchmark's own (root
// only), scraped by one Prometheus every 15 s with the shipped alerting rules. Reports each
// scrape's duration, each exporter's CPU time per refresh cycle and resident memory, how long
// Prometheus took to hold every projector, and its firing error alerts against the emulators'.

#include "bench/emulatedregister.h"
#include "platform/settingscodec.h"
#include "tests/common/testnamespace.h"
#include "tools/emulator/emulatedprojector.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRegisters = 20;
constexpr int kPerRegister = 100;
constexpr int kErrorEvery = 50; // a lamp error on every 50th projector: 40 in all
constexpr int kScrapeSeconds = 15;
constexpr int kRunSeconds = 110; // long enough for the error alert's for: 1m
constexpr const char *kInside = "LUMARIN_CAMPUS_INSIDE";

QByteArray Get(quint16 port, const QByteArray &target)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray all;
    while (socket.waitForReadyRead(5000))
        all += socket.readAll();
    const qsizetype end = all.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : all.mid(end + 4);
}

// The values of an instant query, by the label given.
std::vector<std::pair<QString, double>> Query(quint16 port, const QString &query,
                                              const QString &label = QString())
{
    std::vector<std::pair<QString, double>> values;
    const QByteArray body = Get(port, "/api/v1/query?query=" + QUrl::toPercentEncoding(query));
    const QJsonArray result =
        QJsonDocument::fromJson(body).object()[u"data"_s][u"result"_s].toArray();
    for (const QJsonValue &sample : result)
        values.emplace_back(sample[u"metric"_s][label].toString(),
                            sample[u"value"_s][1].toString().toDouble());
    return values;
}

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

long ResidentKiB(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return -1;
}

double CpuSeconds(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QByteArrayList fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the file, 12 and 13 after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

int Inside()
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<EmulatedProjector>> fleet;
    std::vector<QString> settings;
    for (int r = 0; r < kRegisters; ++r) {
        QByteArray text = "[Group]\r\n\r\n[Projector]\r\n";
        for (int i = 0; i < kPerRegister; ++i) {
            EmulatorConfig config;
            config.address = u"127.1.%1.%2"_s.arg(r + 1).arg(i + 1).toStdString();
            config.name = "Room " + std::to_string(i + 1);
            config.power = i % 2;
            if ((r * kPerRegister + i) % kErrorEvery == 7)
                config.errors[1] = 2;
            auto projector = StartEmulated(config);
            if (!projector)
                return 1;
            text += RegisterLine(i + 1, config);
            fleet.push_back(std::move(projector));
        }
        text += "\r\n[Property]\r\nRefreshInterval=1\r\nTimeout=1\r\nShowInformation=1\r\n"
                "DisplayOnlyError=0\r\nEntryManagerDlg=0\r\n";
        settings.push_back(dir.filePath(u"building%1.ini"_s.arg(r + 1, 2, 10, QLatin1Char('0'))));
        QFile file(settings.back());
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return 1;
    }

    std::vector<std::unique_ptr<QProcess>> exporters;
    QStringList targets;
    for (const QString &path : settings) {
        const quint16 port = FreePort();
        auto exporter = std::make_unique<QProcess>();
        exporter->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        exporter->start(QCoreApplication::applicationDirPath() + u"/../bin/lumarin-exporter"_s,
                        {u"--settings"_s, path, u"--listen"_s, u"127.0.0.1:%1"_s.arg(port),
                         u"--interval"_s, QString::number(kScrapeSeconds)});
        if (!exporter->waitForStarted(10000))
            return 1;
        targets.append(u"'127.0.0.1:%1'"_s.arg(port));
        exporters.push_back(std::move(exporter));
    }

    const quint16 webPort = FreePort();
    const QString config = dir.filePath(u"prometheus.yml"_s);
    const QByteArray yaml = QString(u"global:\n  scrape_interval: %1s\n  evaluation_interval: %1s\n"
                                    "rule_files: ['%2']\n"
                                    "scrape_configs:\n  - job_name: lumarin\n"
                                    "    static_configs:\n      - targets: [%3]\n"_s)
                                .arg(kScrapeSeconds)
                                .arg(QStringLiteral(LUMARIN_RULES_PATH), targets.join(u", "_s))
                                .toUtf8();
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(yaml) != yaml.size())
        return 1;
    file.close();
    QProcess prometheus;
    prometheus.setProcessChannelMode(QProcess::MergedChannels);
    prometheus.start(u"prometheus"_s, {u"--config.file="_s + config,
                                       u"--storage.tsdb.path="_s + dir.filePath(u"tsdb"_s),
                                       u"--web.listen-address=127.0.0.1:%1"_s.arg(webPort)});
    if (!prometheus.waitForStarted(10000))
        return 1;
    QElapsedTimer clock;
    clock.start();
    double allPresentAt = -1;
    while (clock.elapsed() < kRunSeconds * 1000) {
        QThread::msleep(1000);
        prometheus.readAll();
        if (allPresentAt < 0) {
            const auto count = Query(webPort, u"count(lumarin_projector_up)"_s);
            if (!count.empty() && count.front().second >= kRegisters * kPerRegister)
                allPresentAt = double(clock.elapsed()) / 1000;
        }
    }

    std::printf("Campus: %d exporters of %d projectors each, one Prometheus scraping every %d s, "
                "run of %d s\n",
                kRegisters, kPerRegister, kScrapeSeconds, kRunSeconds);
    const auto projectors = Query(webPort, u"count(lumarin_projector_up)"_s);
    std::printf("  projectors in Prometheus: %.0f (goal %d), all present %.1f s after its start "
                "(goal within %d s, two scrape intervals)\n",
                projectors.empty() ? 0.0 : projectors.front().second, kRegisters * kPerRegister,
                allPresentAt, 2 * kScrapeSeconds);
    const auto worst = Query(
        webPort, u"max_over_time(scrape_duration_seconds{job=\"lumarin\"}[5m])"_s, u"instance"_s);
    const auto mean = Query(
        webPort, u"avg_over_time(scrape_duration_seconds{job=\"lumarin\"}[5m])"_s, u"instance"_s);
    double worstMs = 0, meanMs = 0;
    for (const auto &[instance, seconds] : worst)
        worstMs = std::max(worstMs, seconds * 1000);
    for (const auto &[instance, seconds] : mean)
        meanMs += seconds * 1000 / double(std::max<size_t>(1, mean.size()));
    std::printf("  scrape duration over %zu exporters: mean %.2f ms, worst %.2f ms (goal under "
                "5 ms)\n",
                worst.size(), meanMs, worstMs);
    const auto cycles =
        Query(webPort, u"changes(lumarin_read_timestamp_seconds[5m]) + 1"_s, u"register"_s);
    double cyclesTotal = 0;
    for (const auto &[name, count] : cycles)
        cyclesTotal += count;
    const double cyclesEach = cyclesTotal / double(std::max<size_t>(1, cycles.size()));
    double cpuWorst = 0, cpuSum = 0;
    long rssWorst = 0;
    for (const auto &exporter : exporters) {
        const double cpu = CpuSeconds(exporter->processId()) / std::max(1.0, cyclesEach);
        cpuWorst = std::max(cpuWorst, cpu);
        cpuSum += cpu;
        rssWorst = std::max(rssWorst, ResidentKiB(exporter->processId()));
    }
    std::printf(
        "  exporter CPU per refresh cycle (%.1f cycles each): mean %.1f ms, worst %.1f ms\n",
        cyclesEach, cpuSum * 1000 / double(exporters.size()), cpuWorst * 1000);
    std::printf("  exporter resident memory: worst %ld KiB (goal under 30 MB)\n", rssWorst);
    const auto firing = Query(
        webPort, u"count(ALERTS{alertname=\"LumarinProjectorError\",alertstate=\"firing\"})"_s);
    const auto pending = Query(
        webPort, u"count(ALERTS{alertname=\"LumarinProjectorError\",alertstate=\"pending\"})"_s);
    const auto others = Query(
        webPort, u"count(ALERTS{alertstate=\"firing\",alertname!=\"LumarinProjectorError\"})"_s);
    std::printf("  lamp error alerts: %.0f firing, %.0f pending, against %d errors the emulators "
                "report; other alerts firing: %.0f\n",
                firing.empty() ? 0.0 : firing.front().second,
                pending.empty() ? 0.0 : pending.front().second,
                kRegisters * kPerRegister / kErrorEvery,
                others.empty() ? 0.0 : others.front().second);

    prometheus.terminate();
    prometheus.waitForFinished(10000);
    for (const auto &exporter : exporters) {
        exporter->terminate();
        exporter->waitForFinished(10000);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kInside)) {
        // Nothing but the namespace's own loopback may be reached from here.
        QString seen;
        if (!OnlyTheseAdapters({}, &seen)) {
            std::fprintf(stderr, "not isolated: %s\n", qPrintable(seen));
            return 1;
        }
        return Inside();
    }
    if (const QString why = TestNamespace::SkipReason(); !why.isEmpty()) {
        std::printf("Campus benchmark skipped: %s\n", qPrintable(why));
        return 0;
    }
    TestNamespace ns(u"lumarin-bench-campus"_s);
    if (!ns.IsCreated() || !ns.Ip({u"link"_s, u"set"_s, u"lo"_s, u"up"_s})) {
        std::fprintf(stderr, "namespace: %s\n", qPrintable(ns.GetError()));
        return 1;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kInside), u"1"_s);
    const ProcessRun run = RunProcess(u"ip"_s, ns.ExecArgs(QCoreApplication::applicationFilePath()),
                                      (kRunSeconds + 120) * 1000, environment);
    std::fputs(qPrintable(run.output), stdout);
    return run.finished ? run.exitCode : 1;
}
