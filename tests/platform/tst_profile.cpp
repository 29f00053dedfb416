#include "platform/profile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using platform::ProfileFile;

class TestProfile : public QObject
{
    Q_OBJECT

private slots:
    void getString_data();
    void getString();
    void getString_valueCutTo4095_data();
    void getString_valueCutTo4095();
    void load_fileOrMissingFile();
    void copy_outlivesOriginal();
    void junk_loadsAndLaterSectionStillFound();
    void millionKeys_allReachable();
};

void TestProfile::getString_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected"); // default is "DEF"

    const QByteArray settings = "[Group]\r\n1=0041:002f\r\n\r\n[Projector]\r\n1=a\r\n2=b\r\n4=d\r\n"
                                "\r\n[Property]\r\nRefreshInterval=5\r\n";
    QTest::newRow("written file") << settings << u"Property"_s << u"RefreshInterval"_s << u"5"_s;
    QTest::newRow("sequence key") << settings << u"Projector"_s << u"2"_s << u"b"_s;
    QTest::newRow("gap in sequence") << settings << u"Projector"_s << u"3"_s << u"DEF"_s;
    QTest::newRow("section of another name") << settings << u"Group"_s << u"2"_s << u"DEF"_s;
    QTest::newRow("missing section") << settings << u"Profile"_s << u"file"_s << u"DEF"_s;
    QTest::newRow("empty content") << QByteArray() << u"Group"_s << u"1"_s << u"DEF"_s;

    QTest::newRow("section case") << QByteArray("[PROPERTY]\nTimeout=3\n") << u"property"_s
                                  << u"Timeout"_s << u"3"_s;
    QTest::newRow("key case") << QByteArray("[Property]\ntimeout=3\n") << u"Property"_s
                              << u"TIMEOUT"_s << u"3"_s;
    QTest::newRow("non-ASCII case")
        << QByteArray("[\xC3\x84]\n\xC3\xA9=1\n") << u"\u00E4"_s << u"\u00C9"_s << u"1"_s;
    QTest::newRow("first key wins") << QByteArray("[P]\nk=1\nK=2\n") << u"P"_s << u"k"_s << u"1"_s;
    QTest::newRow("first section wins, key only in second")
        << QByteArray("[P]\na=1\n[p]\nb=2\n") << u"P"_s << u"b"_s << u"DEF"_s;
    QTest::newRow("first section wins, key in both")
        << QByteArray("[P]\na=1\n[Q]\n[P]\na=2\n") << u"P"_s << u"a"_s << u"1"_s;
    QTest::newRow("keys before any section stay out")
        << QByteArray("k=1\n[P]\nk=2\n") << u"P"_s << u"k"_s << u"2"_s;

    QTest::newRow("blanks around value dropped")
        << QByteArray("[P]\nk= \t 1 \t \n") << u"P"_s << u"k"_s << u"1"_s;
    QTest::newRow("blanks inside value kept")
        << QByteArray("[P]\nk=a \t b\n") << u"P"_s << u"k"_s << u"a \t b"_s;
    QTest::newRow("blanks around key and header")
        << QByteArray(" \t[ P ]\t\n\t k \t= v\n") << u"P"_s << u"k"_s << u"v"_s;
    QTest::newRow("empty value is not the default")
        << QByteArray("[P]\nk=   \n") << u"P"_s << u"k"_s << QString();
    QTest::newRow("key without '=' yields default and hides later value")
        << QByteArray("[P]\nk\nk=1\n") << u"P"_s << u"k"_s << u"DEF"_s;
    QTest::newRow("value holding '=' and ':'")
        << QByteArray("[P]\nk=a=b:c\n") << u"P"_s << u"k"_s << u"a=b:c"_s;
    QTest::newRow("value holding brackets")
        << QByteArray("[P]\nk=[x]\n") << u"P"_s << u"k"_s << u"[x]"_s;
    QTest::newRow("text after header's ']' ignored")
        << QByteArray("[P] junk\nk=1\n") << u"P"_s << u"k"_s << u"1"_s;
    QTest::newRow("'[' without ']' is a key line")
        << QByteArray("[P]\n[x=1\n") << u"P"_s << u"[x"_s << u"1"_s;
    QTest::newRow("';' starts no comment")
        << QByteArray("[P]\n;k=1\n") << u"P"_s << u";k"_s << u"1"_s;

    QTest::newRow("CR LF") << QByteArray("[P]\r\na=1\r\nb=2\r\n") << u"P"_s << u"b"_s << u"2"_s;
    QTest::newRow("LF") << QByteArray("[P]\na=1\nb=2\n") << u"P"_s << u"b"_s << u"2"_s;
    QTest::newRow("CR alone") << QByteArray("[P]\ra=1\rb=2\r") << u"P"_s << u"b"_s << u"2"_s;
    QTest::newRow("no final line end") << QByteArray("[P]\r\nb=2") << u"P"_s << u"b"_s << u"2"_s;
    QTest::newRow("byte-order mark")
        << QByteArray("\xEF\xBB\xBF[P]\nk=1\n") << u"P"_s << u"k"_s << u"1"_s;
    QTest::newRow("NUL inside value")
        << QByteArray("[P]\nk=a\0b\n", 10) << u"P"_s << u"k"_s << QString::fromUtf16(u"a\0b", 3);
    QTest::newRow("invalid UTF-8")
        << QByteArray("[P]\nk=\xFF\xFE!\n") << u"P"_s << u"k"_s << u"\uFFFD\uFFFD!"_s;
}

