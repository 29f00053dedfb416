#include "pjlink/answer.h"
#include "pjlink/security.h"

#include <QList>
#include <QTest>

#include <string_view>

namespace {

std::string_view view(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

struct Outcome
{
    int code = PJL_ERR_CONNECTION;
    QList<int> values;
    QByteArray text;
};

Outcome fromInt(const pjlink::IntAnswer &answer)
{
    return {answer.code, answer.code == PJL_OK ? QList<int>{answer.value} : QList<int>{}, {}};
}

Outcome fromList(const pjlink::ListAnswer &answer)
{
    return {answer.code, QList<int>(answer.values.begin(), answer.values.end()), {}};
}

Outcome fromResolution(const pjlink::ResolutionAnswer &answer)
{
    if (answer.code != PJL_OK)
        return {answer.code, {}, {}};
    return {answer.code, {int(answer.signal), answer.width, answer.height}, {}};
}

Outcome parsePayload(std::string_view command, std::string_view payload)
{
    // Class 2 payloads; INPT, INST and the texts share the Class 1 parsers.
    if (command == "FILT")
        return fromInt(pjlink::parseHours(payload));
    if (command == "FREZ")
        return fromInt(pjlink::parseFreeze(payload));
    if (command == "IRES")
        return fromResolution(pjlink::parseResolution(payload, true));
    if (command == "RRES")
        return fromResolution(pjlink::parseResolution(payload, false));
    if (command == "RLMP" || command == "RFIL") {
        const pjlink::TextListAnswer answer = pjlink::parseModels(payload);
        QByteArray joined;
        for (const std::string &model : answer.texts)
            joined += (joined.isEmpty() ? "" : "|") + QByteArray::fromStdString(model);
        return {answer.code, {}, joined};
    }
    if (command == "POWR")
        return fromInt(pjlink::parsePower(payload));
    if (command == "INPT") {
        const pjlink::InputAnswer answer = pjlink::parseInput(payload);
        return {answer.code,
                answer.code == PJL_OK ? QList<int>{answer.type, answer.number} : QList<int>{},
                {}};
    }
    if (command == "AVMT")
        return fromInt(pjlink::parseMute(payload));
    if (command == "ERST")
        return fromList(pjlink::parseErrorStatus(payload));
    if (command == "LAMP")
        return fromList(pjlink::parseLamps(payload));
    if (command == "INST")
        return fromList(pjlink::parseInputList(payload));
    if (command == "CLSS")
        return fromInt(pjlink::parseClass(payload));
    const pjlink::TextAnswer answer = pjlink::parseText(payload);
    return {answer.code, {}, QByteArray(answer.text.data(), qsizetype(answer.text.size()))};
}

// What the client makes of the bytes received after sending request ("POWR ?" or "POWR 1", with
// "%2" in front for Class 2): frame lines, skip what is not meant for us, parse the first
// answer. -1: still waiting.
Outcome decode(const QByteArray &request, const QByteArray &received)
{
    const bool class2 = request.startsWith("%2");
    const std::string_view command = view(request).substr(class2 ? 2 : 0, 4);
    const bool isQuery = request.contains(" ?"); // "INNM ?31" asks about an input
    std::string_view rest = view(received);
    for (;;) {
        const pjlink::LineSplit split = pjlink::splitLine(rest);
        if (split.status == pjlink::LineSplit::NeedMore)
            return {};
        if (split.status == pjlink::LineSplit::FramingLost)
            return {PJL_ERR_BAD_ANSWER, {}, {}};
        rest.remove_prefix(split.consumed);
        const pjlink::AnswerLine answer =
            pjlink::matchAnswer(split.line, command, class2 ? '2' : '1');
        if (answer.kind == pjlink::AnswerLine::Skip)
            continue;
        if (answer.code != PJL_OK)
            return {answer.code, {}, {}};
        if (!isQuery)
            return {pjlink::parseSetResult(answer.payload), {}, {}};
        return parsePayload(command, answer.payload);
    }
}

} // namespace

class TestPjlinkAnswer : public QObject
{
    Q_OBJECT

private slots:
    void greeting_data();
    void greeting();
    void answer_data();
    void answer();
    void splitLine_crLfGivesLineThenEmptyLine();
    void levelTwoAnswer_data();
    void levelTwoAnswer();
    void digests_knownAnswers();
};

void TestPjlinkAnswer::greeting_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("security");
    QTest::addColumn<QByteArray>("random");

