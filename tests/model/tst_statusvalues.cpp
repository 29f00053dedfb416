#include "model/errorstatus.h"
#include "model/inputstatus.h"
#include "model/lampstatus.h"
#include "model/mutestatus.h"
#include "model/powerstatus.h"
#include "res/stringtable.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestStatusValues : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void texts_data();
    void texts();
    void codes_data();
    void codes();
};

void TestStatusValues::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
}

void TestStatusValues::texts_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("a"); // the code, or the input type, or the error category
    QTest::addColumn<int>("b"); // the input number or the error level
    QTest::addColumn<bool>("korvane");
    QTest::addColumn<QString>("expected");

    QTest::newRow("power unknown") << u"power"_s << -1 << 0 << false << QString();
    QTest::newRow("power off") << u"power"_s << 0 << 0 << false << u"Off"_s;
    QTest::newRow("power on") << u"power"_s << 1 << 0 << false << u"On"_s;
    QTest::newRow("power cooling") << u"power"_s << 2 << 0 << false << u"Cooling"_s;
    QTest::newRow("power warm-up") << u"power"_s << 3 << 0 << false << u"Warm up"_s;
    QTest::newRow("power 7") << u"power"_s << 7 << 0 << false << QString();

    QTest::newRow("mute unknown") << u"mute"_s << -1 << 0 << false << QString();
    QTest::newRow("mute off") << u"mute"_s << 0 << 0 << false << QString();
    QTest::newRow("mute video") << u"mute"_s << 1 << 0 << false << u"Video"_s;
    QTest::newRow("mute audio") << u"mute"_s << 2 << 0 << false << u"Audio"_s;
    QTest::newRow("mute both") << u"mute"_s << 3 << 0 << false << u"Video & Audio"_s;
    QTest::newRow("mute 30") << u"mute"_s << 30 << 0 << false << QString();

    QTest::newRow("short RGB9 korvane") << u"short"_s << 1 << 9 << true << u"Camera"_s;
    QTest::newRow("long RGB9 korvane") << u"long"_s << 1 << 9 << true << u"RGB9(Camera)"_s;
    QTest::newRow("short RGB9") << u"short"_s << 1 << 9 << false << u"RGB9"_s;
    QTest::newRow("long RGB9") << u"long"_s << 1 << 9 << false << u"RGB9"_s;
    QTest::newRow("short RGB2 korvane") << u"short"_s << 1 << 2 << true << u"RGB2"_s;
    QTest::newRow("long Video9 korvane") << u"long"_s << 2 << 9 << true << u"Video9"_s;
    QTest::newRow("short Digital1") << u"short"_s << 3 << 1 << false << u"Digital1"_s;
    QTest::newRow("long Storage4") << u"long"_s << 4 << 4 << false << u"Storage4"_s;
    QTest::newRow("short Network3") << u"short"_s << 5 << 3 << false << u"Network3"_s;
    QTest::newRow("short unknown") << u"short"_s << -1 << -1 << true << QString();
    QTest::newRow("long unknown") << u"long"_s << -1 << -1 << false << QString();
    QTest::newRow("short unavailable") << u"short"_s << 9 << 1 << false << QString();
    QTest::newRow("long unavailable") << u"long"_s << 9 << 1 << true << QString();
    // Type 6 sits right before "Camera" in the table: its name has an id of its own.
    QTest::newRow("short Internal1") << u"short"_s << 6 << 1 << false << u"Internal1"_s;
    QTest::newRow("long InternalZ korvane") << u"long"_s << 6 << 35 << true << u"InternalZ"_s;
    // Class 2 numbers 10 to 35 are written A to Z, never in decimal.
    QTest::newRow("short DigitalA") << u"short"_s << 3 << 10 << false << u"DigitalA"_s;
    QTest::newRow("long RGBZ") << u"long"_s << 1 << 35 << false << u"RGBZ"_s;

    QTest::newRow("error fan none") << u"error"_s << 0 << 0 << false << u"Fan"_s;
    QTest::newRow("error lamp none") << u"error"_s << 1 << 0 << false << u"Lamp"_s;
    QTest::newRow("error temperature none") << u"error"_s << 2 << 0 << false << u"Temperature"_s;
    QTest::newRow("error cover open") << u"error"_s << 3 << 2 << false << u"Cover open"_s;
    QTest::newRow("error filter warning") << u"error"_s << 4 << 1 << false << u"Filter"_s;
    QTest::newRow("error others none") << u"error"_s << 5 << 0 << false << u"Others"_s;
    QTest::newRow("error level unknown") << u"error"_s << 3 << -1 << false << QString();
    QTest::newRow("error level 3") << u"error"_s << 3 << 3 << false << QString();
    QTest::newRow("error category 6") << u"error"_s << 6 << 1 << false << QString();
    QTest::newRow("error category -1") << u"error"_s << -1 << 1 << false << QString();
}

void TestStatusValues::texts()
{
    QFETCH(QString, kind);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(bool, korvane);
    QFETCH(QString, expected);

    QString text;
    if (kind == u"power"_s)
        text = PowerStatus(a).GetText();
    else if (kind == u"mute"_s)
        text = MuteStatus(a).GetText();
    else if (kind == u"short"_s)
        text = InputStatus(a, b).GetShortText(korvane);
    else if (kind == u"long"_s)
        text = InputStatus(a, b).GetLongText(korvane);
    else
        text = ErrorStatus(a, b).GetText();
    QCOMPARE(text, expected);
}

void TestStatusValues::codes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("expectedA");
    QTest::addColumn<int>("expectedB");

    QTest::newRow("power default") << u"power"_s << -2 << 0 << -1 << 0;
    QTest::newRow("power 3 kept") << u"power"_s << 3 << 0 << 3 << 0;
    QTest::newRow("power 4") << u"power"_s << 4 << 0 << -1 << 0;
    QTest::newRow("mute 4") << u"mute"_s << 4 << 0 << -1 << 0;
    QTest::newRow("mute -2") << u"mute"_s << -2 << 0 << -1 << 0;
    QTest::newRow("error 5/2 kept") << u"error"_s << 5 << 2 << 5 << 2;
    QTest::newRow("error 6/3") << u"error"_s << 6 << 3 << -1 << -1;
    QTest::newRow("lamp lit") << u"lamp"_s << 1 << 1200 << 1 << 1200;
    QTest::newRow("lamp on 2") << u"lamp"_s << 2 << 35 << -1 << 35;
    QTest::newRow("input as reported") << u"input"_s << 9 << 0 << 9 << 0;
}

void TestStatusValues::codes()
{
    QFETCH(QString, kind);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, expectedA);
    QFETCH(int, expectedB);

    std::pair<int, int> got;
    if (kind == u"power"_s)
        got = {PowerStatus(a).GetCode(), 0};
    else if (kind == u"mute"_s)
        got = {MuteStatus(a).GetCode(), 0};
    else if (kind == u"error"_s)
        got = {ErrorStatus(a, b).GetCategory(), ErrorStatus(a, b).GetLevel()};
    else if (kind == u"lamp"_s)
        got = {LampStatus(a, b).GetOn(), LampStatus(a, b).GetHours()};
    else
        got = {InputStatus(a, b).GetType(), InputStatus(a, b).GetNumber()};
    QCOMPARE(got.first, expectedA);
    QCOMPARE(got.second, expectedB);
}

QTEST_GUILESS_MAIN(TestStatusValues)
#include "tst_statusvalues.moc"
