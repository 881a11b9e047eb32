#include "Parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

// One call's jobs. Every thread that helps holds it, so a helper that comes late finds it
// still there, sees nothing left and returns.
struct Parallel::Batch
{
    std::size_t count = 0;
    std::size_t runnerLimit = 0;
    const std::function<void(std::size_t)> *job = nullptr;
    std::function<void(std::size_t)> ownJob;
    std::atomic<std::size_t> next{0}, runners{0}, done{0};
    std::mutex mutex;
    std::condition_variable finished;

    // A thread that gets in keeps taking jobs until none are left, so one turned away is never
    // missed.
    void run() noexcept
    {
        if (runners.fetch_add(1) >= runnerLimit)
            return;
        for (std::size_t i; (i = next.fetch_add(1)) < count;) {
            (*job)(i);
            if (done.fetch_add(1) + 1 == count) {
                std::lock_guard lock(mutex);
                finished.notify_all();
            }
        }
    }

    bool runOne() noexcept
    {
        const std::size_t i = next.fetch_add(1);
        if (i >= count)
            return false;
        (*job)(i);
        if (done.fetch_add(1) + 1 == count) {
            std::lock_guard lock(mutex);
            finished.notify_all();
        }
        return true;
    }

    void runAndWait()
    {
        run();
        std::unique_lock lock(mutex);
        finished.wait(lock, [this] { return done.load() == count; });
    }
};

namespace {

constexpr std::size_t MaxThreads = 64;

class Pool
{
public:
    // Asks for `helpers` more threads on the batch; those the pool cannot give, the batch's own
    // waiter does.
    void post(const std::shared_ptr<Parallel::Batch> &batch, std::size_t helpers)
    {
        {
            std::lock_guard lock(mutex);
            if (stopping)
                return;
            try {
                while (threads.size() < std::min(helpers, MaxThreads))
                    threads.emplace_back([this] { serve(); });
            } catch (const std::system_error &) {
                // Fewer threads than asked (a process limit) is slower, never wrong.
            }
            queue.insert(queue.end(), helpers, batch);
        }
        for (std::size_t i = 0; i < helpers; ++i)
            wake.notify_one();
    }

    // Queued helpers are dropped: their batches' waiters take the jobs.
    void stop()
    {
        std::vector<std::thread> joined;
        {
            std::lock_guard lock(mutex);
            stopping = true;
            queue.clear();
            joined.swap(threads);
        }
        wake.notify_all();
        for (std::thread &thread : joined) {
            if (thread.get_id() == std::this_thread::get_id())
                thread.detach(); // a job called exit()
            else
                thread.join();
        }
    }

private:
    void serve()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !queue.empty(); });
            if (stopping)
                return;
            std::shared_ptr<Parallel::Batch> batch = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            batch->run();
            batch.reset(); // a started batch's job may own captures to destroy; not under the lock
            lock.lock();
        }
    }

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<Parallel::Batch>> queue;
    std::vector<std::thread> threads;
    bool stopping = false;
};

Pool &pool()
{
    // Never freed, so a call from another static's destructor still finds it (and runs its
    // jobs on the caller); the threads themselves are joined at exit.
    static Pool *const shared = new Pool;
    static struct Joiner
    {
        ~Joiner() { shared->stop(); }
    } joiner;
    return *shared;
}

std::shared_ptr<Parallel::Batch> makeBatch(std::size_t count, std::size_t runners)
{
    auto batch = std::make_shared<Parallel::Batch>();
    batch->count = count;
    batch->runnerLimit = runners;
    return batch;
}

} // namespace

void Parallel::forEach(std::size_t count, int threads, const std::function<void(std::size_t)> &job)
{
    const std::size_t runners = std::min(count, std::size_t(threadCount(threads)));
    if (runners <= 1) {
        for (std::size_t i = 0; i < count; ++i)
            job(i);
        return;
    }
    const auto batch = makeBatch(count, runners);
    batch->job = &job;
    pool().post(batch, runners - 1);
    batch->runAndWait();
}

Parallel::Pending Parallel::start(std::size_t count, int threads,
                                  std::function<void(std::size_t)> job)
{
    const std::size_t runners = std::min(count, std::size_t(threadCount(threads)));
    auto batch = makeBatch(count, runners);
    batch->ownJob = std::move(job);
    batch->job = &batch->ownJob;
    pool().post(batch, runners);
    return Pending(std::move(batch));
}

int Parallel::threadCount(int threads)
{
    return threads > 0 ? threads : int(std::max(1u, std::thread::hardware_concurrency()));
}

bool Parallel::Pending::runOne()
{
    return batch && batch->runOne();
}

void Parallel::Pending::wait()
{
    if (batch) {
        batch->runAndWait();
        batch.reset();
    }
}

Parallel::Pending &Parallel::Pending::operator=(Pending &&other) noexcept
{
    if (this != &other) {
        wait();
        batch = std::move(other.batch);
    }
    return *this;
}

Parallel::Pending::~Pending()
{
    wait();
}
