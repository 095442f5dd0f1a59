#pragma once

// One folder read in full, as a reader thread fetches it ahead of the walk:
// opened, its identity noted, classified, listed, and the reason each of its
// files is hidden worked out (dot name, its ".hidden" list, DOS attributes).
// Nothing here touches the window, so it may run on any thread.

#include <sys/types.h>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "fs/attributes.h"
#include "fs/descriptor.h"
#include "fs/dirlisting.h"

namespace tarnwell {

class SambaShares;

struct FolderRead {
    // Shared: the folders below are opened through it, and a reader may
    // still be using it after the walk has moved on.
    std::shared_ptr<const Descriptor> fd;
    int openError = 0;  // it could not be opened at all; nothing below is set
    int listError = 0;  // it could be looked at, but its names not read
    // Its identity and last change when it was opened, and the time it was
    // opened, to tell at entry whether it is still the folder that was read.
    dev_t dev = 0;
    ino_t ino = 0;
    FsKind kind = FsKind::Plain;  // of the file system it lies on
    timespec changed{};
    timespec readAt{};
    // Not the system's own folder (Hidden + System + Directory, not a root),
    // nor a pseudo file system: it is listed and descended into.
    bool searched = false;
    DirListing listing;                         // set when searched
    std::vector<std::uint8_t> fileTags;         // a HiddenReason per file, 0 when visible
    std::vector<std::uint8_t> subfolderListed;  // per subfolder: named in ".hidden"
};

// Reads the folder `name` inside the open folder `parentFd`, never through a
// link; or, with parentFd AT_FDCWD, the folder at the path `name`, links
// followed as the user gave it. `listedHidden`: its parent's ".hidden" names
// it. `parent`, when known, is the parent's device and its file system's
// kind: a folder on the same device lies on the same file system, which then
// need not be asked. With `parentsDeviceOnly`, a folder on another device
// than its parent (a mount point) is opened but neither listed nor searched.
// `shares`: what this machine's Samba server shares, learned again at a
// search's first folder when due; null where nothing is to count as shared.
// Never throws; failures are in openError and listError.
struct FileSystemOf {
    dev_t dev;
    FsKind kind;
};
FolderRead readFolder(int parentFd, const char* name, bool listedHidden,
                      std::optional<FileSystemOf> parent = std::nullopt,
                      bool parentsDeviceOnly = false, SambaShares* shares = nullptr);

// Whether `name` inside `parentFd` is still the folder `read` was made from,
// unchanged since: same device and inode, no change to it since it was read.
// A change too close to the read to be told apart by the file system's clock
// counts as a change. Sets errno when the name cannot be looked up.
bool stillAsRead(const FolderRead& read, int parentFd, const char* name);

}  // namespace tarnwell
