// lumarin-exporter end to end: the real service, run as a child process, against projectors
// emulated in this process on 127.0.9.x; its answers read over HTTP by plain sockets and by a
// real Prometheus server on loopback.

#include "platform/settingscodec.h"
#include "tests/common/testfiles.h"
#include "tools/emulator/emulatedprojector.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString kExporter = QStringLiteral(EXPORTER_PATH);

QString Address(int host)
{
    return u"127.0.9.%1"_s.arg(host);
}

// A settings file as the document writes it, every projector at the top.
QByteArray SettingsContent(const QList<std::pair<QString, QString>> &projectors)
{
    QByteArray out = "[Group]\r\n\r\n[Projector]\r\n";
    int n = 0;
    for (const auto &[name, address] : projectors)
        out += QString(u"%1=%2:%3:%4:M:%5\r\n"_s)
                   .arg(++n)
                   .arg(platform::EncodeText(name), address, platform::ScramblePassword(QString()),
                        platform::EncodeText(u"/"_s))
                   .toLatin1();
    out += "\r\n[Property]\r\nRefreshInterval=5\r\nTimeout=1\r\nShowInformation=1\r\n"
           "DisplayOnlyError=0\r\nEntryManagerDlg=0\r\n";
    return out;
}

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

struct Reply
{
    int status = 0; // 0: no answer
    QByteArray body;
};

// One HTTP/1.0 GET on loopback, bounded in time.
Reply Get(quint16 port, const QByteArray &path, int timeoutMs = 5000)
{
    Reply reply;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(timeoutMs))
        return reply;
    socket.write("GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray all;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs && socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(100);
        all += socket.readAll();
        const qsizetype end = all.indexOf("\r\n\r\n");
        const qsizetype length = all.indexOf("Content-Length: ");
        if (end > 0 && length > 0) {
            const qsizetype lineEnd = all.indexOf("\r\n", length);
            const int size = all.mid(length + 16, lineEnd - length - 16).toInt();
            if (all.size() >= end + 4 + size)
                break;
        }
    }
    all += socket.readAll();
    const qsizetype end = all.indexOf("\r\n\r\n");
    if (!all.startsWith("HTTP/1.") || end < 0)
        return reply;
    reply.status = all.mid(9, 3).toInt();
    reply.body = all.mid(end + 4);
    return reply;
}

double ReadTimestamp(const QByteArray &metrics)
{
    for (const QByteArray &line : metrics.split('\n')) {
        if (line.startsWith("lumarin_read_timestamp_seconds{"))
            return line.mid(line.lastIndexOf(' ') + 1).toDouble();
    }
    return -1;
}

// A child process ended by its PID when the test ends, however it ends.
struct Child
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    ~Child()
    {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }
};

} // namespace

class TestExporter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void metricsAndHealth_settingsFileNeverWritten();
    void followsTheRegister_whenTheFileChanges();
    void slowClients_doNotStopAnswersOrReads();
    void greedyClients_areClosed();
    void prometheus_scrapesTheProjectors();

private:
    bool StartExporter(Child &child, quint16 &port, const QStringList &extra = {});
    // Waits until /metrics answers with text that holds needle.
    QByteArray WaitForMetrics(quint16 port, const QByteArray &needle, int timeoutMs = 20000);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_settings;
    std::vector<std::unique_ptr<EmulatedProjector>> m_projectors;
};

void TestExporter::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_settings = m_dir->filePath(u"north.ini"_s);
    for (const auto &[host, name, power] : {std::tuple{11, "Aula", 1}, std::tuple{12, "Lab", 0}}) {
        EmulatorConfig config;
        config.address = Address(host).toStdString();
        config.name = name;
        config.power = power;
        auto projector = std::make_unique<EmulatedProjector>(config);
        std::string error;
        QVERIFY2(projector->start(&error), error.c_str());
        m_projectors.push_back(std::move(projector));
    }
    QVERIFY(WriteFile(m_settings, SettingsContent({{u"Aula"_s, Address(11)},
                                                   {u"Lab"_s, Address(12)},
                                                   {u"Gone"_s, Address(13)}})));
}

void TestExporter::cleanup()
{
    m_projectors.clear();
    m_dir.reset();
}

