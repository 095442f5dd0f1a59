#pragma once

// Folders read ahead of the walk by a small pool of reader threads, so that a
// cold disk, a network share or a FUSE driver has several requests to answer
// at once, and a listing stuck in the kernel never holds up the window.
//
// The walk takes folders depth first, one at a time, on the window's thread.
// The readers read in that same order as far ahead as a bounded window
// allows: once a folder is read its subfolders are queued, each in its place
// in depth-first order, and the readers always take the earliest. The folder
// the walk waits for is read before anything else, window or not.
//
// A ReadAhead is one walk's share of the pool. When it goes, everything it
// read is dropped; a reader still stuck in one of its reads finds, when it
// comes back, that nobody wants the result, drops it and never touches a
// later walk. The pool replaces stuck readers up to a fixed number of
// threads, so searching a dead mount again and again cannot pile them up.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/descriptor.h"
#include "platform/folderread.h"

namespace tarnwell {

class ReadAhead {
public:
    struct Node;
    struct Session;
    using Folder = std::shared_ptr<Node>;

    // `withSubfolders`: the walk descends, so subfolders are worth reading
    // ahead. `wake` is called on a reader thread when a read the walk waits
    // for is done.
    ReadAhead(bool withSubfolders, std::function<void()> wake);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The folder the walk starts at, by its path; read at once.
    Folder top(const QByteArray& path);
    // A folder's read once it is done, else nothing; it then no longer counts
    // as read ahead. With it, in the same breath, its parent's descriptor, to
    // check it against (-1 when closed), and whether it holds a descriptor of
    // its own. The read and the descriptor stay the pool's: they are valid
    // until the walk forgets the folder, and the parent's descriptor until
    // the walk drops it.
    // `turn`: the window's turn (see noteTurn) when its read began.
    struct Taken {
        const FolderRead* read = nullptr;
        int parentFd = -1;
        bool open = false;
        std::uint64_t turn = 0;
    };
    Taken take(const Folder& folder);

    // Subfolder `index` of a folder whose read is done; read at once if it
    // is not read or being read already. Taken at once, into `taken`, when
    // it is read: one lock for what the walk does with nearly every folder.
    Folder subfolder(const Folder& parent, std::size_t index, Taken& taken);

    // The window's turns so far, as the walk counts them: a read begun after
    // this call is stamped with `turn`. Called without the pool's lock, so
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

    // Threads the pool runs now, stuck ones included, and the most it ever
    // runs.
    static int threadCount();
    static int threadLimit();

private:
    Taken takeLocked(const Folder& folder);

    std::shared_ptr<Session> session_;
};

}  // namespace tarnwell
