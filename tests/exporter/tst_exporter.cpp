// lumarin-exporter end to end: the real service, run as a child process, against projectors
// emulated in this process on 127.0.9.x; its answers read over HTTP by plain sockets and by a
// real Prometheus server on loopback.

#include "platform/settingscodec.h"
#include "tests/common/testfiles.h"
#include "tools/emulator/emulatedprojector.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>
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

// Writes request on a new connection and reads until the exporter closes it (bounded).
QByteArray Exchange(quint16 port, const QByteArray &request, int timeoutMs = 5000)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(timeoutMs))
        return QByteArray();
    socket.write(request);
    QByteArray all;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs && socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(100);
        all += socket.readAll();
    }
    return all + socket.readAll();
}

const QByteArray kHealthzThenClose = "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                     "Connection: close\r\n\r\n";
const QByteArray kHealthzClosed = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                                  "Content-Length: 3\r\nConnection: close\r\n\r\nok\n";

// A webhook receiver on loopback: keeps the body of every POST and answers 200.
class WebhookListener : public QTcpServer
{
public:
    QByteArrayList bodies;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QIODevice::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            for (;;) {
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                const QByteArray head = buffer->left(end).toLower();
                const qsizetype at = head.indexOf("content-length:");
                const int length =
                    at < 0 ? 0
                           : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toInt();
                if (buffer->size() < end + 4 + length)
                    return;
                bodies.append(buffer->mid(end + 4, length));
                buffer->remove(0, end + 4 + length);
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
            }
        });
    }
};

// The mails an SMTP sink stored in a maildir, quoted-printable undone.
QByteArrayList Mails(const QString &maildir)
{
    QByteArrayList mails;
    const QDir folder(maildir + u"/new"_s);
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        QByteArray text = ReadFile(folder.filePath(name));
        text.replace("=\r\n", "").replace("=\n", "");
        mails.append(QByteArray::fromPercentEncoding(text, '='));
    }
    return mails;
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

// Prometheus with CONFIG (written to NAME.yml in DIR) and a storage of its own, its web
// interface on a free loopback port: the port, or 0 when it did not start.
quint16 StartPrometheus(Child &server, const QString &prometheus, const QDir &dir,
                        const QString &name, const QByteArray &config)
{
    const quint16 webPort = FreePort();
    const QString file = dir.filePath(name + u".yml"_s);
    if (!WriteFile(file, config))
        return 0;
    server.process->setProcessChannelMode(QProcess::MergedChannels);
    server.process->start(prometheus, {u"--config.file="_s + file,
                                       u"--storage.tsdb.path="_s + dir.filePath(name + u"-tsdb"_s),
                                       u"--web.listen-address=127.0.0.1:%1"_s.arg(webPort)});
    return server.process->waitForStarted(10000) ? webPort : quint16(0);
}

// The series of a Prometheus query on the server at PORT, asked again until it holds COUNT of
// them or a minute has passed.
QJsonArray QueryUntil(quint16 port, const QByteArray &query, qsizetype count)
{
    QJsonArray result;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000 && result.size() < count) {
        QTest::qWait(500);
        const Reply reply = Get(port, "/api/v1/query?query=" + query);
        if (reply.status == 200)
            result = QJsonDocument::fromJson(reply.body).object()[u"data"_s][u"result"_s].toArray();
    }
    return result;
}

} // namespace

