#include "desktop/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "fs/files.h"

namespace tarnwell {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr qsizetype kInfoSuffix = sizeof ".trashinfo" - 1;

// lstat (stat with `flags` 0) that also tells the mount the file is on.
bool look(const char* path, int flags, struct stat& st, std::pair<dev_t, std::uint64_t>& mount) {
    struct statx sx;
    if (::statx(AT_FDCWD, path, flags, STATX_TYPE | STATX_INO | STATX_MNT_ID, &sx) != 0)
        return false;
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_ino = sx.stx_ino;
    st.st_mode = sx.stx_mode;
    // Kernels before 5.8 do not say: the device then stands for the mount.
    mount = {st.st_dev, (sx.stx_mask & STATX_MNT_ID) ? sx.stx_mnt_id : 0};
    return true;
}

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// The folder `path` is in, with every link on the way resolved; empty, with
// errno set, when that cannot be had.
QByteArray realParentOf(const QByteArray& path) {
    char real[PATH_MAX];
    return ::realpath(parentOf(path).constData(), real) ? QByteArray(real) : QByteArray();
}

// 0 when the folder is there now, made or not.
int makeFolder(int at, const char* name) {
    return ::mkdirat(at, name, 0700) == 0 || errno == EEXIST ? 0 : errno;
}

int openParts(int trash, Descriptor& info, Descriptor& files) {
    int error = makeFolder(trash, "info");
    if (error || (error = makeFolder(trash, "files")))
        return error;
    info.reset(::openat(trash, "info", kFolderFlags));
    if (!info)
        return errno;
    files.reset(::openat(trash, "files", kFolderFlags));
    return files ? 0 : errno;
}

// A trash folder of this user's own in the folder open on `at`, made if
// missing. A link or a folder of someone else's is refused: whoever planted
// it could read or replace what is trashed there.
int openOwnTrash(int at, const QByteArray& name, Descriptor& info, Descriptor& files) {
    if (const int error = makeFolder(at, name.constData()))
        return error;
    const Descriptor trash(::openat(at, name.constData(), kFolderFlags));
    struct stat st;
    if (!trash || ::fstat(trash.get(), &st) != 0)
        return errno;
    if (st.st_uid != ::geteuid())
        return EPERM;
    return openParts(trash.get(), info, files);
}

// The n-th name for `base` in a trash: base, base.2, base.3, ... A name near
// the length limit leaves no room for ".trashinfo" and is shortened, at the
// start of a character where the name is UTF-8.
QByteArray nameInTrash(const QByteArray& base, int n) {
    const QByteArray number = n > 1 ? '.' + QByteArray::number(n) : QByteArray();
    qsizetype keep = std::min<qsizetype>(base.size(), NAME_MAX - kInfoSuffix - number.size());
    while (keep < base.size() && keep > 0 && (uchar(base[keep]) & 0xC0) == 0x80) --keep;
    return base.left(keep) + number;
}

QByteArray localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32];
    ::localtime_r(&now, &local);
    return QByteArray(text,
                      qsizetype(std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local)));
}

