#pragma once

// The read plan of one walk: which folders are to be read ahead of it, in
// what order and how far. It has no threads, takes no lock and makes no
// system call; the one who holds it (search/readahead) serializes the calls
// of the walk and of the readers, and does the reading.
//
// Its parts:
//
// - Node: a folder the plan knows, with its place in the tree (its parent,
//   its index among the parent's subfolders, its depth), what a reader needs
//   to read it, its Stage and, once read, its read and a slot per subfolder.
//   A subfolder has no node until a reader or the walk comes to it.
// - The frontier: for each read folder whose subfolders are not all read, a
//   cursor at the first one that is not, the cursors in depth-first order.
//   Its first cursor is the folder to read ahead next.
// - The window: the folders being read, or read and not yet taken by the
//   walk, counted, and the subfolders among them as cursors in depth-first
//   order, so that the last of them is at hand.
// - Demands: folders the walk asked for before any reader came to them,
//   read before anything else, the newest first. The walk waits for one
//   folder at a time, `awaited_`; its read's end is the one to wake it for.
// - Parked: folders that a reader of an earlier walk is stuck on. Sending
//   another reader into the same hang would strand it too; they wait until
//   that reader is back (unpark).
// - Spent: what the plan let go. The last share of a read or a descriptor
//   is not dropped here, since closing a descriptor is a system call and
//   giving back a reader's memory on the window's thread makes it wait on
//   the reader's malloc arena; the holder hands it to the readers to free.
//
// How a folder moves through it:
//
//              reader comes to it (next)
//   its slot ─────────────────────────────────┐
//      │ the walk asks first, or stuck        v
//      └──────────────────> Waiting ────> Reading ──done──> Read
//                              ^                              │ the walk takes it
//                              │ read again                   v
//                              └───────────────────────────  Taken ──forget──> Finished
//
//   From any stage it may end Cancelled: the walk is done with a folder
//   above it, or leaves. A reader still on a cancelled folder finds, when
//   it is done, that nobody wants the read.

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <memory_resource>
#include <set>
#include <string>
#include <vector>

#include "fs/descriptor.h"
#include "fs/folderread.h"

namespace tarnwell {

// Folders read, or being read, ahead of what the walk has taken: many times
// what the readers have in flight at once, so that they seldom find it full
// while the walk moves on, and a bound on what is held. A box left open for
// an hour stops the readers here, whatever the size of the tree.
inline constexpr int kReadWindow = 128;
// A folder that comes before the last one in the window may go past a full
// window, up to this many: otherwise the window fills with folders the walk
// needs only later while the one it needs next waits, and the walk waits on
// folder after folder. Twice the window keeps the bound.
inline constexpr int kStretchedReadWindow = 2 * kReadWindow;
// Readers that found the window full are woken together once it has fallen
// to this mark, to refill it: waking one for each folder the walk takes
// costs a wake-up and a switch per folder, and was measured twice as slow.
inline constexpr int kReadRefillMark = kReadWindow / 2;

class ReadPlan {
public:
    struct Node;
    using Folder = std::shared_ptr<Node>;
    using Spent = std::vector<std::shared_ptr<const void>>;

    enum class Stage : std::uint8_t {
        Waiting,   // in the demands or parked, or just made
        Reading,   // a reader is on it; it holds a place in the window
        Read,      // its read is in and it still holds its place
        Taken,     // the walk has it
        Finished,  // the walk is done with it; what it held is let go
        Cancelled  // nobody wants it
    };

    // What the walk gets with a folder it takes.
    struct Taken {
        const FolderRead* read = nullptr;
        int parentFd = -1;  // its parent's descriptor, -1 when closed
        bool open = false;  // it holds a descriptor of its own
        std::uint64_t turn = 0;
    };

    // Which readers are to hear of what a call changed.
    enum class Wake : std::uint8_t { None, One, All };

    ReadPlan() = default;
    ~ReadPlan();
    ReadPlan(const ReadPlan&) = delete;
    ReadPlan& operator=(const ReadPlan&) = delete;

    // The walk's side.