class TestExporter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void metricsAndHealth_settingsFileNeverWritten();
    void projectorInfo_identityInOneSeries();
    void followsTheRegister_whenTheFileChanges();
    void slowClients_doNotStopAnswersOrReads();
    void greedyClients_areClosed();
    void fullSlots_makeRoomForEveryScrape();
    void methods_data();
    void methods();
    void pipelinedRequests_allAnsweredInOrder();
    void prometheus_scrapesTheProjectors();
    void alertDelivery_lampErrorMailedOnceThenResolved();
    void federation_globalServerHoldsEverySiteProjector();

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
    // Aula speaks Class 1, Lab Class 2.
    for (const auto &[host, name, power] : {std::tuple{11, "Aula", 1}, std::tuple{12, "Lab", 0}}) {
        EmulatorConfig config;
        config.address = Address(host).toStdString();
        config.name = name;
        config.power = power;
        if (host == 12) {
            config.pjlinkClass = 2;
            config.manufacturer = "Emulux \"Pro\"";
            config.product = "EP-200";
            config.serialNumber = "LAB-0042";
            config.softwareVersion = "2.10";
        }
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

// Identity once per projector that told it: Class 2 adds serial number and software version, a
// projector that never answered has no sample; label values escaped as the format requires.
void TestExporter::projectorInfo_identityInOneSeries()
{
    Child exporter;
    quint16 port = 0;
    QVERIFY(StartExporter(exporter, port));
    const QByteArray metrics = WaitForMetrics(port, "serial_number=");
    QVERIFY2(!metrics.isEmpty(), "no Class 2 identity");

    QByteArrayList info;
    for (const QByteArray &line : metrics.split('\n')) {
        if (line.startsWith("lumarin_projector_info{"))
            info.append(line);
    }
    const QByteArray at = "{register=\"north\",name=\"";
    QCOMPARE(info,
             QByteArrayList(
                 {"lumarin_projector_info" + at + "Aula\",address=\"" + Address(11).toLatin1() +
                      "\",group=\"/\",manufacturer=\"Emulux\","
                      "product=\"EP-100\",class=\"1\"} 1",
                  "lumarin_projector_info" + at + "Lab\",address=\"" + Address(12).toLatin1() +
                      "\",group=\"/\",manufacturer=\"Emulux \\\"Pro\\\"\","
                      "product=\"EP-200\",class=\"2\",serial_number=\"LAB-0042\","
                      "software_version=\"2.10\"} 1"}));

    // Every per-projector family tells that a scrape does not read the projector.
    int projectorFamilies = 0;
    for (const QByteArray &line : metrics.split('\n')) {
        if (!line.startsWith("# HELP lumarin_projector_"))
            continue;
        ++projectorFamilies;
        QVERIFY2(line.endsWith("As of the last background read of the register, not read at "
                               "scrape time."),
                 line.constData());
    }
    QCOMPARE(projectorFamilies, 9);
    // How each checks the password, never the password.
    const QByteArray security = "lumarin_projector_security_info" + at + "Aula\",address=\"" +
                                Address(11).toLatin1() + "\",group=\"/\",level=\"none\"} 1";
    QVERIFY2(metrics.contains(security), metrics.constData());
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

// Every slot held by clients that send nothing or half a request: each new scrape still gets its
// answer, because the connection that has waited the longest makes room for it.
void TestExporter::fullSlots_makeRoomForEveryScrape()
{
    Child exporter;
    quint16 port = 0;
    QVERIFY(StartExporter(exporter, port));
    QVERIFY(!WaitForMetrics(port, "lumarin_projector_up{").isEmpty());

    std::vector<std::unique_ptr<QTcpSocket>> hostile;
    for (int i = 0; i < 256; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(socket->waitForConnected(5000));
        if (i % 2 == 1)
            socket->write("GET /metrics HTTP/1.1\r\nX-Slow: ");
        socket->flush();
        hostile.push_back(std::move(socket));
    }
    QTest::qWait(300); // every one of them taken by the exporter

    int answered = 0;
    for (int scrape = 0; scrape < 16; ++scrape)
        answered += Get(port, "/metrics", 3000).status == 200 ? 1 : 0;
    QCOMPARE(answered, 16);
    // The oldest made room; the newest are still open.
    QTRY_VERIFY_WITH_TIMEOUT(hostile.front()->state() != QAbstractSocket::ConnectedState, 5000);
    QCOMPARE(hostile.back()->state(), QAbstractSocket::ConnectedState);
}

// What comes back, byte for byte, for one request followed on the same connection by a GET
// that asks to close: a HEAD has no body, so the GET's answer follows its headers at once; a
// method that is not served, a request that is not HTTP and HTTP/1.0 end the connection.
void TestExporter::methods_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("connectionGoesOn");

    const QByteArray notAllowed = "HTTP/1.1 405 Method Not Allowed\r\nContent-Type: text/plain\r\n"
                                  "Content-Length: 18\r\nAllow: GET, HEAD\r\n"
                                  "Connection: close\r\n\r\nonly GET and HEAD\n";
    QTest::newRow("HEAD of a page")
        << QByteArray("HEAD /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n\r\n")
        << true;
    QTest::newRow("HEAD of no page")
        << QByteArray("HEAD /nothing HTTP/1.1\r\n\r\n")
        << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n"
                      "Content-Length: 10\r\n\r\n")
        << true;
    QTest::newRow("GET with a query, lines ended by LF")
        << QByteArray("GET /healthz?probe=1 HTTP/1.1\nHost: 127.0.0.1\n\n")
        << QByteArray(
               "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n\r\nok\n")
        << true;
    QTest::newRow("POST with a body")
        << QByteArray("POST /metrics HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello") << notAllowed
        << false;
    QTest::newRow("DELETE") << QByteArray("DELETE /metrics HTTP/1.1\r\n\r\n") << notAllowed
                            << false;
    QTest::newRow("OPTIONS") << QByteArray("OPTIONS * HTTP/1.1\r\n\r\n") << notAllowed << false;
    QTest::newRow("HTTP/1.0")
        << QByteArray("GET /healthz HTTP/1.0\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n"
                      "Connection: close\r\n\r\nok\n")
        << false;
    QTest::newRow("not HTTP") << QByteArray("HELLO THERE\r\n\r\n")
                              << QByteArray(
                                     "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain\r\n"
                                     "Content-Length: 12\r\nConnection: close\r\n\r\nbad request\n")
                              << false;
}

