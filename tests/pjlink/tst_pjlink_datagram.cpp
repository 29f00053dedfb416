#include "pjlink/datagram.h"

#include <QList>
#include <QTest>

#include <string_view>

namespace {

std::string_view view(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// What a datagram means, flattened for comparison: the kind and its values.
QList<int> valuesOf(const pjlink::Datagram &d)
{
    switch (d.kind) {
    case pjlink::Datagram::SearchAnswer:
    case pjlink::Datagram::LinkUp:
        return QList<int>(d.mac.begin(), d.mac.end());
    case pjlink::Datagram::Power:
    case pjlink::Datagram::Mute:
        return {d.value};
    case pjlink::Datagram::Input:
        return {d.inputType, d.inputNumber};
    case pjlink::Datagram::Errors:
        return QList<int>(d.levels.begin(), d.levels.end());
    default:
        return {};
    }
}

} // namespace

class TestPjlinkDatagram : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void oversized_isMalformed();
    void severalMessages_readInOrder_data();
    void severalMessages_readInOrder();
    void formatMac_roundTrip();
};

void TestPjlinkDatagram::parse_data()
{
    using D = pjlink::Datagram;
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QList<int>>("values");

    const QList<int> mac{0x00, 0x00, 0x5E, 0x00, 0x53, 0x01};
    QTest::newRow("search request")
        << QByteArray("%2SRCH\r") << int(D::SearchRequest) << QList<int>();
    QTest::newRow("search answer")
        << QByteArray("%2ACKN=00:00:5E:00:53:01\r") << int(D::SearchAnswer) << mac;
    QTest::newRow("answer: lower-case command and hex")
        << QByteArray("%2ackn=00:00:5e:00:53:01\r") << int(D::SearchAnswer) << mac;
    QTest::newRow("answer: no CR, NUL padding")
        << QByteArray("%2ACKN=00:00:5E:00:53:01\0\0\0", 27) << int(D::SearchAnswer) << mac;
    QTest::newRow("answer: CR LF, blanks around the value")
        << QByteArray("%2ACKN= 00:00:5E:00:53:01 \r\n") << int(D::SearchAnswer) << mac;
    QTest::newRow("link up") << QByteArray("%2LKUP=00:00:5E:00:53:01\r") << int(D::LinkUp) << mac;
    QTest::newRow("power on") << QByteArray("%2POWR=1\r") << int(D::Power) << QList<int>{1};
    QTest::newRow("power warm-up") << QByteArray("%2POWR=3\r") << int(D::Power) << QList<int>{3};
    QTest::newRow("input digital 2")
        << QByteArray("%2INPT=32\r") << int(D::Input) << QList<int>{3, 2};
    QTest::newRow("input internal Z")
        << QByteArray("%2INPT=6Z\r") << int(D::Input) << QList<int>{6, 35};
    QTest::newRow("input letter in lower case")
        << QByteArray("%2INPT=6a\r") << int(D::Input) << QList<int>{6, 10};
    QTest::newRow("mute video") << QByteArray("%2AVMT=11\r") << int(D::Mute) << QList<int>{11};
    QTest::newRow("mute off") << QByteArray("%2AVMT=30\r") << int(D::Mute) << QList<int>{30};
    QTest::newRow("errors") << QByteArray("%2ERST=012000\r") << int(D::Errors)
                            << QList<int>{0, 1, 2, 0, 0, 0};

    const int bad = int(D::Malformed);
    const QList<int> none;
    QTest::newRow("empty") << QByteArray() << bad << none;
    QTest::newRow("padding only") << QByteArray("\r\n\0", 3) << bad << none;
    QTest::newRow("Class 1 prefix") << QByteArray("%1POWR=1\r") << bad << none;
    QTest::newRow("unknown command") << QByteArray("%2FREZ=1\r") << bad << none;
    QTest::newRow("no equals sign") << QByteArray("%2POWR 1\r") << bad << none;
    QTest::newRow("empty value") << QByteArray("%2POWR=\r") << bad << none;
    QTest::newRow("power out of range") << QByteArray("%2POWR=4\r") << bad << none;
    QTest::newRow("power ERR3") << QByteArray("%2POWR=ERR3\r") << bad << none;
    QTest::newRow("input type 7") << QByteArray("%2INPT=71\r") << bad << none;
    QTest::newRow("input number 0") << QByteArray("%2INPT=30\r") << bad << none;
    QTest::newRow("input three characters") << QByteArray("%2INPT=311\r") << bad << none;
    QTest::newRow("mute set form, not a state") << QByteArray("%2AVMT=10\r") << bad << none;
    QTest::newRow("errors: level 3") << QByteArray("%2ERST=000300\r") << bad << none;
    QTest::newRow("errors: five levels") << QByteArray("%2ERST=00000\r") << bad << none;
    QTest::newRow("MAC with dashes") << QByteArray("%2ACKN=00-00-5E-00-53-01\r") << bad << none;
    QTest::newRow("MAC one pair short") << QByteArray("%2ACKN=00:00:5E:00:53\r") << bad << none;
    QTest::newRow("MAC not hex") << QByteArray("%2ACKN=00:00:5G:00:53:01\r") << bad << none;
    QTest::newRow("two messages in one datagram")
        << QByteArray("%2POWR=1\r%2POWR=0\r") << bad << none;
    QTest::newRow("NUL inside") << QByteArray("%2POWR=1\0x\r", 11) << bad << none;
    QTest::newRow("search request with a value") << QByteArray("%2SRCH=1\r") << bad << none;
    QTest::newRow("blank inside the command") << QByteArray("%2PO WR=1\r") << bad << none;
}

