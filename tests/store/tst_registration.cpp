#include "model/limits.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"
#include "store/registration.h"
#include "store/usermessage.h"
#include "tools/emulator/emulatedprojector.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

class SilentSink : public UserMessageSink
{
public:
    void ShowMessage(const QString &, MessageIcon) override {}
};

// Nothing listens here: connects are refused at once.
const QString kSilentAddress = u"127.56.1.250"_s;

} // namespace

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
    void changePassword_refusedChangeRestoresOld();
    void changeAddress_confirmThenApply();

private:
    EmulatedProjector *Emulate(const std::string &name, const std::string &password);
    QString AddressOf(const EmulatedProjector *emulator) const
    {
        return QString::fromStdString(emulator->config().address);
    }

    std::unique_ptr<QTemporaryDir> m_tempDir;
    QString m_previousDir;
    SilentSink m_sink;
    std::unique_ptr<CVantelDoc> m_doc;
    std::vector<std::unique_ptr<EmulatedProjector>> m_emulators;
    int m_nextHost = 1;
};

void TestRegistration::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    m_previousDir = QDir::currentPath();
}

void TestRegistration::init()
{
    m_tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tempDir->isValid());
    QDir::setCurrent(m_tempDir->path());
    SetUserMessageSink(&m_sink);
    QCOMPARE(ProjectorManager::InitProjectors(), 0);
    const QString settings = m_tempDir->filePath(u"lumarin.ini"_s);
    QFile file(settings);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Property]\r\nRefreshInterval=5\r\nTimeout=1\r\n");
    file.close();
    m_doc = std::make_unique<CVantelDoc>(settings);
}

void TestRegistration::cleanup()
{
    m_doc.reset();
    m_emulators.clear();
    SetUserMessageSink(nullptr);
    QDir::setCurrent(m_previousDir);
    m_tempDir.reset();
}

EmulatedProjector *TestRegistration::Emulate(const std::string &name, const std::string &password)
{
    EmulatorConfig config;
    config.address = "127.56.0." + std::to_string(m_nextHost++);
    config.name = name;
    config.password = password;
    auto emulator = std::make_unique<EmulatedProjector>(config);
    std::string error;
    if (!emulator->start(&error)) {
        qWarning("emulator on %s: %s", config.address.c_str(), error.c_str());
        return nullptr;
    }
    m_emulators.push_back(std::move(emulator));
    return m_emulators.back().get();
}

void TestRegistration::checkPassword_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("Latin-1 up to U+00FF") << u"abc:\u00e9\u00ff"_s << 0;
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
    EmulatedProjector *first = Emulate("First", "pw");
    EmulatedProjector *second = Emulate("Second", "other");
    EmulatedProjector *third = Emulate("Third", "pw");
    QVERIFY(first && second && third);
    std::vector<std::unique_ptr<Projector>> owned;
    std::vector<Projector *> candidates;
    for (EmulatedProjector *emulator : {first, second, third}) {
        owned.push_back(std::make_unique<Projector>(QString(), AddressOf(emulator), QString(),
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

void TestRegistration::registerProjector_outcomes()
{
    ProjectorManager &manager = *ProjectorManager::GetInstance();
    EmulatedProjector *emulator = Emulate("Hall", "");
    QVERIFY(emulator);
    Projector candidate(QString(), AddressOf(emulator), QString(), u"M"_s, QString());
    QCOMPARE(ProbeCandidate(candidate), 0);

    Projector *registered = nullptr;
    QCOMPARE(RegisterProjector(manager, candidate, &registered), 0);
    QVERIFY(registered && registered != &candidate);
    QCOMPARE(registered->GetName(), u"Hall"_s);
    QVERIFY(registered->IsAuthenticated()); // refreshed once
    QCOMPARE(manager.GetProjectorCount(), 1);
    QCOMPARE(RegisterProjector(manager, candidate), 316);

    Projector foreign(u"F"_s, u"127.56.1.1"_s, u"\u0141x"_s, u"M"_s, QString());
    QCOMPARE(RegisterProjector(manager, foreign), 317);

    for (int i = manager.GetProjectorCount(); i < MAX_PROJECTORS; ++i)
        QVERIFY(manager.AddProjector(std::make_unique<Projector>(u"P"_s, u"127.56.2.%1"_s.arg(i),
                                                                 QString(), u"M"_s, QString())));
    Projector late(u"L"_s, u"127.56.1.2"_s, QString(), u"M"_s, QString());
    QCOMPARE(RegisterProjector(manager, late), 314);
    QCOMPARE(RegistrationMessageText(314),
             u"Registration is not possible. Up to 100 projectors can be registered."_s);
    QCOMPARE(manager.GetProjectorCount(), MAX_PROJECTORS);
}

void TestRegistration::changePassword_refusedChangeRestoresOld()
{
    ProjectorManager &manager = *ProjectorManager::GetInstance();
    EmulatedProjector *emulator = Emulate("Hall", "new");
    QVERIFY(emulator);
    Projector *projector = manager.AddProjector(
        std::make_unique<Projector>(u"Hall"_s, AddressOf(emulator), u"old"_s, u"M"_s, u"/"_s));
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
    EmulatedProjector *moved = Emulate("Moved", "pw");
    QVERIFY(moved);
    Projector *projector = manager.AddProjector(
        std::make_unique<Projector>(u"Old"_s, kSilentAddress, u"pw"_s, u"M"_s, u"/"_s));
    QVERIFY(projector);
    Projector work(*projector);

    QCOMPARE(ProbeNewAddress(manager, work, u"0.0.0.0"_s, u"pw"_s), 315);
    QCOMPARE(ProbeNewAddress(manager, work, u"300.1.1.1"_s, u"pw"_s), 315);
    QCOMPARE(ProbeNewAddress(manager, work, kSilentAddress, u"pw"_s), 316); // its own address
    QCOMPARE(ProbeNewAddress(manager, work, u"127.56.1.251"_s, u"pw"_s), 311);
    QCOMPARE(ProbeNewAddress(manager, work, AddressOf(moved), u"wrong"_s), 317);
    QCOMPARE(work.GetIPAddress(), kSilentAddress); // every failure gives the copy its values back
    QCOMPARE(work.GetPassword(), u"pw"_s);
    QCOMPARE(ProbeNewAddress(manager, work, AddressOf(moved), u"pw"_s), 0);
    QCOMPARE(work.GetName(), u"Moved"_s);
    QCOMPARE(projector->GetIPAddress(), kSilentAddress); // Confirm leaves the registry alone

    // The projector went away between Confirm and OK: the registered one stays as it was.
    moved->update([](EmulatorConfig &c) { c.listening = false; });
    QCOMPARE(ChangeIPAddress(*projector, AddressOf(moved), u"pw"_s), 311);
    QCOMPARE(projector->GetIPAddress(), kSilentAddress);
    moved->update([](EmulatorConfig &c) { c.listening = true; });
    QCOMPARE(ChangeIPAddress(*projector, AddressOf(moved), u"pw"_s), 0);
    QCOMPARE(projector->GetIPAddress(), AddressOf(moved));
    QCOMPARE(projector->GetName(), u"Moved"_s);
}

QTEST_GUILESS_MAIN(TestRegistration)
#include "tst_registration.moc"
