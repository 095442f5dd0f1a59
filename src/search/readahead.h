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
    // Subfolder `index` of a folder whose read is done; read at once if it
    // is not read or being read already.
    Folder subfolder(const Folder& parent, std::size_t index);

    // Whether the folder's read is done.
    bool ready(const Folder& folder) const;
    // A folder's read once it is done, else nothing; it then no longer counts
    // as read ahead. With it, in the same breath, its parent's descriptor, to
    // check it against, and whether it holds a descriptor of its own.
    struct Taken {
        std::shared_ptr<const FolderRead> read;
        std::shared_ptr<const Descriptor> parentFd;
        bool open = false;
    };
    Taken take(const Folder& folder);
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
    std::shared_ptr<Session> session_;
};

}  // namespace tarnwell