void TestExporter::methods()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(bool, connectionGoesOn);
    Child exporter;
    quint16 port = 0;
    QVERIFY(StartExporter(exporter, port));
    QVERIFY(!WaitForMetrics(port, "lumarin_projector_up{").isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(Get(port, "/healthz").status, 200, 10000);
    QCOMPARE(Exchange(port, request + kHealthzThenClose),
             connectionGoesOn ? answer + kHealthzClosed : answer);
}

// 800 small requests sent at once on one connection (27 KB, under the 64 KiB of unread bytes)
// are all answered, in order.
void TestExporter::pipelinedRequests_allAnsweredInOrder()
{
    Child exporter;
    quint16 port = 0;
    QVERIFY(StartExporter(exporter, port));
    QVERIFY(!WaitForMetrics(port, "lumarin_projector_up{").isEmpty());

    QByteArray requests;
    for (int i = 0; i < 799; ++i)
        requests +=
            i % 2 ? "GET /healthz HTTP/1.1\r\nHost: a\r\n\r\n" : "HEAD /nothing HTTP/1.1\r\n\r\n";
    requests += kHealthzThenClose;
    const QByteArray all = Exchange(port, requests, 20000);
    QCOMPARE(all.count("HTTP/1.1 "), 800);
    QCOMPARE(all.count("HTTP/1.1 404 "), 400);
    QVERIFY(all.startsWith("HTTP/1.1 404 "));
    QVERIFY(all.endsWith(kHealthzClosed));
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

    Child server;
    const quint16 webPort =
        StartPrometheus(server, prometheus, QDir(m_dir->path()), u"prometheus"_s,
                        QString(u"global:\n  scrape_interval: 1s\n"
                                "scrape_configs:\n  - job_name: lumarin\n"
                                "    static_configs:\n"
                                "      - targets: ['127.0.0.1:%1']\n"_s)
                            .arg(port)
                            .toUtf8());
    QVERIFY(webPort != 0);

    // Prometheus's own API, after its scrapes: every projector with its value.
    const QJsonArray result = QueryUntil(webPort, "lumarin_projector_up", 3);
    QVERIFY2(result.size() == 3, server.process->readAll().right(2000).constData());
    QMap<QString, QString> up;
    for (const QJsonValue &sample : result)
        up[sample[u"metric"_s][u"name"_s].toString()] = sample[u"value"_s][1].toString();
    QCOMPARE(up.value(u"Aula"_s), u"1"_s);
    QCOMPARE(up.value(u"Gone"_s), u"0"_s);
    QCOMPARE(result.first()[u"metric"_s][u"register"_s].toString(), u"north"_s);
}

