#pragma once
// What a result was when the search found it, so that an action taken on it
// later can tell whether the path still names that file: a file removed and
// another made under its name must be reported, never acted on.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>

namespace tarnwell {

struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    std::uint8_t type = 0;  // a DT_ value as the listing gave it; DT_UNKNOWN matches any kind
};

// An action's outcome for one file: 0, an errno, or this, for a path that no
// longer names the file the search found.
inline constexpr int kChangedSinceFound = -1;

// Whether `st` (from lstat) is the file `id` describes.
bool isSameFile(const struct stat& st, const FileIdentity& id);

// The identity of the file at `path`, not following a final link; nothing
// set (ino 0) when it cannot be looked at.
FileIdentity identityOf(const char* path);

}  // namespace tarnwell