    QTest::newRow("no security") << QByteArray("PJLINK 0") << 0 << false << QByteArray();
    QTest::newRow("security") << QByteArray("PJLINK 1 498e4a67") << 0 << true
                              << QByteArray("498e4a67");
    QTest::newRow("lower case, blanks")
        << QByteArray(" pjlink  1\t0a1b2c3d ") << 0 << true << QByteArray("0a1b2c3d");
    QTest::newRow("ERRA") << QByteArray("PJLINK ERRA") << 10 << false << QByteArray();
    QTest::newRow("empty") << QByteArray() << -1 << false << QByteArray();
    QTest::newRow("prefix only") << QByteArray("PJLINK") << -1 << false << QByteArray();
    QTest::newRow("glued") << QByteArray("PJLINK0") << -1 << false << QByteArray();
    QTest::newRow("level 2") << QByteArray("PJLINK 2") << -1 << false << QByteArray();
    QTest::newRow("security without seed") << QByteArray("PJLINK 1") << -1 << false << QByteArray();
    QTest::newRow("seed in two parts")
        << QByteArray("PJLINK 1 498e 4a67") << -1 << false << QByteArray();
    QTest::newRow("trailing word") << QByteArray("PJLINK 0 hello") << -1 << false << QByteArray();
    QTest::newRow("seed too long")
        << QByteArray("PJLINK 1 " + QByteArray(33, 'a')) << -1 << false << QByteArray();
    QTest::newRow("control byte in seed") << QByteArray("PJLINK 1 498e\x01"
                                                        "4a67")
                                          << -1 << false << QByteArray();
    QTest::newRow("other protocol") << QByteArray("SSH-2.0-OpenSSH") << -1 << false << QByteArray();
}

void TestPjlinkAnswer::greeting()
{
    QFETCH(QByteArray, line);
    QFETCH(int, code);
    QFETCH(bool, security);
    QFETCH(QByteArray, random);

    const pjlink::Greeting greeting = pjlink::parseGreeting(view(line));
    QCOMPARE(greeting.code, code);
    QCOMPARE(greeting.security, security);
    QCOMPARE(QByteArray(greeting.random.data(), qsizetype(greeting.random.size())), random);
}