// The whole path to a person, with the real servers on loopback: an emulated projector reports a
// lamp error, the exporter shows it, Prometheus (with the shipped rules, their waits shortened)
// fires the alert, and Alertmanager sends exactly one e-mail naming the projector to an SMTP
// sink and one notice to a webhook; when the error clears, one resolved notice of each follows.
void TestExporter::alertDelivery_lampErrorMailedOnceThenResolved()
{
    const QString prometheus = QStandardPaths::findExecutable(u"prometheus"_s);
    const QString alertmanager = QStandardPaths::findExecutable(u"prometheus-alertmanager"_s);
    const QString python = QStandardPaths::findExecutable(u"python3"_s, {u"/usr/bin"_s});
    if (prometheus.isEmpty() || alertmanager.isEmpty() || python.isEmpty())
        QSKIP("needs the Debian packages prometheus, prometheus-alertmanager, python3-aiosmtpd");
    const QString source = qEnvironmentVariable("LUMARIN_SOURCE_DIR");
    if (source.isEmpty())
        QSKIP("LUMARIN_SOURCE_DIR is not set (run through ctest)");

    // Aula alone in the register, so that no other alert can fire.
    QVERIFY(WriteFile(m_settings, SettingsContent({{u"Aula"_s, Address(11)}})));
    Child exporter;
    quint16 port = 0;
    QVERIFY(StartExporter(exporter, port));
    QVERIFY(!WaitForMetrics(port, "lumarin_projector_up{").isEmpty());

    // The SMTP sink stores every mail in a maildir.
    const QString maildir = m_dir->filePath(u"mail"_s);
    const quint16 smtpPort = FreePort();
    Child smtp;
    smtp.process->setProcessChannelMode(QProcess::ForwardedChannels);
    smtp.process->start(python,
                        {u"-m"_s, u"aiosmtpd"_s, u"-n"_s, u"-l"_s, u"127.0.0.1:%1"_s.arg(smtpPort),
                         u"-c"_s, u"aiosmtpd.handlers.Mailbox"_s, maildir});
    QVERIFY(smtp.process->waitForStarted(10000));
    WebhookListener webhook;
    QVERIFY(webhook.listen(QHostAddress::LocalHost, 0));

    // Alertmanager as the README shows it, with short waits; no cluster port.
    const quint16 amPort = FreePort();
    const QString amConfig = m_dir->filePath(u"alertmanager.yml"_s);
    QVERIFY(WriteFile(
        amConfig,
        QString(u"global:\n"
                "  smtp_smarthost: '127.0.0.1:%1'\n"
                "  smtp_from: 'lumarin@example.org'\n"
                "  smtp_require_tls: false\n"
                "route:\n"
                "  receiver: projector-team\n"
                "  group_by: [alertname, register, address]\n"
                "  group_wait: 1s\n"
                "  group_interval: 1s\n"
                "  repeat_interval: 4h\n"
                "receivers:\n"
                "  - name: projector-team\n"
                "    email_configs:\n"
                "      - to: 'av-team@example.org'\n"
                "        send_resolved: true\n"
                "        headers:\n"
                "          Subject: '[{{ .Status | toUpper }}] {{ .CommonAnnotations.summary }}'\n"
                "        text: '{{ range .Alerts }}{{ .Annotations.description }}\n\n{{ end }}'\n"
                "    webhook_configs:\n"
                "      - url: 'http://127.0.0.1:%2/lumarin'\n"
                "        send_resolved: true\n"_s)
            .arg(smtpPort)
            .arg(webhook.serverPort())
            .toUtf8()));
    Child am;
    am.process->setProcessChannelMode(QProcess::MergedChannels);
    am.process->start(alertmanager, {u"--config.file="_s + amConfig,
                                     u"--storage.path="_s + m_dir->filePath(u"am"_s),
                                     u"--web.listen-address=127.0.0.1:%1"_s.arg(amPort),
                                     u"--cluster.listen-address="_s});
    QVERIFY(am.process->waitForStarted(10000));

    // The shipped rules, every for: shortened to a second.
    QByteArray rules = ReadFile(source + u"/tools/prometheus/lumarin-alerts.yml"_s);
    QVERIFY(!rules.isEmpty());
    rules = QString::fromUtf8(rules)
                .replace(QRegularExpression(u"\\bfor: \\w+"_s), u"for: 1s"_s)
                .replace(QRegularExpression(u"\\binterval: \\w+"_s), u"interval: 1s"_s)
                .toUtf8();
    QVERIFY(WriteFile(m_dir->filePath(u"lumarin-alerts.yml"_s), rules));
    Child server;
    const quint16 webPort =
        StartPrometheus(server, prometheus, QDir(m_dir->path()), u"prometheus"_s,
                        QString(u"global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                "rule_files: ['lumarin-alerts.yml']\n"
                                "alerting:\n  alertmanagers:\n"
                                "    - static_configs:\n        - targets: ['127.0.0.1:%1']\n"
                                "scrape_configs:\n  - job_name: lumarin\n"
                                "    static_configs:\n"
                                "      - targets: ['127.0.0.1:%2']\n"_s)
                            .arg(amPort)
                            .arg(port)
                            .toUtf8());
    QVERIFY(webPort != 0);
    QTRY_VERIFY_WITH_TIMEOUT(
        Get(webPort, "/api/v1/query?query=lumarin_projector_up").body.contains("\"Aula\""), 60000);

    // The lamp fails.
    m_projectors[0]->update([](EmulatorConfig &c) { c.errors[1] = 2; });
    const auto notices = [&](const QByteArray &status) {
        return int(std::count_if(
            webhook.bodies.cbegin(), webhook.bodies.cend(), [&](const QByteArray &body) {
                return body.contains(QByteArray("\"status\":\"" + status + "\""));
            }));
    };
    const auto mails = [&](const QByteArray &status) {
        const QByteArrayList all = Mails(maildir);
        return int(std::count_if(all.cbegin(), all.cend(), [&](const QByteArray &mail) {
            return mail.contains(QByteArray("Subject: [" + status + "] "));
        }));
    };
    QTRY_VERIFY_WITH_TIMEOUT(notices("firing") == 1 && mails("FIRING") == 1, 60000);
    const QJsonObject firing = QJsonDocument::fromJson(webhook.bodies.constFirst()).object();
    const QJsonObject alert = firing[u"alerts"_s].toArray().first().toObject();
    QCOMPARE(alert[u"labels"_s][u"alertname"_s].toString(), u"LumarinProjectorError"_s);
    QCOMPARE(alert[u"labels"_s][u"name"_s].toString(), u"Aula"_s);
    QCOMPARE(alert[u"labels"_s][u"address"_s].toString(), Address(11));
    QCOMPARE(alert[u"labels"_s][u"category"_s].toString(), u"lamp"_s);
    QCOMPARE(alert[u"labels"_s][u"severity"_s].toString(), u"critical"_s);
    const QByteArray mail = Mails(maildir).constFirst();
    QVERIFY2(mail.contains(QByteArray("Subject: [FIRING] Projector Aula (" +
                                      Address(11).toLatin1() + ") in north /: lamp error")),
             mail.constData());
    QVERIFY2(
        mail.contains(QByteArray("Projector Aula (group /, register north, address " +
                                 Address(11).toLatin1() + ") reports an error in category lamp")),
        mail.constData());
    QVERIFY(mail.contains("replace the lamp."));
    QVERIFY(mail.contains("To: av-team@example.org"));

    // Repaired: one resolved notice of each, and no second firing one.
    m_projectors[0]->update([](EmulatorConfig &c) { c.errors[1] = 0; });
    QTRY_VERIFY_WITH_TIMEOUT(notices("resolved") == 1 && mails("RESOLVED") == 1, 60000);
    QTest::qWait(3000); // several group intervals: nothing is sent twice
    QCOMPARE(notices("firing"), 1);
    QCOMPARE(notices("resolved"), 1);
    QCOMPARE(Mails(maildir).size(), 2);
    QCOMPARE(mails("FIRING"), 1);
}