    // The folder the walk starts at, by its path; demanded.
    Folder top(std::string path);
    // Subfolder `index` of a read folder: taken into `taken` when it is
    // read, demanded when nobody came to it yet.
    Folder subfolder(const Folder& parent, std::size_t index, Taken& taken);
    // The folder's read when it is in; else the walk waits for it.
    Taken take(const Folder& folder);
    bool ready(const Folder& folder) const;
    // Lets go of a taken folder's read and demands it again.
    void readAgain(const Folder& folder);
    // The walk is done with a taken folder and everything below it.
    void forget(const Folder& folder);
    // A read folder's descriptor, through which its subfolders are opened.
    // Without it none of them is read ahead, until it is given back.
    std::shared_ptr<const Descriptor> descriptor(const Folder& folder) const;
    void dropDescriptor(const Folder& folder);
    void giveDescriptor(const Folder& folder, std::shared_ptr<const Descriptor> fd);

    // The readers' side.

    // Whether a reader is stuck on the folder a node stands for.
    using Stuck = std::function<bool(const Node&)>;
    // The folder to read next, now Reading, stamped with the window's
    // `turn`; null when there is none or the window is full.
    Folder next(std::uint64_t turn, const Stuck& stuck);
    bool hasNext() const;
    // A read is done. `read` and `subfolders` (one empty slot per subfolder to
    // read ahead) become the folder's, unless it was cancelled meanwhile;
    // then they are left to the caller. True when the walk waits for it.
    bool done(const Folder& folder, std::shared_ptr<FolderRead>& read,
              std::vector<Folder>& subfolders);
    // The reader stuck on some folder is back: every parked folder may be
    // tried again, first of all.
    void unpark();
    // The folders readers are on, cancelled ones included.
    const std::vector<Node*>& inFlight() const { return reading_; }

    // The walk leaves: everything is cancelled.
    void close();

    // What was let go since the last call, swapped into `into` (empty).
    void takeSpent(Spent& into);
    // What the readers are to be told since the last call.
    Wake takeWake();

private:
    // Subfolder `index` of `parent`, not yet read.
    struct Cursor {
        Node* parent;
        std::uint32_t index;
    };
    struct DepthFirst {
        bool operator()(const Cursor& a, const Cursor& b) const;
    };

    Folder makeChild(Node& parent, std::uint32_t index);
    void demand(const Folder& folder);
    Folder dispatch(Folder folder, std::uint64_t turn);
    bool roomFor(const Cursor& c) const;
    void queueFrom(Node& n, std::uint32_t from);
    void unqueue(Node& n);
    void enterWindow(Node& n);
    void leaveWindow(Node& n);
    void release(Node& n);
    void cancel(const Folder& from);
    void spend(std::shared_ptr<const void> p);
    void wake(Wake w);
    void checkWindow() const;

    Folder top_;
    // The cursors' places come from here rather than from malloc: a place
    // made on a reader and given back on the window's thread would have the
    // two wait on each other's arena.
    std::pmr::unsynchronized_pool_resource places_;
    std::pmr::set<Cursor, DepthFirst> frontier_{&places_};
    std::pmr::set<Cursor, DepthFirst> windowed_{&places_};  // subfolders in the window
    int inWindow_ = 0;
    std::deque<Folder> demands_;
    std::vector<Folder> parked_;
    std::vector<Node*> reading_;
    const Node* awaited_ = nullptr;
    Spent spent_;
    Wake wake_ = Wake::None;
};

struct ReadPlan::Node {
    Node* parent = nullptr;  // alive while this node is not cancelled
    std::uint32_t index = 0;
    std::uint32_t depth = 0;
    Stage stage = Stage::Waiting;
    // What to read: `name` inside `parentFd`, or the path `name` for the top;
    // and which folder it is, as far as can be told without asking the file
    // system: its parent's device and inode and its name.
    std::shared_ptr<const Descriptor> parentFd;
    std::string name;
    bool listed = false;  // its parent's ".hidden" names it
    dev_t parentDev = 0;
    ino_t parentIno = 0;
    FsKind parentKind = FsKind::Plain;
    std::uint64_t turn = 0;  // the window's turn when its read began

    std::shared_ptr<const FolderRead> read;
    std::shared_ptr<const Descriptor> fd;
    std::vector<Folder> children;  // a slot per subfolder once read
    // (this, nextToQueue) is its cursor in the frontier while inFrontier.
    std::uint32_t nextToQueue = 0;
    bool inFrontier = false;
};

}  // namespace tarnwell