// Never over a file already in files/: one without a .trashinfo (left by a
// crash, or put there by hand) would be lost.
bool renameInto(const QByteArray& path, int files, const QByteArray& name) {
    if (::renameat2(AT_FDCWD, path.constData(), files, name.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL)
        return false;
    // A file system that cannot promise it (NFS among them): look first.
    struct stat st;
    if (::fstatat(files, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(AT_FDCWD, path.constData(), files, name.constData()) == 0;
}

}  // namespace

TrashCan::TrashCan() {
    // A relative XDG_DATA_HOME is not to be used; without HOME either, no
    // file has a home trash.
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (!data.startsWith('/'))
        data = qgetenv("HOME") + "/.local/share";
    if (data.startsWith('/'))
        homeTrash_ = data + "/Trash";
}

void TrashCan::openHomeTrash() {
    // Made as needed, with the folders on the way; the first that cannot be
    // made is the reason, not the ones missing after it.
    int error = homeTrash_.isEmpty() ? ENOENT : 0;
    for (qsizetype slash = 0; !error && slash >= 0;) {
        slash = homeTrash_.indexOf('/', slash + 1);
        error = makeFolder(AT_FDCWD,
                           homeTrash_.left(slash < 0 ? homeTrash_.size() : slash).constData());
    }
    // The trash may be a link to another disk. One that cannot be had is
    // still the one for the files on its nearest folder's mount: they fail
    // with its error rather than go to another trash.
    struct stat st;
    Mount mount{};
    for (QByteArray at = homeTrash_; !look(at.constData(), 0, st, mount) && at.size() > 1;)
        at = parentOf(at);
    homeMount_ = mount;
    Bin& bin = bins_[mount];
    const Descriptor trash(::open(homeTrash_.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    bin.error = error ? error : trash ? openParts(trash.get(), bin.info, bin.files) : errno;
}

int TrashCan::openTopdirTrash(Bin& bin) {
    const Descriptor top(::open(bin.topdir.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!top)
        return errno;
    const QByteArray uid = QByteArray::number(::geteuid());
    // A .Trash the administrator made is shared by every user, so it is only
    // taken when it is a real folder with the sticky bit, where no user can
    // take away another's folder.
    const Descriptor shared(
        ::openat(top.get(), ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (shared && ::fstat(shared.get(), &st) == 0 && (st.st_mode & S_ISVTX) &&
        openOwnTrash(shared.get(), uid, bin.info, bin.files) == 0)
        return 0;
    return openOwnTrash(top.get(), ".Trash-" + uid, bin.info, bin.files);
}

int TrashCan::moveToTrash(const QByteArray& path, const FileIdentity& expected) {
    const qsizetype slash = path.lastIndexOf('/');
    if (!path.startsWith('/') || slash == path.size() - 1)
        return EINVAL;
    struct stat st {};
    Mount mount;
    if (!look(path.constData(), AT_SYMLINK_NOFOLLOW, st, mount))
        return errno;
    if (!isSameFile(st, expected))
        return kChangedSinceFound;
    if (!homeMount_)
        openHomeTrash();
    QByteArray real;  // the folder it is in, when it had to be looked up
    auto found = bins_.find(mount);
    if (found == bins_.end()) {
        Mount at;
        if ((real = realParentOf(path)).isEmpty() ||
            !look(real.constData(), AT_SYMLINK_NOFOLLOW, st, at))
            return errno;
        // A mount point cannot be renamed off its own mount. Not remembered
        // for the mount: the files inside it can go to its trash.
        if (at != mount)
            return EXDEV;
        QByteArray top = real;
        while (top.size() > 1) {
            const QByteArray up = parentOf(top);
            if (!look(up.constData(), AT_SYMLINK_NOFOLLOW, st, at) || at != mount)
                break;
            top = up;
        }
        found = bins_.try_emplace(mount).first;
        found->second.topdir = top.endsWith('/') ? top : top + '/';
        found->second.error = openTopdirTrash(found->second);
    }
    Bin& bin = found->second;
    if (bin.error)
        return bin.error;
    QByteArray where = path;
    if (!where.startsWith(bin.topdir)) {
        // Reached through a link that leads onto the mount: its place there
        // is what can be restored.
        if (real.isEmpty() && (real = realParentOf(path)).isEmpty())
            return errno;
        where = (real.endsWith('/') ? real : real + '/') + path.mid(slash + 1);
        if (!where.startsWith(bin.topdir))
            return EXDEV;
    }
    return trashFile(bin, path, where.mid(bin.topdir.size()));
}

int TrashCan::trashFile(Bin& bin, const QByteArray& path, const QByteArray& where) {
    const QByteArray base = path.mid(path.lastIndexOf('/') + 1);
    const QByteArray info = "[Trash Info]\nPath=" + where.toPercentEncoding("/") +
                            "\nDeletionDate=" + localTimeNow() + '\n';
    // The .trashinfo, made only if new, claims the name, also against another
    // program trashing at the same time. Numbers found taken are not tried
    // again: a thousand files of one name must not cost a million tries.
    int& n = bin.nextNumber[base];
    for (n = std::max(n, 1);; ++n) {
        const QByteArray name = nameInTrash(base, n);
        const QByteArray infoName = name + ".trashinfo";
        Descriptor fd(::openat(bin.info.get(), infoName.constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd && errno == EEXIST)
            continue;
        if (!fd)
            return errno;
        int error = writeAll(fd.get(), info);
        fd.reset();
        if (!error && renameInto(path, bin.files.get(), name)) {
            ++n;
            return 0;
        }
        error = error ? error : errno;
        ::unlinkat(bin.info.get(), infoName.constData(), 0);
        if (error != EEXIST)
            return error;
    }
}

}  // namespace tarnwell
