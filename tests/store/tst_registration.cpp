#include "model/limits.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"
#include "model/registration.h"
#include "store/usermessage.h"
#include "tests/common/documentfixture.h"
#include "tools/emulator/emulatedprojector.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestRegistration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void checkPassword_data();
    void checkPassword();
    void authenticateAll_onePasswordUnlocksEveryCandidateThatTakesIt();
    void registerProjector_outcomes();
    void checkRoomFor_data();
    void checkRoomFor();
    void changePassword_refusedChangeRestoresOld();
    void changeAddress_confirmThenApply();

private:
    EmulatedProjector *Emulate(const QString &name, const std::string &password);

    // This suite's emulators live on 127.56.0.0/16.
    DocumentFixture m_fixture{56};
    // Nothing listens here: connects are refused at once.
    QString m_silentAddress;
};

void TestRegistration::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    m_silentAddress = m_fixture.Fleet().SilentAddress();
}

void TestRegistration::init()
{
    QVERIFY(m_fixture.Open());
}

void TestRegistration::cleanup()
{
    m_fixture.Close();
}

EmulatedProjector *TestRegistration::Emulate(const QString &name, const std::string &password)
{
    EmulatorConfig config;
    config.password = password;
    return m_fixture.Emulate(name, config);
}

void TestRegistration::checkPassword_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("printable ASCII, 32 characters") << u"abc:~ !\"#$%&'()*+,-./0123456789x"_s << 0;
    QTest::newRow("33 characters") << QString(33, u'a') << 317;
    QTest::newRow("Latin-1") << u"abc\u00e9"_s << 317;
    QTest::newRow("tab") << u"ab\tc"_s << 317;
    QTest::newRow("DEL") << u"ab\u007f"_s << 317;
    QTest::newRow("L with stroke") << u"\u0141x"_s << 317;
    QTest::newRow("Japanese") << u"\u4f1a"_s << 317;
}

void TestRegistration::checkPassword()
{
    QFETCH(QString, password);
    QFETCH(int, expected);
    QCOMPARE(CheckPassword(password), expected);
}

void TestRegistration::authenticateAll_onePasswordUnlocksEveryCandidateThatTakesIt()
{
    EmulatedProjector *first = Emulate(u"First"_s, "pw");
    EmulatedProjector *second = Emulate(u"Second"_s, "other");
    EmulatedProjector *third = Emulate(u"Third"_s, "pw");
    QVERIFY(first && second && third);
    std::vector<std::unique_ptr<Projector>> owned;
    std::vector<Projector *> candidates;
    for (EmulatedProjector *emulator : {first, second, third}) {
        owned.push_back(std::make_unique<Projector>(QString(), AddressOf(*emulator), QString(),
                                                    u"M"_s, QString()));
        QCOMPARE(ProbeCandidate(*owned.back()), 10);
        candidates.push_back(owned.back().get());
    }

    int accepted = -1;
    const int connections = second->connectionCount();
    QCOMPARE(AuthenticateAll(candidates, QString(), &accepted), 317);
    QCOMPARE(AuthenticateAll(candidates, u"\u0141x"_s, &accepted), 317);
    QCOMPARE(accepted, 0);
    QCOMPARE(second->connectionCount(), connections); // nothing was tried

    QCOMPARE(AuthenticateAll(candidates, u"pw"_s, &accepted), 0);
    QCOMPARE(accepted, 2);
    QVERIFY(candidates[0]->IsAuthenticated() && candidates[2]->IsAuthenticated());
    QCOMPARE(candidates[2]->GetName(), u"Third"_s);
    QVERIFY(!candidates[1]->IsAuthenticated());
    QCOMPARE(AuthenticateAll(candidates, u"wrong"_s, &accepted), 317);
    QCOMPARE(candidates[1]->GetPassword(), u"wrong"_s); // the tried password stays
}

// Only the chosen candidates that are not registered yet count against the limit.
void TestRegistration::checkRoomFor_data()
{
    QTest::addColumn<int>("registered");
    QTest::addColumn<int>("newOnes");
    QTest::addColumn<int>("registeredOnes"); // chosen, but registered already
    QTest::addColumn<int>("expected");
    QTest::newRow("empty register, 100 chosen") << 0 << 100 << 0 << 0;
    QTest::newRow("empty register, 101 chosen") << 0 << 101 << 0 << 314;
    QTest::newRow("98 registered, 2 chosen") << 98 << 2 << 0 << 0;
    QTest::newRow("98 registered, 3 chosen") << 98 << 3 << 0 << 314;
    QTest::newRow("registered candidates do not count") << 99 << 1 << 5 << 0;
    QTest::newRow("full, only registered ones chosen") << 100 << 0 << 2 << 0;
    QTest::newRow("full, one new") << 100 << 1 << 0 << 314;
}

void TestRegistration::checkRoomFor()
{
    QFETCH(int, registered);
    QFETCH(int, newOnes);
    QFETCH(int, registeredOnes);
    QFETCH(int, expected);
    ProjectorManager &manager = *ProjectorManager::GetInstance();
    const auto address = [](int n) {
        return u"127.56.%1.%2"_s.arg(200 + n / 200).arg(n % 200 + 1);
    };
    for (int i = 0; i < registered; ++i)
        QVERIFY(manager.AddProjector(
            std::make_unique<Projector>(u"P%1"_s.arg(i), address(i), QString(), u"M"_s, u"/"_s)));
    std::vector<std::unique_ptr<Projector>> owned;
    std::vector<const Projector *> chosen;
    for (int i = 0; i < newOnes + registeredOnes; ++i) {
        const int n = i < newOnes ? 1000 + i : i - newOnes; // registered ones reuse addresses
        owned.push_back(
            std::make_unique<Projector>(QString(), address(n), QString(), u"M"_s, QString()));
        chosen.push_back(owned.back().get());
    }
    QCOMPARE(CheckRoomFor(manager, chosen), expected);
}

