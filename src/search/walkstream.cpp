#include "search/walkstream.h"

#include <QFile>
#include <atomic>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "fs/dirlisting.h"
#include "search/walk.h"

namespace tarnwell {

namespace {

constexpr qsizetype kLongestPath = 260;
// A batch is handed over when it holds this many events or bytes, or
// sooner when the consumer has nothing to do.
constexpr std::size_t kBatchEvents = 512;
constexpr qsizetype kBatchBytes = 64 * 1024;
// Batches ready to take at most: enough to ride out a slow pass of the
// window, and a bound on what a walk ahead of a stopped consumer holds.
constexpr std::size_t kBatchesAhead = 16;
// How long the consumer waits for a stopped walk's thread to end.
constexpr auto kEndWait = std::chrono::milliseconds(50);

std::atomic<int> walkThreads{0};

}  // namespace

struct WalkThread::Channel {
    std::function<void()> wakeConsumer;

    std::atomic<bool> stopped{false};
    std::atomic<std::uint64_t> turns{0};
    std::atomic<bool> wantPath{true};
    std::atomic<bool> consumerIdle{true};  // it found nothing to take, and waits

    std::mutex mutex;
    std::condition_variable walkWakes;  // a read is in, there is room, an answer, a stop
    // Under mutex:
    std::deque<std::unique_ptr<WalkBatch>> ready;
    std::vector<std::unique_ptr<WalkBatch>> spare;
    bool readIn = false;      // a reader has woken the walk
    std::uint64_t asked = 0;  // events that wait for an answer, handed over
    std::uint64_t answers = 0;
    bool walkEnded = false;    // the last batch is in `ready`
    bool threadEnded = false;  // and the walk let go of everything it held

    // The walk's side.

    std::unique_ptr<WalkBatch> fresh() {
        std::lock_guard lock(mutex);
        if (spare.empty())
            return std::make_unique<WalkBatch>();
        auto b = std::move(spare.back());
        spare.pop_back();
        return b;
    }

    // Hands `batch` over, waiting for room; after a stop it is dropped.
    void handOver(std::unique_ptr<WalkBatch>& batch, bool waitForAnswer) {
        if (batch->events.empty() && !waitForAnswer)
            return;
        bool wake;
        {
            std::unique_lock lock(mutex);
            walkWakes.wait(lock, [&] { return stopped || ready.size() < kBatchesAhead; });
            if (stopped) {
                batch->events.clear();
                batch->bytes.resize(0);
                return;
            }
            if (waitForAnswer)
                ++asked;
            ready.push_back(std::move(batch));
            wake = consumerIdle.exchange(false);
            if (!spare.empty()) {
                batch = std::move(spare.back());
                spare.pop_back();
            }
        }
        if (!batch)
            batch = std::make_unique<WalkBatch>();
        if (wake)
            wakeConsumer();
        if (waitForAnswer) {
            std::unique_lock lock(mutex);
            walkWakes.wait(lock, [&] { return stopped || answers == asked; });
        }
    }

    void end() {
        {
            std::lock_guard lock(mutex);
            walkEnded = true;
        }
        wakeConsumer();
    }
};

namespace {

using Channel = WalkThread::Channel;

// The walk's events, written into batches for the consumer.
class Streamer final : public WalkEvents {
public:
    explicit Streamer(std::shared_ptr<Channel> channel)
        : channel_(std::move(channel)), batch_(channel_->fresh()) {}
    ~Streamer() override { channel_->handOver(batch_, false); }

    void folderEntered(const QByteArray& walkPath) override {
        last_ = &walkPath;
        lastLength_ = walkPath.size();
        lastKept_ = false;
        if (channel_->wantPath.load(std::memory_order_relaxed) &&
            channel_->wantPath.exchange(false))
            add(WalkEvent{WalkEvent::Kind::FolderEntered}, walkPath);
        // A consumer with nothing to do gets what there is, so the window
        // shows finds at once rather than a batch later.
        if (channel_->consumerIdle.load(std::memory_order_relaxed))
            channel_->handOver(batch_, false);
    }
    void beforePathShortens(qsizetype newLength) override {
        // The folder last entered is kept for a failure's progress text.
        if (last_ && !lastKept_ && newLength < lastLength_) {
            kept_ = last_->left(lastLength_);
            lastKept_ = true;
        }
    }
    void failed(int statement, int error) override {
        WalkEvent e{WalkEvent::Kind::Failed};
        e.statement = statement;
        e.error = error;
        add(e, lastFolder());
        channel_->handOver(batch_, true);
    }
    bool filesFit(const QByteArray& folderPath, const DirListing& listing) override {
        if (!someNameTooLong(folderPath, listing))
            return true;
        // A listing that failed is reported on its own, with no box here.
        if (!listing.error()) {
            add(WalkEvent{WalkEvent::Kind::NamesTooLong},
                folderPath.endsWith('/') ? folderPath : folderPath + '/');
            channel_->handOver(batch_, true);
        }
        return false;
    }
    void fileFound(const QByteArray& path, std::uint8_t reason,
                   const FileIdentity& identity) override {
        WalkEvent e{WalkEvent::Kind::Found};
        e.reason = reason;
        e.identity = identity;
        add(e, path);
    }
    bool stopRequested() const override {
        return channel_->stopped.load(std::memory_order_relaxed);
    }
    std::uint64_t turns() const override { return channel_->turns.load(std::memory_order_acquire); }
    void waitUntil(const std::function<bool()>& isReady) override {
        // The consumer sees everything before the walk sleeps.
        channel_->handOver(batch_, false);
        while (!isReady() && !stopRequested()) {
            std::unique_lock lock(channel_->mutex);
            channel_->walkWakes.wait(lock, [&] { return channel_->readIn || channel_->stopped; });
            channel_->readIn = false;
        }
    }
    std::function<void()> waker() override {
        return [channel = channel_] {
            {
                std::lock_guard lock(channel->mutex);
                channel->readIn = true;
            }
            channel->walkWakes.notify_all();
        };
    }

private:
    QByteArrayView lastFolder() const {
        if (lastKept_)
            return kept_;
        return last_ ? QByteArrayView(last_->constData(), lastLength_) : QByteArrayView();
    }