void TestPjlinkAnswer::answer_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("code");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<QByteArray>("text");

    using L = QList<int>;
    const QByteArray none;
    auto row = [](const char *name, const char *request, const QByteArray &received, int code,
                  const QList<int> &values = {}, const QByteArray &text = {}) {
        QTest::newRow(name) << QByteArray(request) << received << code << values << text;
    };

    // Framing and echo.
    row("power on", "POWR ?", "%1POWR=1\r", 0, L{1});
    row("power code passed through", "POWR ?", "%1POWR=7\r", 0, L{7});
    row("CR LF", "POWR ?", "%1POWR=3\r\n", 0, L{3});
    row("LF only", "POWR ?", "%1POWR=2\n", 0, L{2});
    row("empty lines first", "POWR ?", "\r\n\n  \r%1POWR=0\r", 0, L{0});
    row("no line end yet", "POWR ?", "%1POWR=1", -1);
    row("lower-case echo", "POWR ?", "%1powr=0\r", 0, L{0});
    row("blanks around payload", "POWR ?", "%1POWR= 1 \t\r", 0, L{1});
    row("class 2 notification skipped", "POWR ?", "%2LKUP=00:11:22:33:44:55\r%1POWR=1\r", 0, L{1});
    row("NUL padding between lines", "POWR ?",
        "%2LKUP=00:11:22:33:44:55\r" + QByteArray(3, '\0') + "%1POWR=1\r" + QByteArray(2, '\0'), 0,
        L{1});
    row("NUL padding alone is no line", "POWR ?", QByteArray(600, '\0'), -1);
    row("NUL padding, then framing lost", "NAME ?",
        QByteArray(100, '\0') + "%1NAME=" + QByteArray(505, 'x'), 5);
    row("wrong command echoed", "POWR ?", "%1INPT=11\r", 5);
    row("no equals sign", "POWR ?", "%1POWR 1\r", 5);
    row("class digit missing", "POWR ?", "%POWR=1\r", 5);
    row("not an answer", "POWR ?", "hello\r", 5);
    row("truncated echo", "POWR ?", "%1PO\r", 5);
    row("longest allowed line", "NAME ?", "%1NAME=" + QByteArray(128, 'x') + '\r', 0, L{},
        QByteArray(128, 'x'));
    row("line too long", "NAME ?", "%1NAME=" + QByteArray(129, 'x') + '\r', 5);
    row("no line end within 511 bytes", "NAME ?", "%1NAME=" + QByteArray(504, 'x'), -1);
    row("framing lost at 512 bytes", "NAME ?", "%1NAME=" + QByteArray(505, 'x'), 5);

    // Errors.
    row("ERR1", "POWR ?", "%1POWR=ERR1\r", 1);
    row("ERR2", "INPT 99", "%1INPT=ERR2\r", 2);
    row("ERR3", "INPT ?", "%1INPT=ERR3\r", 3);
    row("ERR4", "LAMP ?", "%1LAMP=ERR4\r", 4);
    row("lower-case err", "AVMT ?", "%1AVMT=err3\r", 3);
    row("ERR5 is no error code", "POWR ?", "%1POWR=ERR5\r", 5);
    row("ERRA", "POWR ?", "PJLINK ERRA\r", 10);
    row("ERRA after notification", "POWR ?", "%2LKUP=x\rPJLINK ERRA\r", 10);

    // Set commands.
    row("set OK", "POWR 1", "%1POWR=OK\r", 0);
    row("set ok lower case", "AVMT 31", "%1AVMT=ok\r", 0);
    row("set refused", "INPT 31", "%1INPT=ERR2\r", 2);
    row("set odd answer", "INPT 31", "%1INPT=31\r", 5);

    // Payloads.
    row("power not a number", "POWR ?", "%1POWR=on\r", 5);
    row("power empty", "POWR ?", "%1POWR=\r", 5);
    row("power too many digits", "POWR ?", "%1POWR=12345678901\r", 5);
    row("input", "INPT ?", "%1INPT=31\r", 0, L{3, 1});
    row("input letter", "INPT ?", "%1INPT=6A\r", 0, L{6, 10});
    row("input lower-case letter", "INPT ?", "%1INPT=6z\r", 0, L{6, 35});
    row("input one char", "INPT ?", "%1INPT=3\r", 5);
    row("input three chars", "INPT ?", "%1INPT=311\r", 5);
    row("input letter type", "INPT ?", "%1INPT=A1\r", 5);
    row("input punctuation", "INPT ?", "%1INPT=3!\r", 5);
    row("mute", "AVMT ?", "%1AVMT=31\r", 0, L{31});
    row("mute off", "AVMT ?", "%1AVMT=30\r", 0, L{30});
    row("mute one digit", "AVMT ?", "%1AVMT=3\r", 5);
    row("mute three digits", "AVMT ?", "%1AVMT=301\r", 5);
    row("mute letter", "AVMT ?", "%1AVMT=3x\r", 5);
    row("errors", "ERST ?", "%1ERST=012021\r", 0, L{0, 1, 2, 0, 2, 1});
    row("error level passed through", "ERST ?", "%1ERST=000900\r", 0, L{0, 0, 0, 9, 0, 0});
    row("errors five", "ERST ?", "%1ERST=00000\r", 5);
    row("errors seven", "ERST ?", "%1ERST=0000000\r", 5);
    row("errors letter", "ERST ?", "%1ERST=00a000\r", 5);
    row("errors blank inside", "ERST ?", "%1ERST=000 00\r", 5);
    row("one lamp", "LAMP ?", "%1LAMP=1200 1\r", 0, L{1200, 1});
    row("two lamps, wide gap", "LAMP ?", "%1LAMP=1200 1  \t35 0\r", 0, L{1200, 1, 35, 0});
    row("eight lamps", "LAMP ?", "%1LAMP=1 0 2 0 3 0 4 0 5 0 6 0 7 0 8 1\r", 0,
        L{1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 1});
    row("nine lamps", "LAMP ?", "%1LAMP=1 0 2 0 3 0 4 0 5 0 6 0 7 0 8 1 9 1\r", 5);
    row("lamp odd count", "LAMP ?", "%1LAMP=1200 1 35\r", 5);
    row("lamp hours not a number", "LAMP ?", "%1LAMP=12h 1\r", 5);
    row("lamp negative", "LAMP ?", "%1LAMP=-5 1\r", 5);
    row("no lamps", "LAMP ?", "%1LAMP=\r", 0, L{});
    row("inputs", "INST ?", "%1INST=11 12 31\r", 0, L{1, 1, 1, 2, 3, 1});
    row("inputs letters and gaps", "INST ?", "%1INST=11   6A\t6b\r", 0, L{1, 1, 6, 10, 6, 11});
    row("inputs empty", "INST ?", "%1INST=\r", 0, L{});
    row("inputs short entry", "INST ?", "%1INST=11 1\r", 5);
    row("inputs comma", "INST ?", "%1INST=11,12\r", 5);
    row("class 1", "CLSS ?", "%1CLSS=1\r", 0, L{1});
    row("class 2", "CLSS ?", "%1CLSS=2\r", 0, L{2});
    row("class two digits", "CLSS ?", "%1CLSS=12\r", 5);
    row("class letter", "CLSS ?", "%1CLSS=x\r", 5);
    row("class in words", "CLSS ?", "%1CLSS=Class 1\r", 0, L{1});
    row("class padded, lower case", "CLSS ?", "%1clss= class  2 \r", 0, L{2});
    row("class two numbers", "CLSS ?", "%1CLSS=Class 1 2\r", 5);
    row("class digit in a word", "CLSS ?", "%1CLSS=Class1\r", 5);
    row("class words only", "CLSS ?", "%1CLSS=Class\r", 5);
    row("name", "NAME ?", "%1NAME=Hall A\r", 0, L{}, "Hall A");
    row("name UTF-8", "NAME ?", "%1NAME=Saal \xc3\x9c\r", 0, L{}, "Saal \xc3\x9c");
    row("name empty", "NAME ?", "%1NAME=\r", 0, L{}, none);
    row("name NUL padded", "NAME ?", QByteArray("%1NAME=Room\0\0\0\r", 15), 0, L{}, "Room");
    row("name starting with NUL", "NAME ?", QByteArray("%1NAME=\0Room\r", 13), 0, L{}, none);
    row("manufacturer", "INF1 ?", "%1INF1=Emulux\r", 0, L{}, "Emulux");
    row("model", "INF2 ?", "%1INF2=EP-100\r", 0, L{}, "EP-100");
    row("other information", "INFO ?", "%1INFO=lens 2, fw 1.04\r", 0, L{}, "lens 2, fw 1.04");
    row("text wrong echo", "INF1 ?", "%1INF2=Emulux\r", 5);

    // Class 2: the answer must carry the request's class.
    row("class 2 serial number", "%2SNUM ?", "%2SNUM=A1B2C3\r", 0, L{}, "A1B2C3");
    row("class 2 echoed as class 1", "%2SNUM ?", "%1SNUM=A1B2C3\r", 0, L{}, "A1B2C3");
    row("class 1 answer of another command skipped", "%2FILT ?", "%1POWR=1\r%2FILT=7\r", 0, L{7});
    row("class 2 notification before the answer", "%2FILT ?",
        "%2POWR=1\r%2LKUP=00:11:22:33:44:55\r%2FILT=120\r", 0, L{120});
    row("class 2 other command echoed", "%2FILT ?", "%2SNUM=120\r", 5);
    row("class 2 ERR1 of a class 1 projector", "%2SVER ?", "%2SVER=ERR1\r", 1);
    row("class 2 ERR3", "%2IRES ?", "%2IRES=ERR3\r", 3);
    row("class 2 lower-case echo", "%2FREZ ?", "%2frez=1\r", 0, L{1});
    row("software version", "%2SVER ?", "%2SVER=2.01b\r", 0, L{}, "2.01b");
    row("input name", "%2INNM ?31", "%2INNM=HDMI 1\r", 0, L{}, "HDMI 1");
    row("input name empty", "%2INNM ?31", "%2INNM=\r", 0, L{}, none);
    row("class 2 input internal", "%2INPT ?", "%2INPT=61\r", 0, L{6, 1});
    row("class 2 inputs with letters", "%2INST ?", "%2INST=11 3A 3B 61\r", 0,
        L{1, 1, 3, 10, 3, 11, 6, 1});
    row("filter hours", "%2FILT ?", "%2FILT=00250\r", 0, L{250});
    row("filter hours padded", "%2FILT ?", "%2FILT= 250 \r", 0, L{250});
    row("filter hours with unit", "%2FILT ?", "%2FILT=250h\r", 5);
    row("filter hours negative", "%2FILT ?", "%2FILT=-1\r", 5);
    row("filter hours empty", "%2FILT ?", "%2FILT=\r", 5);
    row("resolution", "%2IRES ?", "%2IRES=1920x1080\r", 0, L{0, 1920, 1080});
    row("resolution upper-case X, blanks", "%2IRES ?", "%2IRES=1920 X 1080\r", 0, L{0, 1920, 1080});
    row("no signal", "%2IRES ?", "%2IRES=-\r", 0, L{1, 0, 0});
    row("unknown signal", "%2IRES ?", "%2IRES=*\r", 0, L{2, 0, 0});
    row("resolution one number", "%2IRES ?", "%2IRES=1920\r", 5);
    row("resolution zero", "%2IRES ?", "%2IRES=0x1080\r", 5);
    row("resolution three numbers", "%2IRES ?", "%2IRES=1920x1080x60\r", 5);
    row("resolution letters", "%2IRES ?", "%2IRES=FHDx1080\r", 5);
    row("recommended resolution", "%2RRES ?", "%2RRES=1280x800\r", 0, L{0, 1280, 800});
    row("recommended without signal mark", "%2RRES ?", "%2RRES=-\r", 5);
    row("lamp models", "%2RLMP ?", "%2RLMP=LMP-1 LMP-2\r", 0, L{}, "LMP-1|LMP-2");
    row("lamp models none", "%2RLMP ?", "%2RLMP=\r", 0, L{}, none);
    row("filter model padded", "%2RFIL ?", "%2RFIL=  FLT-9 \r", 0, L{}, "FLT-9");
    row("filter model control byte", "%2RFIL ?", "%2RFIL=FLT\x01\r", 5);
    row("freeze off", "%2FREZ ?", "%2FREZ=0\r", 0, L{0});
    row("freeze two", "%2FREZ ?", "%2FREZ=2\r", 5);
    row("freeze word", "%2FREZ ?", "%2FREZ=on\r", 5);
    row("freeze set", "%2FREZ 1", "%2FREZ=OK\r", 0);
    row("volume set refused", "%2SVOL 1", "%2SVOL=ERR3\r", 3);
}

