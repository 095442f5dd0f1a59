#include "search/deepopen.h"

#include <fcntl.h>
#include <cerrno>
#include <climits>

namespace tarnwell {

Descriptor DeepOpen::open(const QByteArray& path, qsizetype length, int base,
                          qsizetype baseLength) {
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (length < PATH_MAX)
        return Descriptor(::open(path.left(length).constData(), kFlags));
    qsizetype start = base >= 0 ? baseLength : 0;
    if (base >= 0 && path[start] == '/')
        ++start;
    Descriptor at;  // the piece opened last; `base` until the first
    while (start < length) {
        qsizetype end = length;
        if (end - start >= PATH_MAX)
            end = path.lastIndexOf('/', start + PATH_MAX - 1);
        if (end <= start) {
            errno = ENAMETOOLONG;
            return Descriptor();
        }
        const int from = at ? at.get() : (base >= 0 ? base : AT_FDCWD);
        Descriptor next(::openat(from, path.mid(start, end - start).constData(), kFlags));
        if (!next)
            return Descriptor();
        at = std::move(next);
        start = end + 1;
    }
    return at;
}

}  // namespace tarnwell
