#pragma once

// Folders read ahead of the walk by a small pool of reader threads, so that a
// cold disk, a network share or a FUSE driver has several requests to answer
// at once, and a listing stuck in the kernel never holds up the window.
//
// Its parts:
//
// - ReadAheadBoard: the searcher's handle on a board and its readers. The
//   searcher makes one and hands it, by shared_ptr, to each walk it starts;
//   every walk on it is served by the same readers.
// - ReadAhead: one walk's share, on the walk's thread. Each call is one
//   call of the walk's read plan under the board's lock.
// - The walk's read plan (search/readplan): which folders to read, in what
//   order, how far ahead. No threads in it.
// - The board (readahead.cpp): the plans of the walks on it, the newest
//   walk's served first, and the folders that readers of gone walks are
//   stuck on. It is the reader pool's source of jobs.
// - The reader pool (search/readerpool): threads that run the board's jobs,
//   replace stuck ones and free what the walk is done with.
//
// How a folder moves through them: the walk demands the top; a reader asks
// the board, which asks the newest plan for its next folder and hands the
// reader a job for it; the reader reads it (fs/folderread) without a
// lock and gives the read back to the plan under the board's lock, waking
// the walk if it waits for it. The plan then holds its subfolders in its
// frontier, and the readers go on with them, depth first, as far as the
// window allows; the walk takes each folder from the plan, and what it is
// done with goes to the pool to be freed.
//
// When a ReadAhead goes, everything it read is dropped; a reader still stuck
// in one of its reads finds, when it comes back, that nobody wants the
// result, drops it and never touches a later walk.
//
// Who keeps what alive: the handle is shared by its searcher and the walks
// on it, each ReadAhead holding a share, so it goes only when no walk is
// left on the board. The board, with its pool, is shared by the handle and
// the readers, each reader holding a share while it runs. When the handle
// goes, the idle readers leave; a reader stuck in the kernel keeps the board
// until the kernel lets it go, and the last reader out frees it. Nobody
// waits for a stuck reader, and there is no board but those searchers make.
//
// Locks: the board's lock covers the list of plans, each plan and its
// walk's `closed`, and the record of stuck folders. Only the window's turn
// is read without it (an atomic). The pool has a lock of its own; the board
// calls the pool while holding its lock, never the other way round.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "fs/descriptor.h"
#include "search/readplan.h"

namespace tarnwell {

class SambaShares;

// A board and its readers, for one searcher and the walks it starts.
class ReadAheadBoard {
public:
    // `shares`: what this machine's Samba server shares, learned again by
    // the reader of a walk's first folder when it is due; null where
    // nothing is to count as shared.
    explicit ReadAheadBoard(std::shared_ptr<SambaShares> shares = nullptr);
    // Lets the readers go without waiting for any: the idle ones leave now,
    // one stuck in the kernel when it comes back.
    ~ReadAheadBoard();
    ReadAheadBoard(const ReadAheadBoard&) = delete;
    ReadAheadBoard& operator=(const ReadAheadBoard&) = delete;

    // Threads the board's pool runs now, stuck ones included, and the most
    // it ever runs.
    int threadCount() const;
    static int threadLimit();

    // The board itself, which outlives the handle while a reader holds it:
    // expired once the last reader has let go.
    std::weak_ptr<const void> board() const;

    struct State;

private:
    friend class ReadAhead;
    std::shared_ptr<State> state_;
};

class ReadAhead {
public:
    struct Session;
    using Folder = ReadPlan::Folder;
    // A folder's read once it is done, else nothing; it then no longer counts
    // as read ahead. With it, in the same breath, its parent's descriptor, to
    // check it against (-1 when closed), and whether it holds a descriptor of
    // its own. The read and the descriptor stay the pool's: they are valid
    // until the walk forgets the folder, and the parent's descriptor until
    // the walk drops it.
    // `turn`: the window's turn (see noteTurn) when its read began.
    using Taken = ReadPlan::Taken;

    // Read by `readers`, which the walk holds on to while it lasts.
    // `withSubfolders`: the walk descends, so subfolders are worth reading
    // ahead. `wake` is called on a reader thread when a read the walk waits
    // for is done. With `oneFileSystem`, no folder on another device than
    // its parent is listed.
    ReadAhead(std::shared_ptr<ReadAheadBoard> readers, bool withSubfolders,
              std::function<void()> wake, bool oneFileSystem = false);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The folder the walk starts at, by its path; read at once.
    Folder top(const QByteArray& path);
    Taken take(const Folder& folder);

    // Subfolder `index` of a folder whose read is done; read at once if it
    // is not read or being read already. Taken at once, into `taken`, when
    // it is read: one lock for what the walk does with nearly every folder.
    Folder subfolder(const Folder& parent, std::size_t index, Taken& taken);

    // The window's turns so far, as the walk counts them: a read begun after
    // this call is stamped with `turn`. Called without the board's lock, so
    // the walk may tell it at every folder.
    void noteTurn(std::uint64_t turn);

    // Whether the folder's read is done.
    bool ready(const Folder& folder) const;
    // Drops the read of a folder and reads it again, first of all.
    void readAgain(const Folder& folder);
    // The walk is done with the folder's subfolders: what was read below it
    // and not taken is dropped.
    void forget(const Folder& folder);

    // A read folder's descriptor, through which its subfolders are opened;
    // null once dropped. Dropping it stops its subfolders from being read
    // ahead until it is given back.
    std::shared_ptr<const Descriptor> descriptor(const Folder& folder) const;
    void dropDescriptor(const Folder& folder);
    void giveDescriptor(const Folder& folder, Descriptor fd);

private:
    std::shared_ptr<ReadAheadBoard> readers_;
    std::shared_ptr<Session> session_;
};

}  // namespace tarnwell
