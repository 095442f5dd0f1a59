#include "search/readahead.h"

#include <fcntl.h>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory_resource>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tarnwell {

namespace {

// Enough reads in flight for a cold disk or a network share to overlap its
// waits; the window's thread has the rest of the machine.
constexpr int kReaders = 8;
// Readers stuck in the kernel are replaced up to this many threads in all;
// past it, new searches share the readers that still answer.
constexpr int kThreadLimit = 16;
// Folders read, or being read, ahead of what the walk has taken. A box left
// open for an hour stops the readers here, whatever the size of the tree.
constexpr int kWindow = 128;

}  // namespace

struct ReadAhead::Node {
    enum class State : std::uint8_t { Queued, Reading, Done };

    Node* parent = nullptr;  // alive while this node is not cancelled
    std::uint32_t index = 0;
    std::uint32_t depth = 0;
    // What to read: `name` inside `parentFd`, or the path `name` for the top.
    std::shared_ptr<const Descriptor> parentFd;
    std::string name;
    bool listed = false;
    // Which folder it is, as far as can be told without asking the file
    // system: its parent's device and inode and its name.
    dev_t parentDev = 0;
    ino_t parentIno = 0;
    FsKind parentKind = FsKind::Plain;

    State state = State::Queued;
    bool demanded = false;   // the walk waits for it
    bool cancelled = false;  // nobody wants it any more
    bool counted = false;    // it takes a place in the window
    bool inQueue = false;    // (this, nextToQueue) is in the session's queue
    std::uint64_t turn = 0;  // the window's turn when its read began
    std::shared_ptr<const FolderRead> read;
    std::shared_ptr<const Descriptor> fd;
    std::vector<Folder> children;  // a slot per subfolder once read
    std::uint32_t nextToQueue = 0;
};

namespace {

using Node = ReadAhead::Node;

// Subfolder `index` of `parent`, not yet read.
struct Cursor {
    Node* parent;
    std::uint32_t index;
};

// Depth-first order of the folders two cursors stand for: the path of child
// indexes from the top, compared element by element, an ancestor first.
struct DepthFirst {
    bool operator()(const Cursor& a, const Cursor& b) const {
        const Node* pa = a.parent;
        const Node* pb = b.parent;
        std::uint32_t ia = a.index, ib = b.index;
        bool bLifted = false;
        while (pa->depth > pb->depth) {
            ia = pa->index;
            pa = pa->parent;
        }
        while (pb->depth > pa->depth) {
            ib = pb->index;
            pb = pb->parent;
            bLifted = true;
        }
        while (pa != pb) {
            ia = pa->index;
            pa = pa->parent;
            ib = pb->index;
            pb = pb->parent;
        }
        // Equal indexes under one parent: one folder lies inside the other's
        // subtree, and the one lifted is the deeper.
        return ia != ib ? ia < ib : bLifted;
    }
};

}  // namespace

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

struct ReadAhead::Session : std::enable_shared_from_this<Session> {
    bool withSubfolders = true;
    std::function<void()> wake;
    bool closed = false;
    std::atomic<std::uint64_t> turn{0};
    Folder top;
    // The cursors' places come from here, under the pool's lock, rather
    // than from malloc: a place made on a reader and given back on the
    // window's thread would have the two wait on each other's arena.
    std::pmr::unsynchronized_pool_resource places;
    std::pmr::set<Cursor, DepthFirst> queue{&places};
    std::deque<Folder> demands;
    std::vector<Folder> parked;  // waiting for a stuck reader of the same folder
    std::vector<Node*> reading;
    int outstanding = 0;  // nodes counted in the window
    // The subfolders counted in the window, in depth-first order: a folder
    // queued before the last of them may go past the window, or the walk
    // would have to wait for it while the window holds folders it needs
    // only later.
    std::pmr::set<Cursor, DepthFirst> counted{&places};
};

