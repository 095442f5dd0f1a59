#include "search/readahead.h"

#include <fcntl.h>
#include <algorithm>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "search/readerpool.h"

namespace tarnwell {

using Board = ReadAheadBoard::State;

struct ReadAhead::Session : std::enable_shared_from_this<Session> {
    Session(std::shared_ptr<Board> readBy, bool descends, bool oneFileSystem,
            std::function<void()> wakeWalk)
        : board(std::move(readBy)),
          withSubfolders(descends),
          oneFileSystem(oneFileSystem),
          wake(std::move(wakeWalk)) {}

    // A job of the walk's hands its read back here, even after the walk.
    const std::shared_ptr<Board> board;
    const bool withSubfolders;
    const bool oneFileSystem;
    const std::function<void()> wake;
    std::atomic<std::uint64_t> turn{0};
    // Under the board's lock:
    bool closed = false;
    ReadPlan plan;
    // The walk's thread's own: what the plan let go, on its way to the pool.
    ReadPlan::Spent handoff;
};

namespace {

using Session = ReadAhead::Session;
using Node = ReadPlan::Node;

// A folder as a stuck reader is known by, so that searching it again waits
// for that reader instead of sending another into the same hang.
struct ReadKey {
    dev_t dev;
    ino_t ino;
    std::string name;
    auto operator<=>(const ReadKey&) const = default;
};

ReadKey keyOf(const Node& n) {
    return ReadKey{n.parentDev, n.parentIno, n.name};
}

}  // namespace

// Shared by its handle and the readers: a reader may be stuck in the kernel
// long after the handle went, and must find its board still there when it
// returns.
struct ReadAheadBoard::State final : public ReaderPool::Source,
                                     public std::enable_shared_from_this<State> {
public:
    explicit State(std::shared_ptr<SambaShares> shares) : shares(std::move(shares)) {}
    ~State() override {
        // A walk holds the handle, and a reader of a gone walk the board.
        assert(sessions_.empty() && stuck_.empty());
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    void attach(Session& s) {
        {
            std::lock_guard lock(mutex_);
            assert(std::find(sessions_.begin(), sessions_.end(), &s) == sessions_.end());
            sessions_.push_back(&s);
        }
        pool_.ensureReaders(shared_from_this());
    }

    // Everything of the session is dropped; its reads still in the kernel
    // leave their readers stranded until they come back.
    void detach(Session& s) {
        {
            std::lock_guard lock(mutex_);
            assert(!s.closed &&
                   std::find(sessions_.begin(), sessions_.end(), &s) != sessions_.end());
            s.closed = true;
            for (const Node* n : s.plan.inFlight()) stuck_.insert(keyOf(*n));
            pool_.strand(int(s.plan.inFlight().size()));
            std::erase(sessions_, &s);
            s.plan.close();
            s.plan.takeSpent(s.handoff);
        }
        pool_.discard(s.handoff, true);
    }

    // The handle has gone: no walk is left, and no walk comes.
    void letGo() {
        {
            std::lock_guard lock(mutex_);
            assert(sessions_.empty() && "every walk holds its board's handle");
        }
        pool_.letGo();
    }

    class Call;

    std::unique_ptr<ReaderPool::Job> next(bool& more) override;
    // A read is back; true when its session has gone meanwhile.
    // Drops `folder` under the lock: it may be the last share of its node.
    bool readBack(Session& s, ReadPlan::Folder& folder, std::shared_ptr<FolderRead>& read,
                  std::vector<ReadPlan::Folder>& subfolders, ReadPlan::Spent& bin);

    int threads() const { return pool_.threads(); }

    // Where its readers learn and ask what this machine's Samba server
    // shares; null where nothing counts as shared.
    const std::shared_ptr<SambaShares> shares;

private:
    bool stuckOn(const Node& n) const { return !stuck_.empty() && stuck_.count(keyOf(n)) > 0; }

    mutable std::mutex mutex_;
    // Newest last. A walk runs inside a turn of the window of any older walk
    // still here (a search started from a handler while another search's
    // event loop ran), so the older ones cannot go on before the newest is
    // done: the newest is served first.
    std::vector<Session*> sessions_;
    std::multiset<ReadKey> stuck_;  // what readers of gone walks are stuck on
    ReaderPool pool_{*this};
};

// One call of the walk's on its plan, under the board's lock. When it is
// over, the pool gets what the plan let go, and the readers are woken that
// the plan has work for.
class Board::Call {
public:
    explicit Call(Session& s) : board_(*s.board), s_(s), lock_(board_.mutex_) {}
    ~Call() {
        s_.plan.takeSpent(s_.handoff);
        const ReadPlan::Wake wake = s_.plan.takeWake();
        lock_.unlock();
        board_.pool_.discard(s_.handoff);
        if (wake == ReadPlan::Wake::All)
            board_.pool_.wakeAll();
        else if (wake == ReadPlan::Wake::One)
            board_.pool_.wakeOne();
    }
    ReadPlan* operator->() { return &s_.plan; }

private:
    Board& board_;
    Session& s_;
    std::unique_lock<std::mutex> lock_;
};

namespace {

// One folder to read, with everything the reader needs copied out of the
// plan, which it may look at only under the board's lock.
class ReadJob final : public ReaderPool::Job {
public:
    ReadJob(std::shared_ptr<Session> session, ReadPlan::Folder folder)
        : session_(std::move(session)),
          parentFd_(folder->parentFd),
          name_(folder->name),
          listed_(folder->listed),
          isSubfolder_(folder->parent != nullptr),
          folder_(std::move(folder)) {
        if (isSubfolder_)
            parentFs_ = FileSystemOf{folder_->parentDev, folder_->parentKind};
    }

    bool run() override {
        auto read = std::make_shared<FolderRead>();
        if (isSubfolder_ && !parentFd_)
            read->openError = EBADF;  // never a subfolder's name taken from the working folder
        else
            *read = readFolder(parentFd_ ? parentFd_->get() : AT_FDCWD, name_.c_str(), listed_,
                               parentFs_, session_->oneFileSystem, session_->board->shares.get());
        std::vector<ReadPlan::Folder> subfolders;
        if (session_->withSubfolders && read->searched && !read->listError)
            subfolders.resize(read->listing.folders().size());
        if (subfolders.empty())
            read->fd.reset();  // nothing is opened through it
        ReadPlan::Spent bin;
        const bool stranded = session_->board->readBack(*session_, folder_, read, subfolders, bin);
        // A dropped result, its descriptor and what the walk is done with
        // are let go outside the lock.
        read.reset();
        std::vector<ReadPlan::Folder>().swap(subfolders);
        bin.clear();
        return stranded;
    }

private:
    std::shared_ptr<Session> session_;
    std::shared_ptr<const Descriptor> parentFd_;
    std::string name_;
    bool listed_;
    bool isSubfolder_;
    std::optional<FileSystemOf> parentFs_;
    ReadPlan::Folder folder_;  // dropped under the board's lock
};

}  // namespace

std::unique_ptr<ReaderPool::Job> Board::next(bool& more) {
    std::lock_guard lock(mutex_);
    const ReadPlan::Stuck stuck = [this](const Node& n) { return stuckOn(n); };
    for (auto it = sessions_.rbegin(); it != sessions_.rend(); ++it) {
        Session& s = **it;
        // Before the read: a turn the walk notes later is one the read may
        // have missed.
        ReadPlan::Folder n = s.plan.next(s.turn.load(std::memory_order_acquire), stuck);
        if (!n)
            continue;
        more = false;
        for (const Session* other : sessions_) more = more || other->plan.hasNext();
        return std::make_unique<ReadJob>(s.shared_from_this(), std::move(n));
    }
    more = false;
    return nullptr;
}

bool Board::readBack(Session& s, ReadPlan::Folder& folder, std::shared_ptr<FolderRead>& read,
                     std::vector<ReadPlan::Folder>& subfolders, ReadPlan::Spent& bin) {
    std::lock_guard lock(mutex_);
    if (s.closed) {
        stuck_.erase(stuck_.find(keyOf(*folder)));
        folder.reset();
        // Whoever waited for the same folder may try it now.
        for (Session* live : sessions_) live->plan.unpark();
        pool_.wakeAll();
        return true;
    }
    if (s.plan.done(folder, read, subfolders) && s.wake)
        s.wake();
    folder.reset();
    // A reader that queued goes on to ask for the next; the pool wakes others
    // while there is more.
    s.plan.takeWake();
    // On a reader already: what the plan let go is freed here, after the lock.
    s.plan.takeSpent(bin);
    return false;
}

ReadAheadBoard::ReadAheadBoard(std::shared_ptr<SambaShares> shares)
    : state_(std::make_shared<State>(std::move(shares))) {}

ReadAheadBoard::~ReadAheadBoard() {
    state_->letGo();
}

int ReadAheadBoard::threadCount() const {
    return state_->threads();
}

int ReadAheadBoard::threadLimit() {
    return ReaderPool::kThreadLimit;
}

std::weak_ptr<const void> ReadAheadBoard::board() const {
    return state_;
}

ReadAhead::ReadAhead(std::shared_ptr<ReadAheadBoard> readers, bool withSubfolders,
                     std::function<void()> wake, bool oneFileSystem)
    : readers_(std::move(readers)),
      session_(std::make_shared<Session>(readers_->state_, withSubfolders, oneFileSystem,
                                         std::move(wake))) {
    session_->board->attach(*session_);
}

ReadAhead::~ReadAhead() {
    // Before the handle's share goes: the board is let go with no walk on it.
    session_->board->detach(*session_);
}

ReadAhead::Folder ReadAhead::top(const QByteArray& path) {
    std::string name = path.toStdString();
    return Board::Call(*session_)->top(std::move(name));
}

ReadAhead::Folder ReadAhead::subfolder(const Folder& parent, std::size_t index, Taken& taken) {
    return Board::Call(*session_)->subfolder(parent, index, taken);
}

bool ReadAhead::ready(const Folder& folder) const {
    return Board::Call(*session_)->ready(folder);
}

ReadAhead::Taken ReadAhead::take(const Folder& folder) {
    return Board::Call(*session_)->take(folder);
}

void ReadAhead::noteTurn(std::uint64_t turn) {
    session_->turn.store(turn, std::memory_order_release);
}

void ReadAhead::readAgain(const Folder& folder) {
    Board::Call(*session_)->readAgain(folder);
}

void ReadAhead::forget(const Folder& folder) {
    Board::Call(*session_)->forget(folder);
}

std::shared_ptr<const Descriptor> ReadAhead::descriptor(const Folder& folder) const {
    return Board::Call(*session_)->descriptor(folder);
}

void ReadAhead::dropDescriptor(const Folder& folder) {
    Board::Call(*session_)->dropDescriptor(folder);
}

void ReadAhead::giveDescriptor(const Folder& folder, Descriptor fd) {
    auto shared = std::make_shared<const Descriptor>(std::move(fd));
    Board::Call(*session_)->giveDescriptor(folder, std::move(shared));
}

}  // namespace tarnwell
