#pragma once

// A walk on a thread of its own, and the ordered stream of what it did,
// which whoever started it takes in batches: the window's scan, or a
// terminal's. Every system call the walk makes on the searched file systems
// (its readers', its freshness checks, its reopening of folders) is made off
// the consumer's thread, so a share that dies mid-search holds up the walk,
// never its consumer.
//
// Its parts:
//
// - WalkEvent and Batch: what the walk did, in order. A batch's texts (paths,
//   names) are packed into one byte buffer, and batches are given back to be
//   reused, so a find costs the walk no allocation and the consumer no free.
// - The channel (walkstream.cpp): the batches ready to take, bounded, so a
//   consumer that stops taking (a box left open) stops the walk; the spare
//   batches; the stop; the consumer's turns, which the walk's freshness rule
//   reads; and the walk's sleep while it waits for a read, for room, or for
//   an answer.
// - WalkThread: the consumer's handle. It starts the walk and, when it goes,
//   stops it. It waits a moment for the thread to end, never longer: a walk
//   stuck in the kernel on a dead share ends on its own when the kernel lets
//   it go, and everything it holds goes with it.
//
// A rendezvous: a failure and a folder whose names are too long are each
// the last event of their batch, and the walk waits for answered() before it
// goes on, so the consumer's box for it comes in the walk's order, one box
// per failure, and the walk pauses behind the box as the user does.

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "fs/fileidentity.h"

namespace tarnwell {

class DirListing;
class ReadAheadBoard;

struct WalkEvent {
    enum class Kind : std::uint8_t {
        FolderEntered,  // text: its path; only when the consumer asked for it
        Found,          // text: the file's full path
        Failed,         // text: the folder last entered; waits for an answer
        NamesTooLong    // text: the folder; its files are left out; waits for an answer
    };
    Kind kind;
    std::uint8_t reason = 0;  // Found: a HiddenReason
    int statement = 0;        // Failed: the walk's statement (kOpenStatement...)
    int error = 0;            // Failed: errno
    FileIdentity identity{};  // Found
    std::uint32_t offset = 0, length = 0;
};

struct WalkBatch {
    std::vector<WalkEvent> events;
    QByteArray bytes;

    // The event's text; a view into this batch, valid while it is held.
    QByteArrayView text(const WalkEvent& e) const {
        return QByteArrayView(bytes.constData() + e.offset, e.length);
    }
};

class WalkThread {
public:
    // Walks the tree below `top` (its subfolders too with `withSubfolders`,
    // only those on top's file system with `oneFileSystem`) on a thread of
    // its own, its folders read by `readers`, which the walk holds until it
    // ends. `wake` is called, on that thread, when a batch is ready or the
    // walk has ended while the consumer had nothing to take.
    WalkThread(std::shared_ptr<ReadAheadBoard> readers, QByteArray top, bool withSubfolders,
               std::function<void()> wake, bool oneFileSystem = false);
    // Stops the walk; what it had not handed over is dropped.
    ~WalkThread();
    WalkThread(const WalkThread&) = delete;
    WalkThread& operator=(const WalkThread&) = delete;

    // The next batch, in order, or null when none is ready. Never blocks.
    std::unique_ptr<WalkBatch> take();
    // Whether take() would give a batch, or the walk has ended.
    bool ready() const;
    // The walk has ended and everything it did has been taken.
    bool ended() const;
    // A batch the consumer is done with, for the walk to fill again.
    void giveBack(std::unique_ptr<WalkBatch> batch);
    // The last event taken waits for an answer: it is given.
    void answered();
    // The consumer's turns so far: moments in which it may have changed
    // what the walk reads (a pass of the window's event loop, a box). A
    // folder read ahead before the latest is checked on entry.
    void noteTurns(std::uint64_t turns);
    // The next folder entered comes with its path, for a progress text.
    void wantFolderPath();
    // Stops the walk at its next step; nothing more is handed over.
    void stop();

    // Threads walking now, stuck ones included.
    static int threadCount();

    struct Channel;

private:
    std::shared_ptr<Channel> channel_;
};

// Whether some file of the folder would have a full path longer than 260
// characters, which leaves the folder's files out. A listing that failed
// counts as too long: its failure is reported on its own.
bool someNameTooLong(const QByteArray& folderPath, const DirListing& listing);

// The characters of a path as the user sees it.
int charactersOf(QByteArrayView bytes);

}  // namespace tarnwell
