#include "model/dialogworker.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

class TestDialogWorker : public QObject
{
    Q_OBJECT

private slots:
    void runsOffThread_doneOnOwnThread_windowKeepsRunning();
    void destroyedWhileBusy_waitsAndDropsDone();
    void valueJob_movesItsValueToDone();
};

void TestDialogWorker::runsOffThread_doneOnOwnThread_windowKeepsRunning()
{
    DialogWorker worker;
    QSignalSpy finished(&worker, &DialogWorker::finished);
    std::atomic<bool> release{false};
    std::thread::id jobThread;
    QThread *doneThread = nullptr;
    QVERIFY(worker.Start(
        [&] {
            jobThread = std::this_thread::get_id();
            for (int i = 0; i < 500 && !release; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        },
        [&] { doneThread = QThread::currentThread(); }));
    QVERIFY(worker.IsBusy());
    QVERIFY(!worker.Start([] {}, [] {})); // one job at a time

    // The user-interface thread goes on while the job runs.
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (++ticks == 5)
            release = true;
    });
    tick.start(10);
    QVERIFY(finished.wait(5000));
    QVERIFY(ticks >= 5);
    QVERIFY(!worker.IsBusy());
    QVERIFY(jobThread != std::this_thread::get_id());
    QCOMPARE(doneThread, QThread::currentThread());
}

void TestDialogWorker::destroyedWhileBusy_waitsAndDropsDone()
{
    bool done = false;
    std::atomic<bool> jobEnded{false};
    {
        DialogWorker worker;
        worker.Start(
            [&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                jobEnded = true;
            },
            [&] { done = true; });
    }
    QVERIFY(jobEnded);
    QCoreApplication::processEvents();
    QVERIFY(!done);
}

void TestDialogWorker::valueJob_movesItsValueToDone()
{
    // A job may carry a move-only value out to the worker and back, as the address page does
    // with the projector it probes.
    DialogWorker worker;
    QSignalSpy finished(&worker, &DialogWorker::finished);
    auto carried = std::make_unique<int>(41);
    const int *address = carried.get();
    std::unique_ptr<int> received;
    QVERIFY(worker.Start(
        [carried = std::move(carried)]() mutable {
            ++*carried;
            return std::move(carried);
        },
        [&received](std::unique_ptr<int> value) { received = std::move(value); }));
    QVERIFY(finished.wait(5000));
    QVERIFY(received);
    QCOMPARE(received.get(), address);
    QCOMPARE(*received, 42);
}

QTEST_MAIN(TestDialogWorker)
#include "tst_dialogworker.moc"
