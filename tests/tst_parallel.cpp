#include "export/Parallel.h"

#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

// No test asks for more, so the pool never holds more threads than this.
constexpr int MostThreads = 8;

// A thread counts once per round, the first time it runs a job in it. Thread ids would not do:
// the system hands a finished thread's id to the next one.
static std::atomic<int> rounds{0};
thread_local int roundSeen = -1;

static void forEachOrStart(bool started, std::size_t count, int threads,
                           const std::function<void(std::size_t)> &job)
{
    if (started)
        Parallel::start(count, threads, job).wait();
    else
        Parallel::forEach(count, threads, job);
}

class ParallelTest : public QObject
{
    Q_OBJECT
private slots:
    void everyJobOnce_data()
    {
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("threads");
        for (const bool started : {false, true})
            for (const int count : {0, 1, 1000})
                for (const int threads : {1, 2, MostThreads})
                    QTest::addRow("%s %d on %d", started ? "start" : "forEach", count, threads)
                        << started << count << threads;
    }

    void everyJobOnce()
    {
        QFETCH(bool, started);
        QFETCH(int, count);
        QFETCH(int, threads);
        std::vector<std::atomic<int>> runs(size_t(count) + 1);
        forEachOrStart(started, size_t(count), threads,
                       [&](std::size_t i) { ++runs[std::min(i, size_t(count))]; });
        QCOMPARE(std::count(runs.begin(), runs.end() - 1, 1), qsizetype(count));
        QCOMPARE(runs.back().load(), 0);
    }

    // Inner calls made while every pool thread is busy must still finish, on their callers, and
    // the many inner calls must not bring threads of their own.
    void nestedCalls_data()
    {
        QTest::addColumn<bool>("outerStarted");
        QTest::addColumn<int>("outerThreads");
        QTest::addColumn<bool>("innerStarted");
        QTest::addColumn<int>("innerThreads");
        QTest::newRow("2, 2") << false << 2 << false << 2;
        QTest::newRow("8, 8") << false << MostThreads << false << MostThreads;
        QTest::newRow("1, 8") << false << 1 << false << MostThreads;
        QTest::newRow("8, started 8") << false << MostThreads << true << MostThreads;
        // Every pool thread waits in an outer job, so only the waiters can do the inner ones.
        QTest::newRow("started 8, started 2") << true << MostThreads << true << 2;
    }

    void nestedCalls()
    {
        QFETCH(bool, outerStarted);
        QFETCH(int, outerThreads);
        QFETCH(bool, innerStarted);
        QFETCH(int, innerThreads);
        constexpr size_t Outer = 24, Inner = 100;
        std::vector<std::atomic<int>> runs(Outer * Inner);
        const int thisRound = ++rounds;
        std::atomic<int> threadsSeen{0};
        forEachOrStart(outerStarted, Outer, outerThreads, [&](size_t o) {
            forEachOrStart(innerStarted, Inner, innerThreads, [&](size_t i) {
                if (std::exchange(roundSeen, thisRound) != thisRound)
                    ++threadsSeen;
                ++runs[o * Inner + i];
                std::this_thread::sleep_for(20us); // time for any new thread to join in
            });
        });
        QCOMPARE(std::count(runs.begin(), runs.end(), 1), qsizetype(Outer * Inner));
        QVERIFY2(threadsSeen <= MostThreads + 1, QByteArray::number(threadsSeen.load()));
    }

    void atMostThreadsAtOnce_data()
    {
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("threads");
        for (const bool started : {false, true})
            for (const int threads : {1, 2, 3})
                QTest::addRow("%s on %d", started ? "start" : "forEach", threads)
                    << started << threads;
    }

    void atMostThreadsAtOnce()
    {
        QFETCH(bool, started);
        QFETCH(int, threads);
        std::atomic<int> running{0}, most{0};
        forEachOrStart(started, 40, threads, [&](size_t) {
            const int now = ++running;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);)
                ;
            std::this_thread::sleep_for(200us);
            --running;
        });
        QVERIFY(most >= 1);
        QVERIFY2(most <= threads, QByteArray::number(most.load()));
    }

    // Each job holds until this thread lets it go, which it can only do once start() is back.
    void startReturnsAtOnce()
    {
        std::atomic<bool> go{false};
        std::atomic<int> ran{0};
        Parallel::Pending pending = Parallel::start(8, 2, [&](size_t) {
            go.wait(false);
            ++ran;
            ran.notify_all();
        });
        {
            const auto release = qScopeGuard([&] {
                go = true;
                go.notify_all();
            });
            QCOMPARE(ran.load(), 0);
        }
        ran.wait(0); // the pool's threads get going without wait()
        pending.wait();
        QCOMPARE(ran.load(), 8);
    }

    // The first jobs are still under way when replaced, the second ones when let go.
    void pendingWaitsToLetGo()
    {
        std::atomic<bool> go{false};
        std::atomic<int> first{0}, second{0};
        {
            Parallel::Pending one = Parallel::start(16, 2, [&](size_t) {
                std::this_thread::sleep_for(1ms);
                ++first;
            });
            Parallel::Pending two = std::move(one);
            one = Parallel::start(16, 2, [&](size_t) {
                go.wait(false);
                std::this_thread::sleep_for(1ms);
                ++second;
            });
            const auto release = qScopeGuard([&] {
                go = true;
                go.notify_all();
            });
            two = std::move(one);
            QCOMPARE(first.load(), 16);
            QCOMPARE(second.load(), 0);
        }
        QCOMPARE(second.load(), 16);
    }
};

QTEST_GUILESS_MAIN(ParallelTest)
#include "tst_parallel.moc"