// Many registers, many sites: a site Prometheus scrapes two exporters (north, south); a global
// one federates the site's lumarin_ series with honor_labels and holds every projector with its
// register, its site and the job it was scraped under.
void TestExporter::federation_globalServerHoldsEverySiteProjector()
{
    const QString prometheus = QStandardPaths::findExecutable(u"prometheus"_s);
    if (prometheus.isEmpty())
        QSKIP("Prometheus is not installed (Debian package prometheus)");
    Child north, south;
    quint16 northPort = 0, southPort = 0;
    QVERIFY(WriteFile(m_settings,
                      SettingsContent({{u"Aula"_s, Address(11)}, {u"Gone"_s, Address(13)}})));
    QVERIFY(StartExporter(north, northPort));
    const QString southSettings = m_dir->filePath(u"south.ini"_s);
    QVERIFY(WriteFile(southSettings, SettingsContent({{u"Lab"_s, Address(12)}})));
    {
        const QString northSettings = m_settings;
        m_settings = southSettings;
        QVERIFY(StartExporter(south, southPort));
        m_settings = northSettings;
    }
    QVERIFY(!WaitForMetrics(northPort, "lumarin_projector_up{").isEmpty());
    QVERIFY(!WaitForMetrics(southPort, "lumarin_projector_up{").isEmpty());

    const auto start = [&](Child &server, const QString &name, const QByteArray &config) {
        return StartPrometheus(server, prometheus, QDir(m_dir->path()), name, config);
    };
    Child site, global;
    const quint16 sitePort =
        start(site, u"site"_s,
              QString(u"global:\n  scrape_interval: 1s\n  external_labels:\n    site: campus-a\n"
                      "scrape_configs:\n  - job_name: lumarin\n    static_configs:\n"
                      "      - targets: ['127.0.0.1:%1', '127.0.0.1:%2']\n"_s)
                  .arg(northPort)
                  .arg(southPort)
                  .toUtf8());
    QVERIFY(sitePort != 0);
    const quint16 globalPort =
        start(global, u"global"_s,
              QString(u"global:\n  scrape_interval: 1s\n"
                      "scrape_configs:\n  - job_name: federate\n    honor_labels: true\n"
                      "    metrics_path: /federate\n"
                      "    params:\n      'match[]': ['{__name__=~\"lumarin_.*\"}']\n"
                      "    static_configs:\n      - targets: ['127.0.0.1:%1']\n"_s)
                  .arg(sitePort)
                  .toUtf8());
    QVERIFY(globalPort != 0);

    const QJsonArray result = QueryUntil(globalPort, "lumarin_projector_up", 3);
    QVERIFY2(result.size() == 3, QJsonDocument(result).toJson().constData());
    QStringList seen;
    for (const QJsonValue &sample : result) {
        const QJsonObject metric = sample[u"metric"_s].toObject();
        seen.append(metric[u"register"_s].toString() + u'/' + metric[u"name"_s].toString());
        QCOMPARE(metric[u"site"_s].toString(), u"campus-a"_s);
        QCOMPARE(metric[u"job"_s].toString(), u"lumarin"_s); // the site's, kept by honor_labels
    }
    seen.sort();
    QCOMPARE(seen, QStringList({u"north/Aula"_s, u"north/Gone"_s, u"south/Lab"_s}));
    // The identity and the register counts come along too.
    QTRY_VERIFY_WITH_TIMEOUT(
        Get(globalPort, "/api/v1/query?query=sum(lumarin_projectors_registered)")
            .body.contains("\"3\"]"),
        20000);
}

QTEST_MAIN(TestExporter)
#include "tst_exporter.moc"