namespace {

struct Task {
    std::shared_ptr<ReadAhead::Session> session;
    ReadAhead::Folder node;
    std::shared_ptr<const Descriptor> parentFd;
    std::string name;
    bool listed = false;
    std::optional<FileSystemOf> parentFs;
};

// What the walk is done with, freed by a reader outside the lock: the walk's
// thread then neither closes descriptors nor gives back memory a reader
// took, which made it wait on the reader's malloc arena.
using Spent = std::vector<std::shared_ptr<const void>>;

class Pool {
public:
    static Pool& instance() {
        // Never destroyed: a reader may be stuck in the kernel when the
        // program ends, and must find its pool still there if it returns.
        static Pool* pool = new Pool;
        return *pool;
    }

    std::mutex mutex;

    void attach(const std::shared_ptr<ReadAhead::Session>& s) {
        sessions_.push_back(s.get());
        while (threads_ - int(stranded_.size()) < kReaders && threads_ < kThreadLimit) {
            ++threads_;
            std::thread([this] { work(); }).detach();
        }
    }

    // Everything of the session is dropped; its reads still in the kernel
    // leave their readers stranded until they come back.
    void detach(ReadAhead::Session& s) {
        s.closed = true;
        for (const Node* n : s.reading) stranded_.insert(keyOf(*n));
        std::erase(sessions_, &s);
        if (s.top)
            cancel(s, s.top);
        spend(std::move(s.top));
        s.demands.clear();
        s.parked.clear();
        assert(s.queue.empty() && s.outstanding == 0);
        if (!spent_.empty())
            wakeReaders_.notify_one();
    }

    void spend(std::shared_ptr<const void> p) {
        if (p)
            spent_.push_back(std::move(p));
    }

    void notify() { wakeReaders_.notify_one(); }

    // Marks a node and everything below it unwanted and frees what they
    // hold. Every cursor below it leaves the queue while all its nodes are
    // still there, since comparing cursors walks up their parents; only then
    // are the nodes let go, each with no children left, so a long
    // speculative chain is never freed recursively.
    void cancel(ReadAhead::Session& s, const ReadAhead::Folder& from) {
        std::vector<ReadAhead::Folder> nodes{from};
        for (size_t i = 0; i < nodes.size(); ++i) {
            Node& n = *nodes[i];
            n.cancelled = true;
            uncount(s, n);
            unqueue(s, n);
            for (const ReadAhead::Folder& c : n.children)
                if (c)
                    nodes.push_back(c);
        }
        for (ReadAhead::Folder& n : nodes) {
            spend(std::move(n->read));
            spend(std::move(n->fd));
            spend(std::move(n->parentFd));
            n->children.clear();
            spend(std::move(n));
        }
    }

    // Lets go of what a node holds and of everything read below it; the
    // node itself stays, as its parent's child.
    void release(ReadAhead::Session& s, Node& n) {
        for (const ReadAhead::Folder& c : n.children)
            if (c)
                cancel(s, c);
        n.children.clear();
        unqueue(s, n);
        uncount(s, n);
        spend(std::move(n.read));
        spend(std::move(n.fd));
    }

    // A place in the window comes free. Readers that found it full sleep
    // until half of it is free, then refill it together: waking one per
    // folder taken would cost a wake-up and a switch per folder.
    void uncount(ReadAhead::Session& s, Node& n) {
        if (n.counted) {
            n.counted = false;
            if (n.parent)
                s.counted.erase(Cursor{n.parent, n.index});
            if (--s.outstanding == kWindow / 2)
                wakeReaders_.notify_all();
        }
    }

    void unqueue(ReadAhead::Session& s, Node& n) {
        if (n.inQueue) {
            s.queue.erase(Cursor{&n, n.nextToQueue});
            n.inQueue = false;
        }
    }

