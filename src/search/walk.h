#pragma once

// The walk over one folder tree: depth first, pre-order, a folder's own files
// before anything below it, each subfolder finished before the next. Folders
// come from a pool of readers that read them ahead (search/readahead); the
// walk itself runs on a thread of its own (search/walkstream) and says what
// it meets through WalkEvents.

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <memory>

#include "fs/fileidentity.h"

namespace tarnwell {

class DirListing;
class ReadAheadBoard;

// Statements of the walk a failure is reported at.
inline constexpr int kOpenStatement = 20;
inline constexpr int kListStatement = 50;

class WalkEvents {
public:
    virtual ~WalkEvents() = default;

    // A folder is entered. `walkPath` is the walk's own path, to be read
    // only until beforePathShortens() is called with a shorter length.
    virtual void folderEntered(const QByteArray& walkPath) = 0;
    virtual void beforePathShortens(qsizetype newLength) = 0;
    // A failure at statement `statement`, with its errno.
    virtual void failed(int statement, int error) = 0;
    // Whether the folder's own files may be looked at; false when some
    // full path would be too long, which this tells the user.
    virtual bool filesFit(const QByteArray& folderPath, const DirListing& listing) = 0;
    virtual void fileFound(const QByteArray& path, std::uint8_t reason,
                           const FileIdentity& identity) = 0;
    virtual bool stopRequested() const = 0;
    // How many turns the consumer has had so far: passes of the window's
    // event loop and boxes, in which anything may have changed. A folder
    // read ahead since the last turn is as fresh as if it were read on entry.
    virtual std::uint64_t turns() const = 0;
    // Sleeps until `ready` holds or a stop comes. The function waker() gives
    // may be called from any thread to get it to look again.
    virtual void waitUntil(const std::function<bool()>& ready) = 0;
    virtual std::function<void()> waker() = 0;
};

// Walks the tree below `top`, and the folders below it with
// `includeSubfolders`, only those on top's file system with
// `oneFileSystem`, its folders read by `readers`. Returns when it is done or
// as soon as it sees a stop request.
void walkFolderTree(WalkEvents& events, std::shared_ptr<ReadAheadBoard> readers,
                    const QByteArray& top, bool includeSubfolders, bool oneFileSystem = false);

}  // namespace tarnwell
