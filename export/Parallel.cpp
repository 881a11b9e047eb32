#include "Parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

void Parallel::forEach(std::size_t count, int threads, const std::function<void(std::size_t)> &job)
{
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < count;)
            job(i);
    };
    const std::size_t workers = std::min(count, std::size_t(threadCount(threads)));
    std::vector<std::jthread> pool;
    for (std::size_t i = 1; i < workers; ++i)
        pool.emplace_back(work);
    work();
}

int Parallel::threadCount(int threads)
{
    return threads > 0 ? threads : int(std::max(1u, std::thread::hardware_concurrency()));
}