void TestPjlinkAnswer::answer()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, received);
    QFETCH(int, code);
    QFETCH(QList<int>, values);
    QFETCH(QByteArray, text);

    const Outcome outcome = decode(request, received);
    QCOMPARE(outcome.code, code);
    QCOMPARE(outcome.values, values);
    QCOMPARE(outcome.text, text);
}

// The client relies on this: the LF of a CR LF shows up as an empty line, never glued to the
// next answer.
void TestPjlinkAnswer::splitLine_crLfGivesLineThenEmptyLine()
{
    const std::string_view buffer = "%1POWR=1\r\n%1";
    const pjlink::LineSplit first = pjlink::splitLine(buffer);
    QCOMPARE(first.status, pjlink::LineSplit::Line);
    QCOMPARE(first.line, std::string_view("%1POWR=1"));
    QCOMPARE(first.consumed, std::size_t(9));

    const pjlink::LineSplit second = pjlink::splitLine(buffer.substr(first.consumed));
    QCOMPARE(second.status, pjlink::LineSplit::Line);
    QVERIFY(second.line.empty());
    QCOMPARE(pjlink::splitLine(buffer.substr(first.consumed + second.consumed)).status,
             pjlink::LineSplit::NeedMore);
}

void TestPjlinkAnswer::levelTwoAnswer_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("random"); // hex; empty: not a level 2 answer

    const QByteArray hex("3db2c0a1f8e4d70b925e6a1c4f03b8e7");
    QTest::newRow("answer") << "PJLINK 2 " + hex << hex;
    QTest::newRow("upper-case hex, blanks around") << " PJLINK 2 " + hex.toUpper() + "\t" << hex;
    QTest::newRow("lower-case prefix") << "pjlink 2 " + hex << hex;
    QTest::newRow("ERRA") << QByteArray("PJLINK ERRA") << QByteArray();
    QTest::newRow("level 1 seed") << QByteArray("PJLINK 1 498e4a67") << QByteArray();
    QTest::newRow("one digit short") << "PJLINK 2 " + hex.left(31) << QByteArray();
    QTest::newRow("one digit more") << "PJLINK 2 " + hex + "0" << QByteArray();
    QTest::newRow("not hex") << "PJLINK 2 " + hex.left(31) + "g" << QByteArray();
    QTest::newRow("two blanks") << "PJLINK 2  " + hex << QByteArray();
    QTest::newRow("a command") << QByteArray("%1POWR=ERR1") << QByteArray();
}

