#include "fs/mountkind.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace tarnwell {

namespace {

// Magic numbers that <linux/magic.h> does not carry on every system.
constexpr unsigned long kNtfsOldMagic = 0x5346544e;
constexpr unsigned long kNtfs3Magic = 0x7366746e;
constexpr unsigned long kConfigfsMagic = 0x62656570;
constexpr unsigned long kFusectlMagic = 0x65735543;
constexpr unsigned long kMqueueMagic = 0x19800202;
constexpr unsigned long kRpcPipefsMagic = 0x67596969;

bool isProcLike(unsigned long magic) {
    switch (magic) {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case CGROUP_SUPER_MAGIC:
        case CGROUP2_SUPER_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case SECURITYFS_MAGIC:
        case SELINUX_MAGIC:
        case SMACK_MAGIC:
        case BPF_FS_MAGIC:
        case PSTOREFS_MAGIC:
        case EFIVARFS_MAGIC:
        case HUGETLBFS_MAGIC:
        case DEVPTS_SUPER_MAGIC:
        case BINFMTFS_MAGIC:
        case NSFS_MAGIC:
        case kConfigfsMagic:
        case kFusectlMagic:
        case kMqueueMagic:
        case kRpcPipefsMagic:
            return true;
        default:
            return false;
    }
}

// The mounts whose magic number is another's: devtmpfs reports tmpfs's, and
// the desktop's gvfs FUSE mount that of every FUSE file system (ntfs-3g
// among them). Only the mount table tells them apart.
enum class MountType : std::uint8_t { Other, Devtmpfs, Gvfs };

// Linux 6.8's mount id that no later mount is given again; older headers lack
// its name.
constexpr unsigned kStatxMountIdUnique = 0x4000;

// The kind of the mount the table lists under `id`. The caller holds a
// descriptor on that mount, so no other mount can have the id meanwhile.
MountType mountTypeInTable(std::uint64_t id) {
    FILE* table = std::fopen("/proc/self/mountinfo", "re");
    if (!table)
        return MountType::Other;
    MountType type = MountType::Other;
    char* line = nullptr;
    size_t capacity = 0;
    while (::getline(&line, &capacity, table) > 0) {
        // "id parent major:minor root mountpoint options [optional...] - fstype ..."
        const char* dash = std::strstr(line, " - ");
        if (!dash || std::strtoull(line, nullptr, 10) != id)
            continue;
        type = std::strncmp(dash + 3, "devtmpfs ", 9) == 0           ? MountType::Devtmpfs
               : std::strncmp(dash + 3, "fuse.gvfsd-fuse ", 16) == 0 ? MountType::Gvfs
                                                                     : MountType::Other;
        break;
    }
    std::free(line);
    std::fclose(table);
    return type;
}

// The table's ids are given out again as soon as a mount goes, so the id of
// an unplugged stick is soon a share's: a kind is remembered only by the
// unique id, which never comes back. A kernel without one reads the table
// whenever it is asked: where a search enters a tmpfs or FUSE mount, and for
// each file there that an action (Unhide) or a one-path question looks at.
MountType mountTypeOf(int folderFd) {
    constexpr int kFlags = AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW;
    struct statx sx;
    std::optional<std::uint64_t> unique;
    if (::statx(folderFd, "", kFlags, kStatxMountIdUnique, &sx) == 0 &&
        (sx.stx_mask & kStatxMountIdUnique))
        unique = sx.stx_mnt_id;
    // Never destroyed: a reader may still ask while the program ends.
    static auto* lock = new std::mutex;
    static auto* known = new std::unordered_map<std::uint64_t, MountType>;
    if (unique) {
        std::lock_guard guard(*lock);
        if (auto it = known->find(*unique); it != known->end())
            return it->second;
    }
    if (::statx(folderFd, "", kFlags, STATX_MNT_ID, &sx) != 0 || !(sx.stx_mask & STATX_MNT_ID))
        return MountType::Other;
    const MountType type = mountTypeInTable(sx.stx_mnt_id);
    if (unique) {
        std::lock_guard guard(*lock);
        known->emplace(*unique, type);
    }
    return type;
}

}  // namespace

FsKind fsKindOf(int folderFd) {
    struct statfs fs;
    if (::fstatfs(folderFd, &fs) != 0)
        return FsKind::Plain;
    const auto magic = static_cast<unsigned long>(fs.f_type) & 0xffffffffUL;
    if (isProcLike(magic))
        return FsKind::Pseudo;
    switch (magic) {
        case kNtfsOldMagic:
        case kNtfs3Magic:
            return FsKind::Ntfs;
        case FUSE_SUPER_MAGIC:
            return mountTypeOf(folderFd) == MountType::Gvfs ? FsKind::Gvfs : FsKind::Fuse;
        case MSDOS_SUPER_MAGIC:
        case EXFAT_SUPER_MAGIC:
            return FsKind::Fat;
        case CIFS_SUPER_MAGIC:
        case SMB2_SUPER_MAGIC:
            return FsKind::Cifs;
        case TMPFS_MAGIC:
            return mountTypeOf(folderFd) == MountType::Devtmpfs ? FsKind::Pseudo : FsKind::Plain;
        default:
            return FsKind::Plain;
    }
}

bool isMountRoot(int folderFd) {
    struct statx sx;
    if (::statx(folderFd, "", AT_EMPTY_PATH, STATX_INO, &sx) == 0 &&
        (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT))
        return sx.stx_attributes & STATX_ATTR_MOUNT_ROOT;
    // Older kernels: a mount point lies on another device than its parent,
    // and "/" is its own parent.
    struct stat self, parent;
    if (::fstat(folderFd, &self) != 0 || ::fstatat(folderFd, "..", &parent, 0) != 0)
        return false;
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

}  // namespace tarnwell
