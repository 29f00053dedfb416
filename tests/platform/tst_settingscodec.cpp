#include "platform/settingscodec.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestSettingsCodec : public QObject
{
    Q_OBJECT

private slots:
    void encodeText_writesFourDigitsPerUnit_data();
    void encodeText_writesFourDigitsPerUnit();
    void decodeText_damagedField_data();
    void decodeText_damagedField();
    void scramblePassword_data();
    void scramblePassword();
    void unscramblePassword_damagedField_data();
    void unscramblePassword_damagedField();
    void splitFields_data();
    void splitFields();
};

void TestSettingsCodec::encodeText_writesFourDigitsPerUnit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("Room A") << u"Room A"_s << u"0052006f006f006d00200041"_s;
    QTest::newRow("Japanese") << u"\u4F1A\u8B70\u5BA4"_s << u"4f1a8b705ba4"_s;
    QTest::newRow("colon escaped") << u"A:B"_s << u"0041005c003a0042"_s;
    QTest::newRow("only colons") << u"::"_s << u"005c003a005c003a"_s;
    QTest::newRow("backslash before colon") << u"a\\:b"_s << u"0061005c005c003a0062"_s;
    QTest::newRow("below U+0010") << u"\u0001\t"_s << u"00010009"_s;
    QTest::newRow("U+0100 to U+0FFF") << u"\u0100\u0FFF"_s << u"01000fff"_s;
    QTest::newRow("NUL and U+FFFF") << QString::fromUtf16(u"\0\uFFFF", 2) << u"0000ffff"_s;
    QTest::newRow("surrogate pair") << u"\U0001F4FD"_s << u"d83ddcfd"_s;
    QTest::newRow("path") << u"/A/B"_s << u"002f0041002f0042"_s;
}

// Both directions: the writer's form, and reading it back gives the text again.
void TestSettingsCodec::encodeText_writesFourDigitsPerUnit()
{
    QFETCH(QString, text);
    QFETCH(QString, encoded);
    QCOMPARE(platform::EncodeText(text), encoded);
    QCOMPARE(platform::DecodeText(encoded), text);
}

void TestSettingsCodec::decodeText_damagedField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("short last group ignored") << u"0041004"_s << u"A"_s;
    QTest::newRow("only a short group") << u"004"_s << QString();
    QTest::newRow("upper-case digits") << u"004A00Ff"_s << u"J\u00FF"_s;
    QTest::newRow("non-hex group skipped") << u"0041zz420043"_s << u"AC"_s;
    QTest::newRow("sign and blank not digits") << u"+041 0420043"_s << u"C"_s;
    QTest::newRow("hand-written escape") << u"005c003a"_s << u":"_s;
    QTest::newRow("backslash alone") << u"005c0041"_s << u"\\A"_s;
}

void TestSettingsCodec::decodeText_damagedField()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QCOMPARE(platform::DecodeText(field), text);
}

void TestSettingsCodec::scramblePassword_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("empty") << QString() << QString() << QString();
    QTest::newRow("abc") << u"abc"_s << u"162636"_s << u"abc"_s;
    QTest::newRow("high byte dropped") << u"\u0141"_s << u"14"_s << u"A"_s;
    QTest::newRow("digits and signs") << u"09:\\"_s << u"0393a3c5"_s << u"09:\\"_s;
    QTest::newRow("Latin-1 top") << u"\u00FF\u00F0\u000F"_s << u"ff0ff0"_s
                                 << u"\u00FF\u00F0\u000F"_s;
    QTest::newRow("NUL") << QString(QChar(u'\0')) << u"00"_s << QString(QChar(u'\0'));
}

void TestSettingsCodec::scramblePassword()
{
    QFETCH(QString, password);
    QFETCH(QString, field);
    QFETCH(QString, readBack);
    QCOMPARE(platform::ScramblePassword(password), field);
    QCOMPARE(platform::UnscramblePassword(field), readBack);
}

void TestSettingsCodec::unscramblePassword_damagedField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("password");
    QTest::newRow("lone last digit ignored") << u"1626361"_s << u"abc"_s;
    QTest::newRow("one digit only") << u"1"_s << QString();
    QTest::newRow("upper-case digits") << u"1A"_s << u"\u00A1"_s;
    QTest::newRow("non-hex pair skipped") << u"16zz26"_s << u"ab"_s;
}

void TestSettingsCodec::unscramblePassword_damagedField()
{
    QFETCH(QString, field);
    QFETCH(QString, password);
    QCOMPARE(platform::UnscramblePassword(field), password);
}

void TestSettingsCodec::splitFields_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("empty") << QString() << QStringList{QString()};
    QTest::newRow("no colon") << u"abc"_s << QStringList{u"abc"_s};
    QTest::newRow("projector line")
        << u"0041:10.0.0.1:162636:M:002f"_s
        << QStringList{u"0041"_s, u"10.0.0.1"_s, u"162636"_s, u"M"_s, u"002f"_s};
    QTest::newRow("empty password between colons")
        << u"0041:10.0.0.1::M:002f"_s
        << QStringList{u"0041"_s, u"10.0.0.1"_s, QString(), u"M"_s, u"002f"_s};
    QTest::newRow("trailing colon") << u"a:"_s << QStringList{u"a"_s, QString()};
    QTest::newRow("leading colon") << u":a"_s << QStringList{QString(), u"a"_s};
    QTest::newRow("only colons") << u"::"_s << QStringList{QString(), QString(), QString()};
    QTest::newRow("escaped colon") << u"a\\:b:c"_s << QStringList{u"a:b"_s, u"c"_s};
    QTest::newRow("escaped colon at end") << u"a\\:"_s << QStringList{u"a:"_s};
    QTest::newRow("escaped then splitting") << u"\\::x"_s << QStringList{u":"_s, u"x"_s};
    QTest::newRow("double backslash") << u"a\\\\:b"_s << QStringList{u"a\\:b"_s};
    QTest::newRow("backslash elsewhere kept") << u"a\\b:c\\"_s << QStringList{u"a\\b"_s, u"c\\"_s};
}

void TestSettingsCodec::splitFields()
{
    QFETCH(QString, value);
    QFETCH(QStringList, fields);
    QCOMPARE(platform::SplitFields(value), fields);
}

QTEST_APPLESS_MAIN(TestSettingsCodec)

#include "tst_settingscodec.moc"