    // Queues the first subfolder of `n` from `from` on that is not read yet.
    // Wakes nobody: a reader that queues goes on to pick, and wakes the next
    // while there is more to read.
    void queueFrom(ReadAhead::Session& s, Node& n, std::uint32_t from) {
        unqueue(s, n);
        while (from < n.children.size() && n.children[from]) ++from;
        if (from == n.children.size() || !n.fd)
            return;
        n.nextToQueue = from;
        n.inQueue = s.queue.insert(Cursor{&n, from}).second;
    }

    void demand(ReadAhead::Session& s, const ReadAhead::Folder& n) {
        n->demanded = true;
        s.demands.push_front(n);
        notify();
    }

    int threads() const { return threads_; }

private:
    std::optional<Task> pick() {
        for (auto it = sessions_.rbegin(); it != sessions_.rend(); ++it) {
            ReadAhead::Session& s = **it;
            while (!s.demands.empty()) {
                ReadAhead::Folder n = std::move(s.demands.front());
                s.demands.pop_front();
                if (n->cancelled || n->state != Node::State::Queued)
                    continue;
                if (stuckOn(*n))
                    s.parked.push_back(std::move(n));
                else
                    return dispatch(s, std::move(n));
            }
            while (!s.queue.empty() && roomFor(s, *s.queue.begin())) {
                const Cursor c = *s.queue.begin();
                if (c.parent->children[c.index]) {  // the walk asked for it first
                    queueFrom(s, *c.parent, c.index + 1);
                    continue;
                }
                ReadAhead::Folder n = makeChild(*c.parent, c.index);
                queueFrom(s, *c.parent, c.index + 1);
                if (!stuckOn(*n))
                    return dispatch(s, std::move(n));
                s.parked.push_back(std::move(n));
            }
        }
        return std::nullopt;
    }

public:
    // A node for subfolder `index` of `parent`, in its slot.
    static ReadAhead::Folder makeChild(Node& parent, std::uint32_t index) {
        auto n = std::make_shared<Node>();
        n->parent = &parent;
        n->index = index;
        n->depth = parent.depth + 1;
        n->parentFd = parent.fd;
        n->parentDev = parent.read->dev;
        n->parentIno = parent.read->ino;
        n->parentKind = parent.read->kind;
        const DirListing::Entry e = parent.read->listing.folders()[index];
        n->name.assign(parent.read->listing.name(e), e.length);
        n->listed = parent.read->subfolderListed[index];
        parent.children[index] = n;
        return n;
    }

private:
    bool stuckOn(const Node& n) const {
        return !stranded_.empty() && stranded_.count(keyOf(n)) > 0;
    }

    bool hasWork() const {
        for (const ReadAhead::Session* s : sessions_)
            if (!s->demands.empty() || (!s->queue.empty() && roomFor(*s, *s->queue.begin())))
                return true;
        return false;
    }

    // Whether the folder `c` stands for may be read ahead now: the window
    // has room, or it comes before the last folder in it, up to twice the
    // window.
    static bool roomFor(const ReadAhead::Session& s, const Cursor& c) {
        if (s.outstanding < kWindow)
            return true;
        return s.outstanding < 2 * kWindow && !s.counted.empty() &&
               DepthFirst()(c, *s.counted.rbegin());
    }

    Task dispatch(ReadAhead::Session& s, ReadAhead::Folder n) {
        n->state = Node::State::Reading;
        // Before the read: a turn the walk notes later is one the read may
        // have missed.
        n->turn = s.turn.load(std::memory_order_acquire);
        n->counted = true;
        ++s.outstanding;
        if (n->parent)
            s.counted.insert(Cursor{n->parent, n->index});
        s.reading.push_back(n.get());
        Task t;
        t.session = sessionOf(s);
        t.parentFd = n->parentFd;
        t.name = n->name;
        t.listed = n->listed;
        if (n->parent)
            t.parentFs = FileSystemOf{n->parentDev, n->parentKind};
        t.node = std::move(n);
        return t;
    }

