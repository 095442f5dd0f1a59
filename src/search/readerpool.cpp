#include "search/readerpool.h"

#include <iterator>
#include <thread>

namespace tarnwell {

void ReaderPool::ensureReaders() {
    std::lock_guard lock(mutex_);
    while (threads_ - stranded_ < kReaders && threads_ < kThreadLimit) {
        ++threads_;
        std::thread([this] { work(); }).detach();
    }
}

void ReaderPool::wakeOne() {
    wake(false);
}

void ReaderPool::wakeAll() {
    wake(true);
}

// Counted even when nobody sleeps: a reader between asking the source and
// going to sleep then sees it and asks again. A reader counts itself asleep
// before it looks at the count, so that either it sees this wake-up or this
// sees it asleep and wakes it (both orders are sequentially consistent).
void ReaderPool::wake(bool all) {
    wakeUps_.fetch_add(1);
    if (idle_.load() == 0)
        return;
    // Taken and let go so that a reader between looking and sleeping is
    // asleep by the notify; notified outside it, so that the reader woken
    // does not wake only to wait for it.
    { std::lock_guard lock(mutex_); }
    if (all)
        wakeReaders_.notify_all();
    else
        wakeReaders_.notify_one();
}

void ReaderPool::strand(int jobs) {
    std::lock_guard lock(mutex_);
    stranded_ += jobs;
}

void ReaderPool::discard(Spent& items, bool now) {
    if (items.empty())
        return;
    {
        std::lock_guard lock(mutex_);
        bin_.insert(bin_.end(), std::make_move_iterator(items.begin()),
                    std::make_move_iterator(items.end()));
    }
    items.clear();
    if (now && idle_.load() > 0)
        wakeReaders_.notify_one();
}

int ReaderPool::threads() const {
    std::lock_guard lock(mutex_);
    return threads_;
}

void ReaderPool::work() {
    Spent bin;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!bin_.empty()) {
            bin.swap(bin_);
            lock.unlock();
            bin.clear();
            lock.lock();
            continue;
        }
        const std::uint64_t seen = wakeUps_.load();
        lock.unlock();
        bool more = false;
        std::unique_ptr<Job> job = source_.next(more);
        if (!job) {
            lock.lock();
            idle_.fetch_add(1);
            wakeReaders_.wait(lock, [&] { return wakeUps_.load() != seen || !bin_.empty(); });
            idle_.fetch_sub(1);
            continue;
        }
        if (more)
            wakeOne();
        const bool stranded = job->run();
        job.reset();
        lock.lock();
        if (stranded) {
            --stranded_;
            if (threads_ - stranded_ > kReaders) {  // replaced meanwhile
                --threads_;
                return;
            }
        }
    }
}

}  // namespace tarnwell
