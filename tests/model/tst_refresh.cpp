#include "model/connectionwindow.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "model/projectorschangedevent.h"
#include "model/refreshworker.h"
#include "pjlink/pjlib.h"
#include "res/stringtable.h"
#include "tools/emulator/emulatedprojector.h"

#include <QTest>

#include <algorithm>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Records the notifications a refresh cycle posts, as the main view would receive them.
class Receiver : public QObject
{
public:
    bool event(QEvent *e) override
    {
        if (e->type() == ProjectorsChangedEvent || e->type() == RefreshFinishedEvent) {
            types.append(int(e->type()));
            return true;
        }
        return QObject::event(e);
    }
    QList<int> types;
};

// What the document does with a cycle's list: the parallel refresh, events kept in the order
// they are handed on.
struct Refresher
{
    void operator()(const std::vector<Projector *> &projectors)
    {
        refreshed.insert(refreshed.end(), projectors.begin(), projectors.end());
        ProjectorManager::GetInstance()->UpdateStatuses(
            projectors, false,
            [this](std::unique_ptr<ActionEvent> event) { events.push_back(std::move(event)); });
    }
    std::vector<Projector *> refreshed;
    std::vector<std::unique_ptr<ActionEvent>> events;
};

EmulatorConfig emulated(const QString &address, const QString &name)
{
    EmulatorConfig config;
    config.address = address.toStdString();
    config.name = name.toStdString();
    config.power = 1;
    return config;
}

std::unique_ptr<EmulatedProjector> start(const EmulatorConfig &config)
{
    auto projector = std::make_unique<EmulatedProjector>(config);
    std::string error;
    if (!projector->start(&error))
        qFatal("emulator on %s: %s", config.address.c_str(), error.c_str());
    return projector;
}

Projector *registerProjector(const QString &address, const QString &name = QString())
{
    return ProjectorManager::GetInstance()->AddProjector(
        std::make_unique<Projector>(name, address, QString(), u"M"_s, u"/"_s));
}

void runCycle(Refresher &refresher, Receiver &receiver)
{
    RefreshWorker worker(*ProjectorManager::GetInstance(), std::ref(refresher), &receiver);
    worker.Wait();
    QCoreApplication::sendPostedEvents(&receiver);
}

} // namespace

class TestRefresh : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { ProjectorManager::DestroyInstance(); }

    void emptyRegistry_postsBothNotificationsInOrder();
    void events_data();
    void events();
    void silentProjector_failsEveryCycleAndKeepsItsAddress();
    void concurrent_windowsNeverOverlap();
    void concurrent_appendDuringCycle();
    void concurrent_removeDuringCycle();
    void parallelCycle_eventsInListOrder();
};

void TestRefresh::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    QCOMPARE(PJLInit(), 0);
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(1);
}

void TestRefresh::emptyRegistry_postsBothNotificationsInOrder()
{
    Refresher refresher;
    Receiver receiver;
    runCycle(refresher, receiver);
    QCOMPARE(receiver.types, (QList<int>{ProjectorsChangedEvent, RefreshFinishedEvent}));
    QVERIFY(refresher.refreshed.empty());
}

void TestRefresh::events_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QList<int>>("errors");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("message");

    const QString lampLife = u"The lamp life is ending. Please check the projector."_s;
    const QString warning = u"A warning has occurred. Please check the projector."_s;
    const QString error = u"An error has occurred. Please check the projector."_s;
    QTest::newRow("no problem, no event")
        << u"Emulux"_s << QList<int>{0, 0, 0, 0, 0, 0} << -1 << QString();
    QTest::newRow("lamp warning, the maker")
        << u"KORVANE"_s << QList<int>{0, 1, 0, 0, 0, 0} << 1 << lampLife;
    QTest::newRow("lamp warning, another maker")
        << u"Emulux"_s << QList<int>{0, 1, 0, 0, 0, 0} << 1 << warning;
    QTest::newRow("fan warning, the maker")
        << u"Korvane"_s << QList<int>{1, 0, 0, 0, 0, 0} << 1 << warning;
    QTest::newRow("error wins over an earlier warning")
        << u"Korvane"_s << QList<int>{0, 1, 0, 2, 0, 0} << 2 << error;
}