    // A task shares its session, so that a reader that comes back late
    // finds it, closed, rather than freed memory.
    static std::shared_ptr<ReadAhead::Session> sessionOf(ReadAhead::Session& s) {
        return s.shared_from_this();
    }

    // True when the reader came back from a session that has gone. What it
    // read becomes the node's, and `subfolders` the places of its subfolders.
    bool complete(Task& task, std::shared_ptr<FolderRead>& read,
                  std::vector<ReadAhead::Folder>& subfolders) {
        ReadAhead::Session& s = *task.session;
        Node& n = *task.node;
        std::erase(s.reading, &n);
        if (s.closed) {
            stranded_.erase(stranded_.find(keyOf(n)));
            // Whoever waited for the same folder may try it now.
            for (ReadAhead::Session* live : sessions_) {
                for (ReadAhead::Folder& p : live->parked) live->demands.push_front(std::move(p));
                live->parked.clear();
            }
            wakeReaders_.notify_all();
            return true;
        }
        if (n.cancelled)
            return false;
        n.state = Node::State::Done;
        n.parentFd.reset();  // the budget may close the parent now
        // A folder without subfolders to open keeps no descriptor: the
        // reader closes it, not the walk.
        if (!subfolders.empty()) {
            n.fd = std::move(read->fd);
            n.children = std::move(subfolders);
            queueFrom(s, n, 0);
        }
        n.read = std::move(read);
        if (n.demanded && s.wake)
            s.wake();
        return false;
    }

    void work() {
        Spent bin;
        std::unique_lock lock(mutex);
        for (;;) {
            std::optional<Task> task;
            while (!(task = pick())) {
                if (!spent_.empty()) {
                    bin.swap(spent_);
                    lock.unlock();
                    bin.clear();
                    lock.lock();
                    continue;
                }
                ++idle_;
                wakeReaders_.wait(lock);
                --idle_;
            }
            const bool wakeNext = idle_ > 0 && hasWork();
            const bool descends = task->session->withSubfolders;
            lock.unlock();
            // Outside the lock, so that the next reader does not wake only
            // to wait for it.
            if (wakeNext)
                wakeReaders_.notify_one();
            auto read = std::make_shared<FolderRead>();
            if (task->node->parent && !task->parentFd)
                read->openError = EBADF;  // never a subfolder's name taken from the working folder
            else
                *read = readFolder(task->parentFd ? task->parentFd->get() : AT_FDCWD,
                                   task->name.c_str(), task->listed, task->parentFs);
            std::vector<ReadAhead::Folder> subfolders;
            if (descends && read->searched && !read->listError)
                subfolders.resize(read->listing.folders().size());
            if (subfolders.empty())
                read->fd.reset();  // nothing is opened through it
            lock.lock();
            const bool stranded = complete(*task, read, subfolders);
            // Under the lock: the task may hold the last share of its node,
            // whose children the others reach only under the lock.
            task.reset();
            bin.swap(spent_);
            lock.unlock();
            // A dropped result, its descriptor and what the walk is done
            // with are let go outside the lock.
            read.reset();
            std::vector<ReadAhead::Folder>().swap(subfolders);
            bin.clear();
            lock.lock();
            if (stranded && threads_ - int(stranded_.size()) > kReaders) {
                --threads_;
                return;
            }
        }
    }

    std::vector<ReadAhead::Session*> sessions_;
    std::condition_variable wakeReaders_;
    int threads_ = 0;
    std::multiset<ReadKey> stranded_;  // what readers of gone sessions are stuck on
    int idle_ = 0;
    Spent spent_;
};

}  // namespace

ReadAhead::ReadAhead(bool withSubfolders, std::function<void()> wake)
    : session_(std::make_shared<Session>()) {
    session_->withSubfolders = withSubfolders;
    session_->wake = std::move(wake);
    Pool& pool = Pool::instance();
    std::lock_guard lock(pool.mutex);
    pool.attach(session_);
}

