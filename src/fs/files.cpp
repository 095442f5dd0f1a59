#include "fs/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "fs/descriptor.h"

namespace tarnwell {

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

bool writableOnlyInPlace(const QString& path) {
    // A link is written through to its target, so the target's folder is the
    // one that matters.
    char resolved[PATH_MAX];
    if (path.isEmpty() || !::realpath(QFile::encodeName(path).constData(), resolved))
        return false;
    struct stat st;
    if (::stat(resolved, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const QByteArray file(resolved);
    const QByteArray folder = file.left(std::max<qsizetype>(1, file.lastIndexOf('/')));
    // As the effective user, who is the one that opens the files. A read-only
    // file system (EROFS) refuses the file as well, so only EACCES counts.
    return ::faccessat(AT_FDCWD, folder.constData(), W_OK, AT_EACCESS) != 0 && errno == EACCES &&
           ::faccessat(AT_FDCWD, file.constData(), W_OK, AT_EACCESS) == 0;
}

void takeOwnerAndMode(int fd, const QString& like) {
    struct stat st;
    if (::stat(QFile::encodeName(like).constData(), &st) == 0)
        takeOwnerAndMode(fd, st);
}

void takeOwnerAndMode(int fd, const struct stat& st) {
    // The owner first: changing it clears the set-ID bits, which the mode
    // then puts back where the user may.
    if (::fchown(fd, st.st_uid, st.st_gid) != 0 && ::fchown(fd, uid_t(-1), st.st_gid) != 0) {
        // Neither is this user's to give: the new file stays theirs.
    }
    ::fchmod(fd, st.st_mode & 07777);
}

int writeAll(int fd, QByteArrayView bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += qsizetype(n);
        else if (n == 0 || errno != EINTR)
            return n == 0 ? EIO : errno;
    }
    return 0;
}

QByteArray readSmallFile(int folderFd, const char* name, std::size_t limit, bool followLink) {
    const int noLink = followLink ? 0 : O_NOFOLLOW;
    const Descriptor fd(
        ::openat(folderFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | noLink));
    struct stat st;
    QByteArray content;
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return content;
    char buffer[65536];
    ssize_t n;
    while (std::size_t(content.size()) < limit && (n = ::read(fd.get(), buffer, sizeof buffer)) > 0)
        content.append(buffer, n);
    return content;
}

}  // namespace tarnwell