    void add(WalkEvent e, QByteArrayView text) {
        e.offset = std::uint32_t(batch_->bytes.size());
        e.length = std::uint32_t(text.size());
        batch_->bytes.append(text);
        batch_->events.push_back(e);
        if (batch_->events.size() >= kBatchEvents || batch_->bytes.size() >= kBatchBytes)
            channel_->handOver(batch_, false);
    }

    std::shared_ptr<Channel> channel_;
    std::unique_ptr<WalkBatch> batch_;
    const QByteArray* last_ = nullptr;
    qsizetype lastLength_ = 0;
    QByteArray kept_;
    bool lastKept_ = false;
};

}  // namespace

WalkThread::WalkThread(std::shared_ptr<ReadAheadBoard> readers, QByteArray top, bool withSubfolders,
                       std::function<void()> wake, bool oneFileSystem)
    : channel_(std::make_shared<Channel>()) {
    assert(readers);
    channel_->wakeConsumer = std::move(wake);
    ++walkThreads;
    std::thread([channel = channel_, readers = std::move(readers), top = std::move(top),
                 withSubfolders, oneFileSystem]() mutable {
        {
            Streamer streamer(channel);
            walkFolderTree(streamer, std::move(readers), top, withSubfolders, oneFileSystem);
        }
        channel->end();
        {
            std::lock_guard lock(channel->mutex);
            channel->threadEnded = true;
        }
        channel->walkWakes.notify_all();
        --walkThreads;
    }).detach();
}

WalkThread::~WalkThread() {
    stop();
    std::unique_lock lock(channel_->mutex);
    channel_->walkWakes.wait_for(lock, kEndWait, [&] { return channel_->threadEnded; });
}

std::unique_ptr<WalkBatch> WalkThread::take() {
    std::unique_ptr<WalkBatch> b;
    {
        std::lock_guard lock(channel_->mutex);
        if (channel_->ready.empty()) {
            channel_->consumerIdle = true;
            return nullptr;
        }
        b = std::move(channel_->ready.front());
        channel_->ready.pop_front();
    }
    channel_->walkWakes.notify_all();  // there is room
    return b;
}

bool WalkThread::ready() const {
    std::lock_guard lock(channel_->mutex);
    return !channel_->ready.empty() || channel_->walkEnded;
}

bool WalkThread::ended() const {
    std::lock_guard lock(channel_->mutex);
    return channel_->walkEnded && channel_->ready.empty();
}

void WalkThread::giveBack(std::unique_ptr<WalkBatch> batch) {
    batch->events.clear();
    batch->bytes.resize(0);
    std::lock_guard lock(channel_->mutex);
    channel_->spare.push_back(std::move(batch));
}

void WalkThread::answered() {
    {
        std::lock_guard lock(channel_->mutex);
        assert(channel_->answers < channel_->asked);
        ++channel_->answers;
    }
    channel_->walkWakes.notify_all();
}

void WalkThread::noteTurns(std::uint64_t turns) {
    channel_->turns.store(turns, std::memory_order_release);
}

void WalkThread::wantFolderPath() {
    channel_->wantPath.store(true, std::memory_order_relaxed);
}

void WalkThread::stop() {
    {
        std::lock_guard lock(channel_->mutex);
        channel_->stopped = true;
    }
    channel_->walkWakes.notify_all();
}

int WalkThread::threadCount() {
    return walkThreads.load();
}

int charactersOf(QByteArrayView bytes) {
    for (char c : bytes)
        if (c & 0x80)
            return int(QFile::decodeName(bytes.toByteArray()).size());
    return int(bytes.size());
}

bool someNameTooLong(const QByteArray& folderPath, const DirListing& listing) {
    if (listing.error())
        return true;
    // Nothing to measure: most folders of a deep tree end here, without
    // counting the characters of their long paths.
    if (listing.files().empty())
        return false;
    const qsizetype folderLength = charactersOf(folderPath) + (folderPath.endsWith('/') ? 0 : 1);
    // Bytes bound characters from above, so most folders need no count.
    if (folderLength + qsizetype(listing.longestFileName()) <= kLongestPath)
        return false;
    for (const DirListing::Entry& file : listing.files())
        if (folderLength + charactersOf(QByteArrayView(listing.name(file), file.length)) >
            kLongestPath)
            return true;
    return false;
}

}  // namespace tarnwell