void TestPjlinkAnswer::levelTwoAnswer()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, random);
    const std::optional<pjlink::Random16> parsed = pjlink::parseLevelTwoAnswer(view(line));
    QCOMPARE(parsed.has_value(), !random.isEmpty());
    if (parsed)
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(parsed->data()), 16).toHex(), random);
}

// Values computed apart from this code (Python's hashlib): MD5 of seed and password; at level 2
// our random bytes in hex, then SHA-256 of the hex text of both randoms XORed and the password.
void TestPjlinkAnswer::digests_knownAnswers()
{
    QCOMPARE(pjlink::levelOnePrefix("498e4a67", "Lamp-Room 7"),
             std::string("2ad634fd12320b2956a5b5eff98d6759"));

    pjlink::Random16 theirs{};
    const QByteArray theirHex = QByteArray::fromHex("3db2c0a1f8e4d70b925e6a1c4f03b8e7");
    std::copy(theirHex.begin(), theirHex.end(), theirs.begin());
    pjlink::Random16 ours{};
    for (std::size_t i = 0; i < ours.size(); ++i)
        ours[i] = std::uint8_t(0x10 + i);
    QCOMPARE(pjlink::levelTwoPrefix(theirs, ours, "Lamp-Room 7"),
             std::string("101112131415161718191a1b1c1d1e1f"
                         "ddaf287663da15f57b64153f625c4e39aa5f21d0c6554166db88ee169e28882e"));
}

QTEST_APPLESS_MAIN(TestPjlinkAnswer)
#include "tst_pjlink_answer.moc"