ReadAhead::~ReadAhead() {
    Pool& pool = Pool::instance();
    std::lock_guard lock(pool.mutex);
    pool.detach(*session_);
}

ReadAhead::Folder ReadAhead::top(const QByteArray& path) {
    Pool& pool = Pool::instance();
    std::lock_guard lock(pool.mutex);
    assert(!session_->top);
    auto n = std::make_shared<Node>();
    n->name = path.toStdString();
    session_->top = n;
    pool.demand(*session_, n);
    return n;
}

ReadAhead::Folder ReadAhead::subfolder(const Folder& parent, std::size_t index, Taken& taken) {
    Pool& pool = Pool::instance();
    std::lock_guard lock(pool.mutex);
    assert(parent->read && index < parent->children.size());
    Folder& slot = parent->children[index];
    if (slot) {
        taken = takeLocked(slot);
        return slot;
    }
    Folder n = Pool::makeChild(*parent, std::uint32_t(index));
    if (parent->inQueue && parent->nextToQueue == index)
        pool.queueFrom(*session_, *parent, std::uint32_t(index) + 1);
    pool.demand(*session_, n);
    taken = {};
    return n;
}

bool ReadAhead::ready(const Folder& folder) const {
    std::lock_guard lock(Pool::instance().mutex);
    return folder->state == Node::State::Done;
}

ReadAhead::Taken ReadAhead::take(const Folder& folder) {
    std::lock_guard lock(Pool::instance().mutex);
    return takeLocked(folder);
}

ReadAhead::Taken ReadAhead::takeLocked(const Folder& folder) {
    if (folder->state != Node::State::Done || folder->cancelled) {
        folder->demanded = true;
        return {};
    }
    Pool::instance().uncount(*session_, *folder);
    const Descriptor* parentFd =
        folder->parent && folder->parent->fd ? folder->parent->fd.get() : nullptr;
    return {folder->read.get(), parentFd ? parentFd->get() : -1, folder->fd != nullptr,
            folder->turn};
}

void ReadAhead::noteTurn(std::uint64_t turn) {
    session_->turn.store(turn, std::memory_order_release);
}

void ReadAhead::readAgain(const Folder& folder) {
    Pool& pool = Pool::instance();
    std::lock_guard lock(pool.mutex);
    assert(folder->state == Node::State::Done && folder->parent);
    pool.release(*session_, *folder);
    folder->parentFd = folder->parent->fd;
    folder->state = Node::State::Queued;
    pool.demand(*session_, folder);
}

void ReadAhead::forget(const Folder& folder) {
    Pool& pool = Pool::instance();
    std::lock_guard lock(pool.mutex);
    pool.release(*session_, *folder);
    pool.spend(std::move(folder->parentFd));
}

std::shared_ptr<const Descriptor> ReadAhead::descriptor(const Folder& folder) const {
    std::lock_guard lock(Pool::instance().mutex);
    return folder->fd;
}

void ReadAhead::dropDescriptor(const Folder& folder) {
    Pool& pool = Pool::instance();
    std::lock_guard lock(pool.mutex);
    pool.unqueue(*session_, *folder);
    pool.spend(std::move(folder->fd));
}

void ReadAhead::giveDescriptor(const Folder& folder, Descriptor fd) {
    Pool& pool = Pool::instance();
    std::lock_guard lock(pool.mutex);
    folder->fd = std::make_shared<const Descriptor>(std::move(fd));
    pool.queueFrom(*session_, *folder, folder->nextToQueue);
    pool.notify();
}

int ReadAhead::threadCount() {
    Pool& pool = Pool::instance();
    std::lock_guard lock(pool.mutex);
    return pool.threads();
}

int ReadAhead::threadLimit() {
    return kThreadLimit;
}

}  // namespace tarnwell