void TestPjlinkDatagram::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, kind);
    QFETCH(QList<int>, values);
    const pjlink::Datagram d = pjlink::parseDatagram(view(bytes));
    QCOMPARE(int(d.kind), kind);
    QCOMPARE(d.code, kind == pjlink::Datagram::Malformed ? PJL_ERR_BAD_ANSWER : PJL_OK);
    QCOMPARE(valuesOf(d), values);
}

// A well-formed message padded beyond the size limit is not read at all.
void TestPjlinkDatagram::oversized_isMalformed()
{
    QByteArray bytes("%2POWR=1\r");
    QCOMPARE(int(pjlink::parseDatagram(view(bytes)).kind), int(pjlink::Datagram::Power));
    bytes.append(QByteArray(int(pjlink::kMaxDatagram), '\0'));
    QCOMPARE(int(pjlink::parseDatagram(view(bytes)).kind), int(pjlink::Datagram::Malformed));
}

void TestPjlinkDatagram::severalMessages_readInOrder_data()
{
    using D = pjlink::Datagram;
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("kinds");

    QTest::newRow("one message") << QByteArray("%2POWR=1\r") << QList<int>{D::Power};
    QTest::newRow("two messages") << QByteArray("%2LKUP=00:00:5E:00:53:01\r%2POWR=1\r")
                                  << QList<int>{D::LinkUp, D::Power};
    QTest::newRow("NUL and LF padding between and after")
        << QByteArray("%2POWR=0\r\n") + QByteArray(2, '\0') + "%2INPT=6A\r" + QByteArray(3, '\0')
        << QList<int>{D::Power, D::Input};
    QTest::newRow("last message without CR")
        << QByteArray("%2AVMT=31\r%2ERST=000000") << QList<int>{D::Mute, D::Errors};
    QTest::newRow("a malformed message among good ones")
        << QByteArray("%2POWR=1\r%2POWR=9\r%2AVMT=30\r")
        << QList<int>{D::Power, D::Malformed, D::Mute};
    QTest::newRow("padding only") << QByteArray("\r\n\0\r", 4) << QList<int>{};
    QTest::newRow("LF inside a message")
        << QByteArray("%2POWR=1\n%2POWR=0\r") << QList<int>{D::Malformed};
    QTest::newRow("one over the message cap")
        << QByteArray("%2POWR=1\r").repeated(int(pjlink::kMaxMessagesPerDatagram) + 1)
        << QList<int>(int(pjlink::kMaxMessagesPerDatagram), D::Power);
    QTest::newRow("oversized") << QByteArray("%2POWR=1\r").repeated(60) << QList<int>{D::Malformed};
}

void TestPjlinkDatagram::severalMessages_readInOrder()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, kinds);
    QList<int> read;
    for (const pjlink::Datagram &d : pjlink::parseDatagrams(view(bytes)))
        read << int(d.kind);
    QCOMPARE(read, kinds);
}

void TestPjlinkDatagram::formatMac_roundTrip()
{
    const pjlink::MacAddress mac{0x02, 0xab, 0x00, 0xff, 0x10, 0x9c};
    const std::string answer = pjlink::formatSearchAnswer(mac);
    QCOMPARE(QByteArray::fromStdString(answer), QByteArray("%2ACKN=02:AB:00:FF:10:9C\r"));
    const pjlink::Datagram d = pjlink::parseDatagram(answer);
    QCOMPARE(int(d.kind), int(pjlink::Datagram::SearchAnswer));
    QVERIFY(d.mac == mac);
}

QTEST_APPLESS_MAIN(TestPjlinkDatagram)
#include "tst_pjlink_datagram.moc"
