// pjlink-cli as a script sees it: exit status, standard output and standard error, against
// projectors emulated in this process on 127.0.9.x (and 127.0.0.1 for host names).

#include "tools/emulator/emulatedprojector.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kCli = QStringLiteral(PJLINK_CLI_PATH);

struct CliRun
{
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

CliRun RunCli(const QStringList &args, const QByteArray &input = QByteArray())
{
    CliRun run;
    QProcess process;
    process.start(kCli, args);
    if (!process.waitForStarted(10000))
        return run;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.finished = process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString Describe(const CliRun &run)
{
    return u"exit %1\nstdout: %2\nstderr: %3"_s.arg(run.exitCode).arg(run.out, run.err);
}

std::unique_ptr<EmulatedProjector> StartProjector(const std::string &address, int port,
                                                  const std::string &password = {})
{
    EmulatorConfig config;
    config.address = address;
    config.port = port;
    config.password = password;
    config.name = "Room 9";
    auto projector = std::make_unique<EmulatedProjector>(config);
    std::string error;
    if (!projector->start(&error)) {
        qWarning("%s", error.c_str());
        return nullptr;
    }
    return projector;
}

} // namespace

class TestPjlinkCli : public QObject
{
    Q_OBJECT

private slots:
    void usageErrors_exit2_data();
    void usageErrors_exit2();
    void version_printsAndExits0();
    void address_hostPortAndNames_data();
    void address_hostPortAndNames();
    void passwordFromStandardInput_data();
    void passwordFromStandardInput();
};

void TestPjlinkCli::usageErrors_exit2_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("told");
    const auto row = [](const char *name, QStringList args, QString told) {
        QTest::newRow(name) << args << told;
    };
    row("unknown option", {u"127.0.9.1"_s, u"--frobnicate"_s, u"status"_s}, u"frobnicate"_s);
    row("no command", {u"127.0.9.1"_s}, u"usage"_s);
    row("unknown command", {u"127.0.9.1"_s, u"reboot"_s}, u"reboot"_s);
    row("power without value", {u"127.0.9.1"_s, u"power"_s}, u"power on|off"_s);
    row("port 0", {u"127.0.9.1"_s, u"--port"_s, u"0"_s, u"status"_s}, u"--port"_s);
    row("octet 256", {u"127.0.9.256"_s, u"status"_s}, u"not an IPv4 address"_s);
    row("three parts", {u"127.0.9"_s, u"status"_s}, u"not an IPv4 address"_s);
    row("blank inside", {u"room 9"_s, u"status"_s}, u"neither"_s);
    row("IPv6", {u"::1"_s, u"status"_s}, u"IPv4"_s);
    row("port after colon not a number", {u"127.0.9.1:x"_s, u"status"_s}, u"port"_s);
    row("port after colon too large", {u"127.0.9.1:65536"_s, u"status"_s}, u"port"_s);
    row("two ports", {u"127.0.9.1:4353"_s, u"--port"_s, u"4354"_s, u"status"_s}, u"two ports"_s);
    row("0.0.0.0", {u"0.0.0.0"_s, u"power"_s, u"off"_s}, u"not the address of a projector"_s);
    row("0.1.2.3", {u"0.1.2.3"_s, u"status"_s}, u"not the address of a projector"_s);
    row("broadcast", {u"255.255.255.255"_s, u"power"_s, u"off"_s}, u"broadcast"_s);
    row("multicast", {u"224.0.0.1"_s, u"status"_s}, u"multicast"_s);
    row("--password - without input", {u"127.0.9.1"_s, u"--password"_s, u"-"_s, u"status"_s},
        u"standard input"_s);
}

void TestPjlinkCli::usageErrors_exit2()
{
    QFETCH(QStringList, args);
    QFETCH(QString, told);
    const CliRun run = RunCli(args);
    QVERIFY2(run.finished, qPrintable(Describe(run)));
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(told), qPrintable(Describe(run)));
    QVERIFY(run.out.isEmpty());
}

void TestPjlinkCli::version_printsAndExits0()
{
    const CliRun run = RunCli({u"--version"_s});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(u"pjlink-cli "_s) && run.out.at(11).isDigit(), qPrintable(run.out));
}

void TestPjlinkCli::address_hostPortAndNames_data()
{
    QTest::addColumn<QString>("host"); // %1: the emulator's port
    QTest::addColumn<bool>("portOption");
    QTest::newRow("address:port") << u"127.0.9.1:%1"_s << false;
    QTest::newRow("address and --port") << u"127.0.9.1"_s << true;
    QTest::newRow("localhost:port") << u"localhost:%1"_s << false;
    QTest::newRow("same port both ways") << u"127.0.9.1:%1"_s << true;
}

void TestPjlinkCli::address_hostPortAndNames()
{
    QFETCH(QString, host);
    QFETCH(bool, portOption);
    // Port 0 binds a free port; localhost resolves to 127.0.0.1 through the hosts file.
    const std::string bind = host.startsWith(u"localhost"_s) ? "127.0.0.1" : "127.0.9.1";
    const auto projector = StartProjector(bind, 0);
    QVERIFY(projector);
    const QString port = QString::number(projector->config().port);
    QStringList args{host.contains(u"%1"_s) ? host.arg(port) : host};
    if (portOption)
        args << u"--port"_s << port;
    args << u"--json"_s << u"power"_s << u"on"_s;

    const CliRun run = RunCli(args);
    QVERIFY2(run.exitCode == 0, qPrintable(Describe(run)));
    const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(json.value(u"address"_s).toString(), QString::fromStdString(bind));
    QCOMPARE(json.value(u"result"_s).toInt(-99), 0);
    QCOMPARE(projector->config().power, 3); // warming up: the command arrived
}

void TestPjlinkCli::passwordFromStandardInput_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("right password") << QByteArray("s3cret\n") << 0;
    QTest::newRow("right password, no newline") << QByteArray("s3cret") << 0;
    QTest::newRow("wrong password") << QByteArray("guess\n") << 1;
}

void TestPjlinkCli::passwordFromStandardInput()
{
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    const auto projector = StartProjector("127.0.9.2", 0, "s3cret");
    QVERIFY(projector);
    const CliRun run = RunCli({u"127.0.9.2:%1"_s.arg(projector->config().port), u"--password"_s,
                               u"-"_s, u"power"_s, u"on"_s},
                              input);
    QVERIFY2(run.exitCode == exitCode, qPrintable(Describe(run)));
    QCOMPARE(projector->config().power, exitCode == 0 ? 3 : 0);
    if (exitCode != 0)
        QVERIFY2(run.err.contains(u"authentication failed"_s), qPrintable(Describe(run)));
}

QTEST_GUILESS_MAIN(TestPjlinkCli)
#include "tst_pjlinkcli.moc"
