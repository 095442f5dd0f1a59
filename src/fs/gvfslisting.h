#pragma once

// The DOS Hidden and System bits of the files in one folder of a Windows
// share that the desktop mounted (GIO's gvfs, seen through its FUSE mount,
// where neither the mode nor an extended attribute carries them). GIO is
// asked once for the folder's children, on the calling thread: a share can
// hang like any mount, so this belongs on a reader thread, never the
// window's. GIO does not report Hidden on folders; only files are tagged.

#include <cstdint>
#include <string>
#include <unordered_map>

namespace tarnwell {

struct GvfsFolderWords {
    int error = 0;  // an errno where GIO could not list the folder
    // Hidden and System, as DOS numbers them, of each name GIO returned. A
    // folder that is not on an SMB share (the mount's own root, another
    // kind of location) has none and no error.
    std::unordered_map<std::string, std::uint32_t> words;
};
GvfsFolderWords dosWordsOfGvfsFolder(int folderFd);

}  // namespace tarnwell
