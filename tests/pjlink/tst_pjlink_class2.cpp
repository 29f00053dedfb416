#include "pjlink/class2.h"
#include "pjlink/connection.h"
#include "tools/emulator/emulatedprojector.h"

#include <QTest>

#include <memory>
#include <string>
#include <vector>

// The Class 2 requests against the emulator: every query and command of a Class 2 projector,
// the ERR1 of a Class 1 one, and the quirks real firmware adds to the answers.
namespace {

constexpr int kPort = 4352;

std::string nextAddress()
{
    static int host = 200;
    ++host;
    Q_ASSERT(host < 250);
    return "127.0.0." + std::to_string(host);
}

EmulatorConfig class2Config()
{
    EmulatorConfig config;
    config.pjlinkClass = 2;
    config.password = "pw";
    config.power = 1;
    config.inputs = {{1, 1}, {3, 1}, {3, 10}, {6, 1}};
    config.inputNames = {{{3, 1}, "HDMI 1"}, {{3, 10}, "HDBaseT \xe2\x91\xa0"}, {{6, 1}, ""}};
    config.serialNumber = "SN-0042";
    config.softwareVersion = "2.01b";
    config.filterHours = 250;
    config.lampModels = "LMP-1 LMP-2";
    config.filterModels = "FLT-9";
    config.inputResolution = "1920x1080";
    config.recommendedResolution = "1280x800";
    return config;
}

} // namespace

class TestPjlinkClass2 : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void class2Projector_everyQueryAndCommand();
    void class1Projector_answersErr1AndStaysConnected();
    void quirks_data();
    void quirks();

private:
    pjlink::Connection &connectTo(const EmulatorConfig &config, const char *password);

    std::unique_ptr<EmulatedProjector> m_projector;
    std::unique_ptr<pjlink::Connection> m_connection;
};

void TestPjlinkClass2::cleanup()
{
    m_connection.reset();
    m_projector.reset();
}

pjlink::Connection &TestPjlinkClass2::connectTo(const EmulatorConfig &config, const char *password)
{
    EmulatorConfig started = config;
    started.address = nextAddress();
    started.port = kPort;
    m_projector = std::make_unique<EmulatedProjector>(started);
    std::string error;
    if (!m_projector->start(&error))
        qFatal("emulator: %s", error.c_str());
    m_connection = std::make_unique<pjlink::Connection>();
    m_connection->SetRecvTimeOut(1);
    const int result = m_connection->ConnectWithPassword(started.address.c_str(), kPort, password);
    if (result != PJL_OK)
        qFatal("connect: %d", result);
    return *m_connection;
}

void TestPjlinkClass2::class2Projector_everyQueryAndCommand()
{
    namespace c2 = pjlink::class2;
    pjlink::Connection &link = connectTo(class2Config(), "pw");

    std::string text;
    QCOMPARE(c2::GetSerialNumber(link, text), PJL_OK);
    QCOMPARE(text, std::string("SN-0042"));
    QCOMPARE(c2::GetSoftwareVersion(link, text), PJL_OK);
    QCOMPARE(text, std::string("2.01b"));

    std::vector<c2::Input> inputs;
    QCOMPARE(c2::GetInputList(link, inputs), PJL_OK);
    QCOMPARE(inputs, (std::vector<c2::Input>{{1, 1}, {3, 1}, {3, 10}, {6, 1}}));
    // The Class 1 list leaves out what Class 1 cannot name.
    const int *pairs = nullptr;
    int count = 0;
    QCOMPARE(link.GetAvailableInputList(&pairs, &count), PJL_OK);
    QCOMPARE(count, 2);

    QCOMPARE(c2::GetInputName(link, {3, 1}, text), PJL_OK);
    QCOMPARE(text, std::string("HDMI 1"));
    QCOMPARE(c2::GetInputName(link, {3, 10}, text), PJL_OK);
    QCOMPARE(text, std::string("HDBaseT \xe2\x91\xa0"));
    QCOMPARE(c2::GetInputName(link, {6, 1}, text), PJL_OK);
    QCOMPARE(text, std::string());
    QCOMPARE(c2::GetInputName(link, {2, 1}, text), PJL_ERR_PARAMETER); // not offered
    QCOMPARE(c2::GetInputName(link, {7, 1}, text), PJL_ERR_PARAMETER); // no such type: not sent

    pjlink::ResolutionAnswer resolution;
    QCOMPARE(c2::GetInputResolution(link, resolution), PJL_OK);
    QCOMPARE(resolution.width, 1920);
    QCOMPARE(resolution.height, 1080);
    QCOMPARE(c2::GetRecommendedResolution(link, resolution), PJL_OK);
    QCOMPARE(resolution.width, 1280);
    int hours = -1;
    QCOMPARE(c2::GetFilterHours(link, hours), PJL_OK);
    QCOMPARE(hours, 250);
    std::vector<std::string> models;
    QCOMPARE(c2::GetLampModels(link, models), PJL_OK);
    QCOMPARE(models, (std::vector<std::string>{"LMP-1", "LMP-2"}));
    QCOMPARE(c2::GetFilterModels(link, models), PJL_OK);
    QCOMPARE(models, (std::vector<std::string>{"FLT-9"}));

    // Commands change the projector, and its answers follow.
    QCOMPARE(c2::ChangeInput(link, {3, 10}), PJL_OK);
    c2::Input input;
    QCOMPARE(c2::GetInput(link, input), PJL_OK);
    QCOMPARE(input, (c2::Input{3, 10}));
    QCOMPARE(c2::ChangeInput(link, {6, 2}), PJL_ERR_PARAMETER);
    bool frozen = false;
    QCOMPARE(c2::Freeze(link, true), PJL_OK);
    QCOMPARE(c2::GetFreeze(link, frozen), PJL_OK);
    QVERIFY(frozen);
    QCOMPARE(c2::SpeakerVolume(link, true), PJL_OK);
    QCOMPARE(c2::MicrophoneVolume(link, false), PJL_OK);
    QCOMPARE(m_projector->config().speakerVolume, 11);
    QCOMPARE(m_projector->config().microphoneVolume, 9);
    QVERIFY(m_projector->config().freeze);

    // In standby the projector cannot tell its signal or freeze.
    int power = -1;
    QCOMPARE(link.Power(0), PJL_OK);
    QCOMPARE(link.GetPowerStatus(&power), PJL_OK);
    QCOMPARE(c2::GetInputResolution(link, resolution), PJL_ERR_UNAVAILABLE);
    QCOMPARE(c2::Freeze(link, false), PJL_ERR_UNAVAILABLE);
}

