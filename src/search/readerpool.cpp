#include "search/readerpool.h"

#include <cassert>
#include <iterator>
#include <thread>

namespace tarnwell {

ReaderPool::~ReaderPool() {
    // The last reader out ran the destructor, or none ever started.
    assert(threads_ == 0 && stranded_ == 0 && idle_ == 0);
    assert(bin_.empty() && "a reader empties the bin before it leaves");
}

void ReaderPool::ensureReaders(const std::shared_ptr<const void>& keepAlive) {
    std::lock_guard lock(mutex_);
    assert(!letGo_ && "no reader is started for a pool let go");
    while (threads_ - stranded_ < kReaders && threads_ < kThreadLimit) {
        ++threads_;
        // The share is dropped only after work() has returned and let go of
        // the lock, so the pool may go with it.
        std::thread([this, keepAlive] { work(); }).detach();
    }
    checkCounts();
}

void ReaderPool::letGo() {
    {
        std::lock_guard lock(mutex_);
        letGo_ = true;
    }
    wakeReaders_.notify_all();
}

void ReaderPool::checkCounts() const {
    assert(0 <= stranded_ && stranded_ <= threads_ && threads_ <= kThreadLimit);
    assert(0 <= idle_ && idle_ <= threads_ - stranded_);
}

void ReaderPool::wakeOne() {
    wake(false);
}

void ReaderPool::wakeAll() {
    wake(true);
}

// Counted even when nobody sleeps: a reader between asking the source and
// going to sleep then sees it and asks again.
void ReaderPool::wake(bool all) {
    bool sleepers;
    {
        std::lock_guard lock(mutex_);
        ++wakeUps_;
        sleepers = idle_ > 0;
    }
    // Outside the lock, so that the reader woken does not wake only to wait
    // for it.
    if (sleepers && all)
        wakeReaders_.notify_all();
    else if (sleepers)
        wakeReaders_.notify_one();
}

void ReaderPool::strand(int jobs) {
    std::lock_guard lock(mutex_);
    stranded_ += jobs;
    checkCounts();
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
    if (now)
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
        const std::uint64_t seen = wakeUps_;
        lock.unlock();
        bool more = false;
        std::unique_ptr<Job> job = source_.next(more);
        if (!job) {
            lock.lock();
            if (letGo_ && bin_.empty()) {
                --threads_;
                checkCounts();
                return;
            }
            ++idle_;
            wakeReaders_.wait(lock, [&] { return wakeUps_ != seen || !bin_.empty() || letGo_; });
            --idle_;
            continue;
        }
        if (more)
            wakeOne();
        const bool stranded = job->run();
        job.reset();
        lock.lock();
        if (stranded) {
            --stranded_;
            checkCounts();
            if (threads_ - stranded_ > kReaders) {  // replaced meanwhile
                --threads_;
                return;
            }
        }
    }
}

}  // namespace tarnwell