void TestRegistration::registerProjector_outcomes()
{
    ProjectorManager &manager = *ProjectorManager::GetInstance();
    EmulatedProjector *emulator = Emulate(u"Hall"_s, "");
    QVERIFY(emulator);
    Projector candidate(QString(), AddressOf(*emulator), QString(), u"M"_s, QString());
    QCOMPARE(ProbeCandidate(candidate), 0);

    Projector *registered = nullptr;
    QCOMPARE(RegisterProjector(manager, candidate, EventListSink(), &registered), 0);
    QVERIFY(registered && registered != &candidate);
    QCOMPARE(registered->GetName(), u"Hall"_s);
    QVERIFY(registered->IsAuthenticated()); // refreshed once
    QCOMPARE(manager.GetProjectorCount(), 1);
    QCOMPARE(RegisterProjector(manager, candidate, EventListSink()), 316);

    Projector foreign(u"F"_s, u"127.56.1.1"_s, u"\u0141x"_s, u"M"_s, QString());
    QCOMPARE(RegisterProjector(manager, foreign, EventListSink()), 317);

    for (int i = manager.GetProjectorCount(); i < MAX_PROJECTORS; ++i)
        QVERIFY(manager.AddProjector(std::make_unique<Projector>(u"P"_s, u"127.56.2.%1"_s.arg(i),
                                                                 QString(), u"M"_s, QString())));
    Projector late(u"L"_s, u"127.56.1.2"_s, QString(), u"M"_s, QString());
    QCOMPARE(RegisterProjector(manager, late, EventListSink()), 314);
    QCOMPARE(RegistrationMessageText(314),
             u"Registration is not possible. Up to 100 projectors can be registered."_s);
    QCOMPARE(manager.GetProjectorCount(), MAX_PROJECTORS);
}

void TestRegistration::changePassword_refusedChangeRestoresOld()
{
    ProjectorManager &manager = *ProjectorManager::GetInstance();
    EmulatedProjector *emulator = Emulate(u"Hall"_s, "new");
    QVERIFY(emulator);
    Projector *projector = manager.AddProjector(
        std::make_unique<Projector>(u"Hall"_s, AddressOf(*emulator), u"old"_s, u"M"_s, u"/"_s));
    QVERIFY(projector);

    QCOMPARE(ChangePassword(*projector, u"wrong"_s), 317);
    QCOMPARE(projector->GetPassword(), u"old"_s);
    QCOMPARE(ChangePassword(*projector, u"\u0141x"_s), 317);
    QCOMPARE(projector->GetPassword(), u"old"_s);
    QCOMPARE(ChangePassword(*projector, u"new"_s), 0);
    QCOMPARE(projector->GetPassword(), u"new"_s);

    emulator->update([](EmulatorConfig &c) { c.listening = false; });
    QCOMPARE(ChangePassword(*projector, u"newer"_s), 341);
    QCOMPARE(projector->GetPassword(), u"new"_s);
}

void TestRegistration::changeAddress_confirmThenApply()
{
    ProjectorManager &manager = *ProjectorManager::GetInstance();
    EmulatedProjector *moved = Emulate(u"Moved"_s, "pw");
    QVERIFY(moved);
    Projector *projector = manager.AddProjector(
        std::make_unique<Projector>(u"Old"_s, m_silentAddress, u"pw"_s, u"M"_s, u"/"_s));
    QVERIFY(projector);
    Projector work(*projector);

    QCOMPARE(ProbeNewAddress(manager, work, u"0.0.0.0"_s, u"pw"_s), 315);
    QCOMPARE(ProbeNewAddress(manager, work, u"300.1.1.1"_s, u"pw"_s), 315);
    QCOMPARE(ProbeNewAddress(manager, work, m_silentAddress, u"pw"_s), 316); // its own address
    QCOMPARE(ProbeNewAddress(manager, work, m_fixture.Fleet().SilentAddress(251), u"pw"_s), 311);
    QCOMPARE(ProbeNewAddress(manager, work, AddressOf(*moved), u"wrong"_s), 317);
    QCOMPARE(work.GetIPAddress(), m_silentAddress); // every failure gives the copy its values back
    QCOMPARE(work.GetPassword(), u"pw"_s);
    QCOMPARE(ProbeNewAddress(manager, work, AddressOf(*moved), u"pw"_s), 0);
    QCOMPARE(work.GetName(), u"Moved"_s);
    QCOMPARE(projector->GetIPAddress(), m_silentAddress); // Confirm leaves the registry alone

    // The projector went away between Confirm and OK: the registered one stays as it was.
    moved->update([](EmulatorConfig &c) { c.listening = false; });
    QCOMPARE(ChangeIPAddress(*projector, AddressOf(*moved), u"pw"_s), 311);
    QCOMPARE(projector->GetIPAddress(), m_silentAddress);
    moved->update([](EmulatorConfig &c) { c.listening = true; });
    QCOMPARE(ChangeIPAddress(*projector, AddressOf(*moved), u"pw"_s), 0);
    QCOMPARE(projector->GetIPAddress(), AddressOf(*moved));
    QCOMPARE(projector->GetName(), u"Moved"_s);
}

QTEST_GUILESS_MAIN(TestRegistration)
#include "tst_registration.moc"