void TestPjlinkClass2::class1Projector_answersErr1AndStaysConnected()
{
    namespace c2 = pjlink::class2;
    EmulatorConfig config;
    config.power = 1;
    pjlink::Connection &link = connectTo(config, nullptr);
    std::string text;
    int hours = 0;
    bool frozen = false;
    pjlink::ResolutionAnswer resolution;
    std::vector<std::string> models;
    QCOMPARE(c2::GetSerialNumber(link, text), PJL_ERR_UNDEFINED);
    QCOMPARE(c2::GetFilterHours(link, hours), PJL_ERR_UNDEFINED);
    QCOMPARE(c2::GetInputResolution(link, resolution), PJL_ERR_UNDEFINED);
    QCOMPARE(c2::GetLampModels(link, models), PJL_ERR_UNDEFINED);
    QCOMPARE(c2::Freeze(link, true), PJL_ERR_UNDEFINED);
    QCOMPARE(c2::GetFreeze(link, frozen), PJL_ERR_UNDEFINED);
    int power = -1;
    QCOMPARE(link.GetPowerStatus(&power), PJL_OK);
    QCOMPARE(power, 1);
}

// What firmware sends instead of the plain answer, and what the client makes of it.
void TestPjlinkClass2::quirks_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("value");
    using B = QByteArray;

    QTest::newRow("padded hours") << B("FILT") << B("%2FILT= 00250 ") << 0 << B("250");
    QTest::newRow("notification first")
        << B("FILT") << B("%2LKUP=00:11:22:33:44:55\r%2FILT=7") << 0 << B("7");
    QTest::newRow("class 1 echo") << B("SNUM") << B("%1SNUM=AB12") << 0 << B("AB12");
    QTest::newRow("NUL-padded serial") << B("SNUM") << B("%2SNUM=AB12\0\0", 13) << 0 << B("AB12");
    QTest::newRow("ERR4") << B("SVER") << B("%2SVER=ERR4") << 4 << B("");
    QTest::newRow("lower-case echo, upper X")
        << B("IRES") << B("%2ires=1024X768") << 0 << B("1024x768");
    QTest::newRow("hours with unit") << B("FILT") << B("%2FILT=250h") << 5 << B("");
    QTest::newRow("other command") << B("FILT") << B("%2SNUM=250") << 5 << B("");
    QTest::newRow("silence") << B("FILT") << B("") << -1 << B("");
    QTest::newRow("too long") << B("SNUM") << B("%2SNUM=") + B(200, 'x') << 5 << B("");
}

void TestPjlinkClass2::quirks()
{
    namespace c2 = pjlink::class2;
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, raw);
    QFETCH(int, code);
    QFETCH(QByteArray, value);

    EmulatorConfig config = class2Config();
    config.rawAnswers[command.toStdString()] = raw.toStdString();
    pjlink::Connection &link = connectTo(config, "pw");

    QByteArray got;
    int result = -2;
    if (command == "FILT") {
        int hours = 0;
        result = c2::GetFilterHours(link, hours);
        got = result == 0 ? QByteArray::number(hours) : QByteArray();
    } else if (command == "IRES") {
        pjlink::ResolutionAnswer resolution;
        result = c2::GetInputResolution(link, resolution);
        got = result == 0 ? QByteArray::number(resolution.width) + 'x' +
                                QByteArray::number(resolution.height)
                          : QByteArray();
    } else {
        std::string text;
        result = command == "SNUM" ? c2::GetSerialNumber(link, text)
                                   : c2::GetSoftwareVersion(link, text);
        got = result == 0 ? QByteArray::fromStdString(text) : QByteArray();
    }
    QCOMPARE(result, code);
    QCOMPARE(got, value);
}

QTEST_GUILESS_MAIN(TestPjlinkClass2)
#include "tst_pjlink_class2.moc"