bool TestExporter::StartExporter(Child &child, quint16 &port, const QStringList &extra)
{
    port = FreePort();
    child.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.process->start(kExporter,
                         QStringList{u"--settings"_s, m_settings, u"--listen"_s,
                                     u"127.0.0.1:%1"_s.arg(port), u"--interval"_s, u"1"_s} +
                             extra);
    return port != 0 && child.process->waitForStarted(10000);
}

QByteArray TestExporter::WaitForMetrics(quint16 port, const QByteArray &needle, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const Reply reply = Get(port, "/metrics");
        if (reply.status == 200 && reply.body.contains(needle))
            return reply.body;
        QTest::qWait(200);
    }
    return QByteArray();
}

void TestExporter::metricsAndHealth_settingsFileNeverWritten()
{
    const QByteArray before = ReadFile(m_settings);
    const QDateTime mtime = QFileInfo(m_settings).lastModified();
    Child exporter;
    quint16 port = 0;
    QVERIFY(StartExporter(exporter, port));

    const QByteArray metrics = WaitForMetrics(port, "lumarin_projector_up{");
    QVERIFY2(!metrics.isEmpty(), "no metrics");
    const QByteArray aula =
        "{register=\"north\",name=\"Aula\",address=\"" + Address(11).toLatin1() + "\",group=\"/\"}";
    QVERIFY2(metrics.contains(QByteArray("lumarin_projector_up" + aula + " 1\n")),
             metrics.constData());
    QVERIFY(metrics.contains(QByteArray("lumarin_projector_power_state" + aula + " 1\n")));
    QVERIFY(metrics.contains("lumarin_projectors_registered{register=\"north\"} 3\n"));
    QVERIFY(metrics.contains(
        QByteArray("name=\"Gone\",address=\"" + Address(13).toLatin1() + "\",group=\"/\"} 0\n")));
    QCOMPARE(Get(port, "/healthz").status, 200);
    QCOMPARE(Get(port, "/nothing").status, 404);

    // Several reads later the file is as it was, byte for byte and in time.
    const double first = ReadTimestamp(metrics);
    QVERIFY(!WaitForMetrics(port, "lumarin_read_timestamp_seconds").isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(ReadTimestamp(Get(port, "/metrics").body) > first + 1.5, 20000);
    QCOMPARE(ReadFile(m_settings), before);
    QCOMPARE(QFileInfo(m_settings).lastModified(), mtime);
    QVERIFY(!QFile::exists(m_settings + u".bak"_s));

    // A service manager stops it with SIGTERM: it ends from its event loop, with status 0.
    exporter.process->terminate();
    QVERIFY(exporter.process->waitForFinished(20000));
    QCOMPARE(exporter.process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(exporter.process->exitCode(), 0);
}

void TestExporter::followsTheRegister_whenTheFileChanges()
{
    Child exporter;
    quint16 port = 0;
    QVERIFY(StartExporter(exporter, port));
    QVERIFY(!WaitForMetrics(port, "name=\"Lab\"").isEmpty());

    // The window or lumarinctl removes Lab: the next read leaves it out.
    QTest::qWait(1100); // a modification time of its own, even on a coarse file system
    QVERIFY(WriteFile(m_settings, SettingsContent({{u"Aula"_s, Address(11)}})));
    const QByteArray after =
        WaitForMetrics(port, "lumarin_projectors_registered{register=\"north\"} 1\n");
    QVERIFY2(!after.isEmpty(), "the new register was not read");
    QVERIFY(!after.contains("name=\"Lab\""));
}

// 200 clients that connect and then send nothing, or half a request, must not stop the
// exporter from answering others, nor its reads from going on.
void TestExporter::slowClients_doNotStopAnswersOrReads()
{
    Child exporter;
    quint16 port = 0;
    QVERIFY(StartExporter(exporter, port));
    const QByteArray metrics = WaitForMetrics(port, "lumarin_projector_up{");
    QVERIFY(!metrics.isEmpty());

    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < 200; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, port);
        slow.push_back(std::move(socket));
    }
    for (auto &socket : slow) {
        QVERIFY(socket->waitForConnected(5000));
        if (&socket - slow.data() < 100)
            socket->write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ");
        socket->flush();
    }
    const double before = ReadTimestamp(metrics);
    QTRY_VERIFY_WITH_TIMEOUT(ReadTimestamp(Get(port, "/metrics").body) > before + 1.5, 20000);
    QCOMPARE(Get(port, "/healthz").status, 200);
    QVERIFY(exporter.process->state() == QProcess::Running);
}