void TestProfile::getString()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const ProfileFile profile(content);
    QCOMPARE(profile.GetString(section, key, u"DEF"_s), expected);
}

void TestProfile::getString_valueCutTo4095_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expected");
    QTest::newRow("4094") << 4094 << 4094;
    QTest::newRow("4095") << 4095 << 4095;
    QTest::newRow("4096") << 4096 << 4095;
    QTest::newRow("8 MB line") << 8 * 1024 * 1024 << 4095;
}

void TestProfile::getString_valueCutTo4095()
{
    QFETCH(int, length);
    QFETCH(int, expected);
    QByteArray value(length, 'x');
    value[0] = 'a';
    // Blanks are dropped before the cut, not counted in it.
    const ProfileFile profile("[P]\nk=   " + value + "   \r\nnext=1\r\n");
    const QString got = profile.GetString(u"P", u"k", QString());
    QCOMPARE(got.size(), expected);
    QVERIFY(got.startsWith(u'a'));
    QCOMPARE(profile.GetString(u"P", u"next", QString()), u"1"_s);
    // The default goes through the same buffer.
    QCOMPARE(profile.GetString(u"P", u"missing", QString(length, u'd')).size(), expected);
}

void TestProfile::load_fileOrMissingFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString first = dir.filePath(u"first.ini"_s);
    const QString second = dir.filePath(u"second.ini"_s);
    for (const auto &[path, content] :
         {std::pair{first, QByteArray("[Profile]\r\nfile=/tmp/x.ini\r\nonly=1\r\n")},
          std::pair{second, QByteArray("[profile]\nFILE = other \n")}}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    QCOMPARE(platform::GetProfileString(first, u"Profile", u"file", QString()), u"/tmp/x.ini"_s);
    QCOMPARE(platform::GetProfileString(dir.filePath(u"none.ini"_s), u"Profile", u"file", u"DEF"_s),
             u"DEF"_s);

    // Loading again replaces everything: nothing of the earlier file is left.
    ProfileFile profile;
    QVERIFY(profile.Load(first));
    QVERIFY(profile.Load(second));
    QCOMPARE(profile.GetString(u"Profile", u"file", QString()), u"other"_s);
    QCOMPARE(profile.GetString(u"Profile", u"only", u"DEF"_s), u"DEF"_s);
    QVERIFY(!profile.Load(dir.filePath(u"none.ini"_s)));
    QCOMPARE(profile.GetString(u"Profile", u"file", u"DEF"_s), u"DEF"_s);
}

// The index points into the loaded text; copies and moves must keep it valid on their own.
void TestProfile::copy_outlivesOriginal()
{
    auto original = std::make_unique<ProfileFile>(QByteArray("[Group]\r\n1=abc\r\n"));
    const ProfileFile copy = *original;
    ProfileFile moved = std::move(*original);
    original.reset();
    QCOMPARE(copy.GetString(u"group", u"1", QString()), u"abc"_s);
    QCOMPARE(moved.GetString(u"GROUP", u"1", QString()), u"abc"_s);
    moved = copy;
    QCOMPARE(moved.GetString(u"Group", u"1", QString()), u"abc"_s);
}

void TestProfile::junk_loadsAndLaterSectionStillFound()
{
    QRandomGenerator random(4352);
    QByteArray junk(4 * 1024 * 1024, '\0');
    for (char &c : junk) {
        // Mostly bytes of every value; now and then the characters the parser looks for.
        const quint32 r = random.bounded(300);
        c = r < 256 ? char(r) : "[]=\r\n \t\0;"[r % 9];
    }
    const ProfileFile profile(junk + "\n[Lumarin-Test-Section]\nkey=found\n");
    QCOMPARE(profile.GetString(u"lumarin-test-section", u"KEY", QString()), u"found"_s);
}

void TestProfile::millionKeys_allReachable()
{
    constexpr int count = 1000000;
    QByteArray content = "[Projector]\r\n";
    content.reserve(count * 16);
    for (int n = 1; n <= count; ++n)
        content += QByteArray::number(n) + "=v" + QByteArray::number(n) + "\r\n";
    const ProfileFile profile(content);
    for (int n : {1, 2, count / 2, count})
        QCOMPARE(profile.GetString(u"Projector", QString::number(n), QString()),
                 u"v"_s + QString::number(n));
    QCOMPARE(profile.GetString(u"Projector", QString::number(count + 1), QString()), QString());
}

QTEST_APPLESS_MAIN(TestProfile)

#include "tst_profile.moc"