void TestRefresh::events()
{
    QFETCH(QString, manufacturer);
    QFETCH(QList<int>, errors);
    QFETCH(int, level);
    QFETCH(QString, message);

    EmulatorConfig config = emulated(u"127.0.4.1"_s, u"Hall"_s);
    config.manufacturer = manufacturer.toStdString();
    std::copy(errors.begin(), errors.end(), config.errors.begin());
    auto emulator = start(config);
    Projector *projector = registerProjector(u"127.0.4.1"_s);

    auto event = ProjectorManager::GetInstance()->UpdateStatus(projector, true);
    QCOMPARE(projector->GetName(), u"Hall"_s);
    if (level < 0) {
        QVERIFY(!event);
        return;
    }
    QVERIFY(event);
    QCOMPARE(event->GetLevel(), level);
    QCOMPARE(event->GetMessage(), message);
    QCOMPARE(event->GetSource(), u"Hall"_s);
}

void TestRefresh::silentProjector_failsEveryCycleAndKeepsItsAddress()
{
    auto emulator = start(emulated(u"127.0.4.2"_s, u"Foyer"_s));
    registerProjector(u"127.0.4.2"_s);
    Refresher refresher;
    Receiver receiver;
    runCycle(refresher, receiver);
    QVERIFY(refresher.events.empty());

    emulator->update([](EmulatorConfig &c) { c.listening = false; });
    for (int cycle = 0; cycle < 2; ++cycle) {
        runCycle(refresher, receiver);
        QCOMPARE(refresher.events.size(), size_t(cycle + 1));
        const ActionEvent &event = *refresher.events.back();
        QCOMPARE(event.GetLevel(), int(ActionEvent::Debug));
        QCOMPARE(event.GetSource(), u"Foyer"_s);
        QVERIFY2(event.GetMessage().startsWith(u"Connection Failed: -1,"_s),
                 qPrintable(event.GetMessage()));
    }
    Projector *projector = ProjectorManager::GetInstance()->GetProjectors().front();
    QCOMPARE(projector->GetIPAddress(), u"127.0.4.2"_s);
    QVERIFY(!projector->IsReachable());
    QCOMPARE(receiver.types.size(), 6);
}

// A refresh on the worker and commands on the user-interface thread at the same time, on two
// projectors: each window talks to its own projector only.
void TestRefresh::concurrent_windowsNeverOverlap()
{
    auto alpha = start(emulated(u"127.0.4.3"_s, u"Alpha"_s));
    auto beta = start(emulated(u"127.0.4.4"_s, u"Beta"_s));
    Projector *a = registerProjector(u"127.0.4.3"_s);
    Projector *b = registerProjector(u"127.0.4.4"_s);

    constexpr int rounds = 25;
    std::thread worker([a] {
        for (int i = 0; i < rounds; ++i)
            ProjectorManager::GetInstance()->UpdateStatus(a, false);
    });
    int commandsAccepted = 0;
    for (int i = 0; i < rounds; ++i) {
        ConnectionWindow window(*b, 0);
        if (window.GetResult() == 0 && b->SetMute(MuteStatus(MuteStatus::Audio), i % 2 == 0) == 0)
            ++commandsAccepted;
    }
    worker.join();

    QCOMPARE(commandsAccepted, rounds);
    QCOMPARE(a->GetName(), u"Alpha"_s);
    QCOMPARE(b->GetName(), u"Beta"_s);
    for (const std::string &command : alpha->receivedCommands())
        QVERIFY2(command.rfind("AVMT 2", 0) != 0, command.c_str());
    const auto betaCommands = beta->receivedCommands();
    QCOMPARE(std::count_if(betaCommands.begin(), betaCommands.end(),
                           [](const std::string &c) { return c.rfind("AVMT 2", 0) == 0; }),
             long(rounds));
}

