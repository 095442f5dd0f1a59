#pragma once

#include <QByteArray>

#include "fs/descriptor.h"

namespace tarnwell {

// Opens one of the walk's folders again by its path, which may run far past
// PATH_MAX: then in pieces, each within the limit, from the nearest folder
// above it that is still open. The path's links are followed only where the
// user's own path has them; the caller checks it found the same folder.
class DeepOpen {
public:
    // `path`: the walk's path, of which the first `length` bytes name the
    // folder. `base`: the nearest open folder above it, whose path is the
    // first `baseLength` bytes, or -1 when none is open. Sets errno on failure.
    static Descriptor open(const QByteArray& path, qsizetype length, int base,
                           qsizetype baseLength);
};

}  // namespace tarnwell
