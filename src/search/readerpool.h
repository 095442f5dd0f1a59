#pragma once

// A pool of reader threads that run jobs from one source. It knows nothing
// of what a job is: the source hands them out in the order it likes and
// says when its own state gives the readers more to do.
//
// Its parts:
//
// - The readers: threads that loop, each asking the source for a job,
//   running it, and sleeping when there is none until they are woken. There
//   are kReaders of them that answer; a reader whose job hangs in the kernel
//   is replaced up to kThreadLimit threads in this pool. Each holds a share
//   of whatever keeps the source and the pool alive (the board they
//   serve), so a reader stuck in the kernel finds both still there when it
//   comes back, and the last reader to leave lets go of them.
// - Stranded jobs: jobs whose owner has gone while they ran. Their threads
//   do not count among those that answer; when such a job returns, its
//   thread leaves if the pool has enough readers without it.
// - The bin: what others hand the pool to free. A reader frees it between
//   jobs, outside every lock, so that the window's thread neither closes
//   descriptors nor gives back memory that a reader took.
//
// How a job moves through it: the source hands it out (Source::next) to a
// reader that asks, and the reader wakes another one when the source says
// there is more; the reader runs it (Job::run) holding no lock of the
// pool's; the job says whether its owner had gone meanwhile, which ends it
// as stranded; then the reader frees the job and asks again. Once the
// pool is let go (letGo), a reader that finds no job and nothing to free
// leaves; one stuck in a job leaves when the job comes back.
//
// Locks: the pool's own lock, private, covers the thread counts, the
// stranded count, the sleeping readers, the bin and whether the pool is let
// go, and nothing else. The source's calls are made without it, and the
// source may call wakeOne, wakeAll, strand and discard while holding a lock
// of its own: the pool never calls the source while it holds its lock.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tarnwell {

class ReaderPool {
public:
    // Enough reads in flight for a cold disk or a network share to overlap
    // its waits; the window's thread has the rest of the machine.
    static constexpr int kReaders = 8;
    // Readers stuck in the kernel are replaced up to this many threads in
    // the pool; past it, new searches share the readers that still answer.
    static constexpr int kThreadLimit = 16;

    using Spent = std::vector<std::shared_ptr<const void>>;

    class Job {
    public:
        virtual ~Job() = default;
        // Runs on a reader; true when the job's owner went while it ran.
        virtual bool run() = 0;
    };

    class Source {
    public:
        virtual ~Source() = default;
        // The next job, or null when there is none. `more`: another job is
        // there to be handed out after this one.
        virtual std::unique_ptr<Job> next(bool& more) = 0;
    };

    explicit ReaderPool(Source& source) : source_(source) {}
    // Only once every reader has left: each keeps the pool alive.
    ~ReaderPool();
    ReaderPool(const ReaderPool&) = delete;
    ReaderPool& operator=(const ReaderPool&) = delete;

    // Starts threads until kReaders answer, within kThreadLimit. Each new
    // reader holds `keepAlive`, which keeps the pool and its source alive,
    // until it leaves.
    void ensureReaders(const std::shared_ptr<const void>& keepAlive);
    // Nobody will hand the source jobs any more: the readers leave once
    // there is nothing left for them, stuck ones when the kernel lets them
    // go. Waits for none of them.
    void letGo();
    // The source has a job for one reader more, or for all of them.
    void wakeOne();
    void wakeAll();
    // `jobs` running jobs have lost their owner; their threads are stranded
    // until each comes back.
    void strand(int jobs);
    // Takes the items out of `items`, to be freed by a reader. `now`: wake
    // one to do it, rather than leave it for the next that comes by.
    void discard(Spent& items, bool now = false);
    // Threads the pool runs, stranded ones included.
    int threads() const;

private:
    void work();
    void wake(bool all);
    // Under mutex_.
    void checkCounts() const;

    Source& source_;
    mutable std::mutex mutex_;
    std::condition_variable wakeReaders_;
    // Under mutex_:
    std::uint64_t wakeUps_ = 0;  // asked for so far; a reader sleeps only while none comes
    bool letGo_ = false;
    int threads_ = 0;
    int stranded_ = 0;
    int idle_ = 0;
    Spent bin_;
};

}  // namespace tarnwell