// Registering from the user-interface thread while a cycle walks the list.
void TestRefresh::concurrent_appendDuringCycle()
{
    std::vector<std::unique_ptr<EmulatedProjector>> emulators;
    std::vector<Projector *> initial;
    for (int i = 0; i < 8; ++i) {
        EmulatorConfig config = emulated(u"127.0.4.%1"_s.arg(10 + i), u"Slow %1"_s.arg(i));
        config.answerDelayMs = 15;
        emulators.push_back(start(config));
        initial.push_back(registerProjector(u"127.0.4.%1"_s.arg(10 + i)));
    }
    Refresher refresher;
    Receiver receiver;
    {
        RefreshWorker worker(*ProjectorManager::GetInstance(), std::ref(refresher), &receiver);
        int appendedDuringCycle = 0;
        for (int i = 0; i < 80; ++i) {
            appendedDuringCycle += worker.IsFinished() ? 0 : 1;
            registerProjector(u"127.0.5.%1"_s.arg(i + 1), u"Late %1"_s.arg(i));
            QTest::qWait(5);
        }
        QVERIFY2(appendedDuringCycle > 0, "the cycle ended before the appends could overlap it");
    }
    QCOMPARE(refresher.refreshed, initial); // the late ones wait for the next cycle
    for (Projector *projector : initial)
        QVERIFY(projector->IsReachable());
    QCoreApplication::sendPostedEvents(&receiver);
    QCOMPARE(receiver.types, (QList<int>{ProjectorsChangedEvent, RefreshFinishedEvent}));
}

// Deleting projectors while a cycle may be using them: a projector is never destroyed inside
// a connection window, and one removed before its turn is skipped.
void TestRefresh::concurrent_removeDuringCycle()
{
    std::vector<std::unique_ptr<EmulatedProjector>> emulators;
    for (int i = 0; i < 8; ++i) {
        EmulatorConfig config = emulated(u"127.0.4.%1"_s.arg(30 + i), u"Doomed %1"_s.arg(i));
        config.answerDelayMs = 15;
        emulators.push_back(start(config));
        registerProjector(u"127.0.4.%1"_s.arg(30 + i));
    }
    ProjectorManager *manager = ProjectorManager::GetInstance();
    Refresher refresher;
    Receiver receiver;
    {
        RefreshWorker worker(*manager, std::ref(refresher), &receiver);
        // Wait until the first projector is inside its connection window, then remove it
        // first: without its lease it would be destroyed under the worker's feet.
        for (int i = 0; i < 2000 && emulators.front()->connectionCount() == 0; ++i)
            QTest::qWait(1);
        QVERIFY(emulators.front()->connectionCount() > 0);
        while (manager->GetProjectorCount() > 0)
            manager->RemoveNode(manager->GetProjectors().front());
    }
    QCOMPARE(manager->GetProjectorCount(), 0);
    QCOMPARE(refresher.refreshed.size(), size_t(8)); // every one handed over, removed ones skipped
    QCOMPARE(receiver.types.size(), 0);              // not delivered yet: posted, never sent
    QCoreApplication::sendPostedEvents(&receiver);
    QCOMPARE(receiver.types, (QList<int>{ProjectorsChangedEvent, RefreshFinishedEvent}));
}

// The cycle refreshes projectors side by side; the later ones here answer first, yet their
// events reach the sink in list order, as a cycle one by one would hand them on.
void TestRefresh::parallelCycle_eventsInListOrder()
{
    std::vector<std::unique_ptr<EmulatedProjector>> emulators;
    QStringList expected;
    for (int i = 0; i < 6; ++i) {
        EmulatorConfig config = emulated(u"127.0.4.%1"_s.arg(50 + i), u"Order %1"_s.arg(i));
        config.answerDelayMs = (5 - i) * 30;
        config.errors[i % 2 == 0 ? 0 : 2] = 1 + i % 2; // warnings and errors by turns
        emulators.push_back(start(config));
        registerProjector(u"127.0.4.%1"_s.arg(50 + i));
        expected << u"Order %1"_s.arg(i);
    }
    Refresher refresher;
    Receiver receiver;
    runCycle(refresher, receiver);

    QStringList sources;
    for (const auto &event : refresher.events)
        sources << event->GetSource();
    QCOMPARE(sources, expected);
    QCOMPARE(receiver.types, (QList<int>{ProjectorsChangedEvent, RefreshFinishedEvent}));
}

QTEST_GUILESS_MAIN(TestRefresh)
#include "tst_refresh.moc"
