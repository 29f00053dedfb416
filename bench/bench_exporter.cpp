// lumarin-exporter serving a register of 100 projectors emulated on loopback: the time a
// /metrics request takes (answered from the last read) and the service's resident memory.

#include "bench/emulatedregister.h"
#include "platform/settingscodec.h"
#include "tools/emulator/emulatedprojector.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kProjectors = 100;
constexpr int kRequests = 2000;

QByteArray Get(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    // Read until the whole body is there: the server may keep the connection open.
    QByteArray all;
    while (socket.waitForReadyRead(2000)) {
        all += socket.readAll();
        const qsizetype end = all.indexOf("\r\n\r\n");
        const qsizetype length = all.indexOf("Content-Length: ");
        if (end > 0 && length > 0 && length < end &&
            all.size() >=
                end + 4 + all.mid(length + 16, all.indexOf('\r', length) - length - 16).toInt())
            break;
    }
    return all;
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::vector<std::unique_ptr<EmulatedProjector>> fleet;
    QByteArray settings = "[Group]\r\n\r\n[Projector]\r\n";
    for (int i = 0; i < kProjectors; ++i) {
        EmulatorConfig config;
        config.address = u"127.0.12.%1"_s.arg(i + 1).toStdString();
        config.name = "Room " + std::to_string(i + 1);
        config.power = i % 2;
        auto projector = StartEmulated(config);
        if (!projector)
            return 1;
        settings += RegisterLine(i + 1, config);
        fleet.push_back(std::move(projector));
    }
    settings += "\r\n[Property]\r\nRefreshInterval=5\r\nTimeout=1\r\nShowInformation=1\r\n"
                "DisplayOnlyError=0\r\nEntryManagerDlg=0\r\n";
    const QString path = dir.filePath(u"bench.ini"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(settings) != settings.size())
        return 1;
    file.close();

    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QProcess exporter;
    exporter.start(QCoreApplication::applicationDirPath() + u"/../bin/lumarin-exporter"_s,
                   {u"--settings"_s, path, u"--listen"_s, u"127.0.0.1:%1"_s.arg(port),
                    u"--interval"_s, u"2"_s});
    if (!exporter.waitForStarted(10000))
        return 1;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000 && !Get(port).contains("lumarin_projector_up{"))
        QThread::msleep(100);

    std::vector<double> ms;
    ms.reserve(kRequests);
    for (int i = 0; i < kRequests; ++i) {
        QElapsedTimer one;
        one.start();
        const QByteArray reply = Get(port);
        ms.push_back(double(one.nsecsElapsed()) / 1e6);
        if (!reply.contains("200 OK"))
            std::fprintf(stderr, "request %d failed\n", i);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("lumarin-exporter, %d projectors, %d requests of /metrics (%lld bytes)\n",
                kProjectors, kRequests, static_cast<long long>(Get(port).size()));
    std::printf("  response time: median %.3f ms, 99th percentile %.3f ms, worst %.3f ms "
                "(goal under 5 ms)\n",
                ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back());
    std::printf("  resident memory: %ld KiB (goal under 30 MB)\n",
                ResidentKiB(exporter.processId()));
    exporter.terminate();
    exporter.waitForFinished(10000);
    return 0;
}
