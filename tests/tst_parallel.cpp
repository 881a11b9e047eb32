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
    void everyJobOnceOnAtMostItsThreads_data()
    {
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("threads");
        for (const bool started : {false, true})
            for (const int count : {0, 1, 1000})
                for (const int threads : {1, 2, 3, MostThreads})
                    QTest::addRow("%s %d on %d", started ? "start" : "forEach", count, threads)
                        << started << count << threads;
    }
    // A job skipped, run twice or past the count; more jobs at once than threads asked for.
    void everyJobOnceOnAtMostItsThreads()
    {
        QFETCH(bool, started);
        QFETCH(int, count);
        QFETCH(int, threads);
        std::vector<std::atomic<int>> runs(size_t(count) + 1);
        std::atomic<int> running{0}, most{0};
        forEachOrStart(started, size_t(count), threads, [&](std::size_t i) {
            const int now = ++running;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);)
                ;
            ++runs[std::min(i, size_t(count))];
            std::this_thread::sleep_for(100us);
            --running;
        });
        QCOMPARE(std::count(runs.begin(), runs.end() - 1, 1), qsizetype(count));
        QCOMPARE(runs.back().load(), 0);
        QVERIFY2(most <= threads, QByteArray::number(most.load()));
    }

    // started outer|its threads|started inner|its threads: inner calls made while every pool
    // thread is busy must still finish, on their callers, and bring no threads of their own.
    void nestedCalls_data()
    {
        QTest::addColumn<QList<int>>("row");
        QTest::newRow("2, 2") << QList<int>{0, 2, 0, 2};
        QTest::newRow("8, 8") << QList<int>{0, MostThreads, 0, MostThreads};
        QTest::newRow("1, 8") << QList<int>{0, 1, 0, MostThreads};
        QTest::newRow("8, started 8") << QList<int>{0, MostThreads, 1, MostThreads};
        // Every pool thread waits in an outer job, so only the waiters can do the inner ones.
        QTest::newRow("started 8, started 2") << QList<int>{1, MostThreads, 1, 2};
    }
    void nestedCalls()
    {
        QFETCH(QList<int>, row);
        constexpr size_t Outer = 24, Inner = 100;
        std::vector<std::atomic<int>> runs(Outer * Inner);
        const int thisRound = ++rounds;
        std::atomic<int> threadsSeen{0};
        forEachOrStart(row[0], Outer, row[1], [&](size_t o) {
            forEachOrStart(row[2], Inner, row[3], [&](size_t i) {
                if (std::exchange(roundSeen, thisRound) != thisRound)
                    ++threadsSeen;
                ++runs[o * Inner + i];
                std::this_thread::sleep_for(20us); // time for any new thread to join in
            });
        });
        QCOMPARE(std::count(runs.begin(), runs.end(), 1), qsizetype(Outer * Inner));
        QVERIFY2(threadsSeen <= MostThreads + 1, QByteArray::number(threadsSeen.load()));
    }

    // runOne does jobs nobody took on the caller, each once, until none is left: with the
    // pool's one helper held in the first job it takes, the caller does all the others.
    void runOne()
    {
        std::vector<std::atomic<int>> runs(50);
        std::atomic<bool> hold{true};
        const std::thread::id caller = std::this_thread::get_id();
        Parallel::Pending pending = Parallel::start(runs.size(), 1, [&](size_t i) {
            ++runs[i];
            while (hold && std::this_thread::get_id() != caller)
                std::this_thread::yield();
        });
        size_t byCaller = 0;
        while (pending.runOne())
            ++byCaller;
        hold = false;
        pending.wait();
        QVERIFY2(byCaller + 1 >= runs.size(), QByteArray::number(qulonglong(byCaller)));
        QCOMPARE(std::count(runs.begin(), runs.end(), 1), qsizetype(runs.size()));
    }

    // start() waits for its jobs, or they wait for wait(); a Pending replaced or destroyed does
    // not wait for its jobs first. The second jobs hold until this thread lets them go, which it
    // can only do once start() is back.
    void pending()
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
                second.notify_all();
            });
            {
                const auto release = qScopeGuard([&] {
                    go = true;
                    go.notify_all();
                });
                two = std::move(one);
                QCOMPARE(first.load(), 16);
                QCOMPARE(second.load(), 0);
            }
            second.wait(0); // the pool's threads get going without wait()
        }
        QCOMPARE(second.load(), 16);
    }
};

QTEST_GUILESS_MAIN(ParallelTest)
#include "tst_parallel.moc"
