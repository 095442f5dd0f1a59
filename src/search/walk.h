#pragma once

// The walk over one folder tree: depth first, pre-order, a folder's own files
// before anything below it, each subfolder finished before the next. Folders
// come from a pool of readers that read them ahead (search/readahead); the
// walk itself runs on the window's thread and says what it meets through
// WalkEvents, which turns it into what the user sees.

#include <QByteArray>
#include <cstdint>
#include <functional>

#include "platform/fileidentity.h"

namespace tarnwell {

class DirListing;

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
    // Before each file is looked at: the window's turn.
    virtual void beforeFile() = 0;
    virtual void fileFound(const QByteArray& path, std::uint8_t reason,
                           const FileIdentity& identity) = 0;
    virtual bool stopRequested() const = 0;
    // How many turns the window has had so far: passes of the event loop
    // and boxes, in which anything may have changed. A folder read ahead
    // since the last turn is as fresh as if it were read on entry.
    virtual std::uint64_t turns() const = 0;
    // Lets the window work until `ready` holds. The function wake() gives
    // may be called from any thread to get it to look again.
    virtual void waitUntil(const std::function<bool()>& ready) = 0;
    virtual std::function<void()> waker() = 0;
};

// Walks the tree below `top`, descending while includeSubfolders is nonzero.
// Returns when it is done or as soon as it sees a stop request.
void walkFolderTree(WalkEvents& events, const QByteArray& top,
                    const std::int16_t& includeSubfolders);

}  // namespace tarnwell
