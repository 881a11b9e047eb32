#pragma once

#include <cstddef>
#include <functional>
#include <memory>

// The one way the engine spreads work over the cores. Every call shares one set of threads,
// made when first needed and kept until exit, so an export costs no thread starts per image and
// a call made from inside a job (the encoder's pieces inside a render, say) draws on the same
// threads instead of adding its own: the program never runs many more threads than cores.
//
// Jobs are taken in order, one at a time, by whichever thread is free. Which thread runs a job
// never changes what the job computes, so results do not depend on the thread count. A job must
// not throw: one that does ends the program.
class Parallel
{
public:
    struct Batch; // one call's state, known only to Parallel.cpp

    // Runs jobs 0..count-1 on up to `threads` threads (0: one per core), the calling thread
    // among them, and returns when every job is done. When the pool is busy the calling thread
    // does the jobs alone, which is what keeps calls from inside jobs from waiting on each other.
    static void forEach(std::size_t count, int threads,
                        const std::function<void(std::size_t)> &job);

    // The threads `threads` stands for: itself when positive, else one per core.
    static int threadCount(int threads);

    // Jobs under way without the thread that started them.
    class Pending
    {
    public:
        Pending(Pending &&other) noexcept = default;
        Pending &operator=(Pending &&other) noexcept;
        ~Pending();

        // Returns when every job is done. Jobs no pool thread has taken yet are done here, so
        // waiting never depends on a pool thread coming free.
        void wait();

        // Does one job no thread has taken yet on the calling thread, and says whether there
        // was one: a caller waiting for one result helps with the others meanwhile, which keeps
        // sets drawn side by side from waiting on each other's threads.
        bool runOne();

    private:
        friend class Parallel;
        explicit Pending(std::shared_ptr<Batch> batch)
            : batch(std::move(batch))
        {
        }
        std::shared_ptr<Batch> batch;
    };

    // Runs jobs 0..count-1 on up to `threads` pool threads while the calling thread goes on, to
    // use each result as it comes, say. A caller that is itself a job must reach wait() rather
    // than wait on a result alone: the pool may have no thread free to make it.
    [[nodiscard]] static Pending start(std::size_t count, int threads,
                                       std::function<void(std::size_t)> job);
};