// A request that never ends, one that grows without end and a connection that never asks are
// closed by the exporter; a keep-alive client that asks in time keeps its connection.
void TestExporter::greedyClients_areClosed()
{
    Child exporter;
    quint16 port = 0;
    QVERIFY(StartExporter(exporter, port,
                          {u"--request-timeout"_s, u"1"_s, u"--idle-timeout"_s, u"2"_s}));
    QVERIFY(!WaitForMetrics(port, "lumarin_projector_up{").isEmpty());

    QTcpSocket stalled, flooding, idle, polite;
    for (QTcpSocket *socket : {&stalled, &flooding, &idle, &polite}) {
        socket->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(socket->waitForConnected(5000));
    }
    stalled.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ");
    flooding.write("GET /metrics HTTP/1.1\r\nX-Big: ");
    const QByteArray chunk(16 * 1024, 'x');
    for (int i = 0; i < 16 && flooding.state() == QAbstractSocket::ConnectedState; ++i) {
        flooding.write(chunk);
        flooding.waitForBytesWritten(1000);
    }
    // The polite client gets its answer and may ask again on the same connection.
    for (int request = 0; request < 2; ++request) {
        polite.write("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT((answer += polite.readAll()).contains("\r\n\r\nok\n"), 5000);
        QVERIFY(answer.startsWith("HTTP/1.1 200"));
    }

    // Every greedy connection is closed by the exporter within a bounded wait.
    for (QTcpSocket *socket : {&flooding, &stalled, &idle}) {
        QElapsedTimer clock;
        clock.start();
        while (socket->state() == QAbstractSocket::ConnectedState && clock.elapsed() < 10000)
            socket->waitForDisconnected(200);
        QVERIFY2(socket->state() != QAbstractSocket::ConnectedState,
                 qPrintable(u"still open: %1"_s.arg(socket == &idle      ? u"idle"_s
                                                    : socket == &stalled ? u"stalled"_s
                                                                         : u"flooding"_s)));
    }
    QCOMPARE(Get(port, "/healthz").status, 200);
}

void TestExporter::prometheus_scrapesTheProjectors()
{
    const QString prometheus = QStandardPaths::findExecutable(u"prometheus"_s);
    if (prometheus.isEmpty())
        QSKIP("Prometheus is not installed (Debian package prometheus)");
    Child exporter;
    quint16 port = 0;
    QVERIFY(StartExporter(exporter, port));
    QVERIFY(!WaitForMetrics(port, "lumarin_projector_up{").isEmpty());

    const quint16 webPort = FreePort();
    const QString config = m_dir->filePath(u"prometheus.yml"_s);
    QVERIFY(WriteFile(config, QString(u"global:\n  scrape_interval: 1s\n"
                                      "scrape_configs:\n  - job_name: lumarin\n"
                                      "    static_configs:\n"
                                      "      - targets: ['127.0.0.1:%1']\n"_s)
                                  .arg(port)
                                  .toUtf8()));
    Child server;
    server.process->setProcessChannelMode(QProcess::MergedChannels);
    server.process->start(prometheus, {u"--config.file="_s + config,
                                       u"--storage.tsdb.path="_s + m_dir->filePath(u"tsdb"_s),
                                       u"--web.listen-address=127.0.0.1:%1"_s.arg(webPort)});
    QVERIFY(server.process->waitForStarted(10000));

    // Prometheus's own API, after its scrapes: every projector with its value.
    QJsonArray result;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000 && result.size() < 3) {
        QTest::qWait(500);
        const Reply reply = Get(webPort, "/api/v1/query?query=lumarin_projector_up");
        if (reply.status == 200)
            result = QJsonDocument::fromJson(reply.body).object()[u"data"_s][u"result"_s].toArray();
    }
    QVERIFY2(result.size() == 3, server.process->readAll().right(2000).constData());
    QMap<QString, QString> up;
    for (const QJsonValue &sample : result)
        up[sample[u"metric"_s][u"name"_s].toString()] = sample[u"value"_s][1].toString();
    QCOMPARE(up.value(u"Aula"_s), u"1"_s);
    QCOMPARE(up.value(u"Gone"_s), u"0"_s);
    QCOMPARE(result.first()[u"metric"_s][u"register"_s].toString(), u"north"_s);
}

QTEST_MAIN(TestExporter)
#include "tst_exporter.moc"
