#include "model/refreshscheduler.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "model/projectorschangedevent.h"
#include "model/refreshworker.h"

#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace Qt::StringLiterals;

namespace {

// A refresh that holds each cycle until the test lets it end, and counts cycles that run at
// the same time.
struct Gate
{
    void Pass()
    {
        const int now = ++active;
        maxActive = std::max(maxActive.load(), now);
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return open > 0; });
        --open;
        --active;
    }
    void Open()
    {
        {
            std::lock_guard guard(mutex);
            ++open;
        }
        opened.notify_all();
    }
    std::mutex mutex;
    std::condition_variable opened;
    int open = 0;
    std::atomic<int> active{0};
    std::atomic<int> maxActive{0};
};

// The view's part: pass the end of a cycle on to the scheduler.
class Owner : public QObject
{
public:
    bool event(QEvent *e) override
    {
        if (e->type() == RefreshFinishedEvent) {
            scheduler->OnCycleFinished();
            ++finished;
            return true;
        }
        if (e->type() == ProjectorsChangedEvent)
            return true;
        return QObject::event(e);
    }
    RefreshScheduler *scheduler = nullptr;
    int finished = 0;
};

} // namespace

class TestRefreshScheduler : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void requestsDuringCycle_startOneSuccessorAfterIt();
    void intervalTimer_armedOnlyFromTheEndOfACycle();

private:
    std::unique_ptr<Gate> m_gate;
    std::unique_ptr<Owner> m_owner;
    std::unique_ptr<RefreshScheduler> m_scheduler;
    int m_interval = 60000;
    QList<bool> m_busy;
};

void TestRefreshScheduler::init()
{
    // One registered projector, so every cycle passes the gate once; nothing is contacted.
    ProjectorManager::GetInstance()->AddProjector(
        std::make_unique<Projector>(u"P"_s, u"127.14.1.1"_s, QString(), u"M"_s, u"/"_s));
    m_gate = std::make_unique<Gate>();
    m_owner = std::make_unique<Owner>();
    Gate *gate = m_gate.get();
    Owner *owner = m_owner.get();
    m_scheduler = std::make_unique<RefreshScheduler>(
        [gate, owner] {
            return std::make_unique<RefreshWorker>(
                *ProjectorManager::GetInstance(),
                [gate](const std::vector<Projector *> &) { gate->Pass(); }, owner);
        },
        [this] { return m_interval; });
    m_owner->scheduler = m_scheduler.get();
    m_busy.clear();
    connect(m_scheduler.get(), &RefreshScheduler::busyChanged, this,
            [this](bool busy) { m_busy << busy; });
}

void TestRefreshScheduler::cleanup()
{
    // Let any held cycle end before the scheduler waits for it.
    for (int i = 0; i < 4; ++i)
        m_gate->Open();
    m_scheduler.reset();
    m_owner.reset();
    ProjectorManager::DestroyInstance();
}

void TestRefreshScheduler::requestsDuringCycle_startOneSuccessorAfterIt()
{
    m_scheduler->RequestCycle();
    QVERIFY(m_scheduler->IsRunning());
    QTRY_COMPARE(m_gate->active.load(), 1);

    // "Refresh" twice, a second request and deferred work: nothing starts now.
    bool workRan = false;
    int cyclesWhenWorkRan = -1;
    m_scheduler->RequestRefreshSoon();
    m_scheduler->RequestRefreshSoon();
    m_scheduler->RequestCycle();
    m_scheduler->RunWhenIdle([&] {
        workRan = true;
        cyclesWhenWorkRan = m_scheduler->CyclesStarted();
        QVERIFY(!m_scheduler->IsRunning());
    });
    QTest::qWait(50);
    QCOMPARE(m_scheduler->CyclesStarted(), 1);
    QVERIFY(!workRan);
    QVERIFY(!m_scheduler->IntervalTimer().isActive());

    // The end of the cycle runs the work, then exactly one successor.
    m_gate->Open();
    QTRY_COMPARE(m_owner->finished, 1);
    QVERIFY(workRan);
    QCOMPARE(cyclesWhenWorkRan, 1);
    QCOMPARE(m_scheduler->CyclesStarted(), 2);
    QVERIFY(m_scheduler->IsRunning());
    QVERIFY(!m_scheduler->IntervalTimer().isActive());

    m_gate->Open();
    QTRY_COMPARE(m_owner->finished, 2);
    QTest::qWait(50);
    QCOMPARE(m_scheduler->CyclesStarted(), 2);
    QCOMPARE(m_gate->maxActive.load(), 1);
    QVERIFY(!m_scheduler->IsBusy());
    QCOMPARE(m_busy.last(), false);
    QVERIFY(m_scheduler->IntervalTimer().isActive());
}

void TestRefreshScheduler::intervalTimer_armedOnlyFromTheEndOfACycle()
{
    m_interval = 400;
    m_scheduler->RequestRefreshSoon();
    QCOMPARE(m_busy, QList<bool>{true}); // the wait text shows before the cycle starts
    QTRY_VERIFY(m_scheduler->IsRunning());

    // A changed interval during the cycle arms nothing yet.
    m_interval = 1200;
    m_scheduler->IntervalChanged();
    QVERIFY(!m_scheduler->IntervalTimer().isActive());
    QTest::qWait(200);
    m_gate->Open();
    QTRY_COMPARE(m_owner->finished, 1);
    QVERIFY(m_scheduler->IntervalTimer().isActive());
    QCOMPARE(m_scheduler->IntervalTimer().interval(), 1200);
    // Armed at the end, not at the change 200 ms before it (a margin for a loaded machine).
    QVERIFY(m_scheduler->IntervalTimer().remainingTime() > 1000);

    // The period expires: a cycle starts and the timer stays off until it ends.
    QTRY_COMPARE_WITH_TIMEOUT(m_scheduler->CyclesStarted(), 2, 4000);
    QVERIFY(!m_scheduler->IntervalTimer().isActive());
    QCOMPARE(m_busy.last(), true);
    m_gate->Open();
    QTRY_COMPARE(m_owner->finished, 2);
    QVERIFY(m_scheduler->IntervalTimer().isActive());

    // Idle: a new interval applies at once.
    m_interval = 5000;
    m_scheduler->IntervalChanged();
    QCOMPARE(m_scheduler->IntervalTimer().interval(), 5000);
}

QTEST_MAIN(TestRefreshScheduler)
#include "tst_refreshscheduler.moc"
