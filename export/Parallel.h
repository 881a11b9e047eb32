#pragma once

#include <cstddef>
#include <functional>

// The one way the engine spreads work over the cores: jobs 0..count-1 taken in order by up to
// `threads` threads (0: one per core), the calling thread among them. Returns when every job
// is done. Which thread runs a job never changes what the job computes, so results do not
// depend on the thread count.
class Parallel
{
public:
    static void forEach(std::size_t count, int threads,
                        const std::function<void(std::size_t)> &job);

    // The threads `threads` stands for: itself when positive, else one per core.
    static int threadCount(int threads);
};
