#include "fs/attributes.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <span>
#include <unordered_map>

#include "fs/descriptor.h"
#include "fs/gvfslisting.h"
#include "fs/sambablob.h"
#include "fs/sambashares.h"

namespace tarnwell {

namespace {

// Magic numbers that <linux/magic.h> does not carry on every system.
constexpr unsigned long kNtfsOldMagic = 0x5346544e;
constexpr unsigned long kNtfs3Magic = 0x7366746e;
constexpr unsigned long kConfigfsMagic = 0x62656570;
constexpr unsigned long kFusectlMagic = 0x65735543;
constexpr unsigned long kMqueueMagic = 0x19800202;
constexpr unsigned long kRpcPipefsMagic = 0x67596969;

std::uint32_t loadBigEndian32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 |
           std::uint32_t(b[3]);
}

// Each line of a .hidden list: the name it gives (without its CR and LF), and
// the whole line with its end.
template <typename Visit>
void forEachHiddenLine(QByteArrayView content, Visit&& visit) {
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        const qsizetype next = end < 0 ? content.size() : end + 1;
        if (end < 0)
            end = content.size();
        qsizetype stop = end;
        if (stop > start && content[stop - 1] == '\r')
            --stop;
        visit(std::string_view(content.data() + start, size_t(stop - start)),
              content.sliced(start, next - start));
        start = next;
    }
}

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

std::string procPath(int folderFd, const char* name) {
    return descriptorPath(folderFd, name);
}

// The extended attributes that carry a DOS word, each read and written by the
// functions beside it.
struct XattrForm {
    DosForm form;
    const char* name;
    std::optional<std::uint32_t> (*decode)(QByteArrayView);
    QByteArray (*encode)(std::uint32_t);
};
std::optional<std::uint32_t> decodeSambaWord(QByteArrayView raw) {
    const auto read = decodeSambaDosAttrib(raw);
    if (!read)
        return std::nullopt;
    return read->word;
}

// Samba's value is rewritten in place from the one read (encode is unused).
constexpr XattrForm kXattrForms[] = {
    {DosForm::NtfsAttribBe, "system.ntfs_attrib_be", decodeNtfsAttribBe, encodeNtfsAttribBe},
    {DosForm::DosAttribByte, "system.dos_attrib", decodeDosAttribByte, encodeDosAttribByte},
    {DosForm::CifsDosAttrib, "user.cifs.dosattrib", decodeCifsDosAttrib, encodeCifsDosAttrib},
    {DosForm::Smb3DosAttrib, "user.smb3.dosattrib", decodeCifsDosAttrib, encodeCifsDosAttrib},
    {DosForm::SambaDosAttrib, "user.DOSATTRIB", decodeSambaWord, nullptr},
};

// The attributes each kind of file system may keep the word in, in the order
// they are asked.
std::span<const XattrForm> xattrFormsOf(FsKind kind) {
    switch (kind) {
        case FsKind::Ntfs:
            return std::span(kXattrForms).subspan(0, 2);
        case FsKind::Fuse:
            return std::span(kXattrForms).subspan(0, 1);
        case FsKind::Cifs:
            return std::span(kXattrForms).subspan(2, 2);
        case FsKind::SambaDisk:
            return std::span(kXattrForms).subspan(4, 1);
        default:
            return {};
    }
}

// Large enough for every value Samba writes; a longer one (an old version
// with a long name) is read at its own size.
constexpr size_t kXattrBuffer = 256;
constexpr size_t kXattrLimit = 64 * 1024;

std::optional<DosWord> xattrWord(FsKind kind, const char* path, bool follow) {
    const auto get = [&](const char* name, char* to, size_t size) {
        return follow ? ::getxattr(path, name, to, size) : ::lgetxattr(path, name, to, size);
    };
    errno = EOPNOTSUPP;
    for (const XattrForm& form : xattrFormsOf(kind)) {
        char buffer[kXattrBuffer];
        QByteArray large;
        ssize_t n = get(form.name, buffer, sizeof buffer);
        if (n < 0 && errno == ERANGE && form.form == DosForm::SambaDosAttrib) {
            n = get(form.name, nullptr, 0);
            if (n > 0 && size_t(n) <= kXattrLimit) {
                large.resize(n);
                n = get(form.name, large.data(), size_t(n));
            }
        }
        if (n < 0)
            continue;
        const QByteArrayView raw =
            large.isEmpty() ? QByteArrayView(buffer, n) : QByteArrayView(large.constData(), n);
        if (const auto word = form.decode(raw))
            return DosWord{*word, form.form,
                           form.form == DosForm::SambaDosAttrib ? raw.toByteArray() : QByteArray()};
        errno = EINVAL;
    }
    return std::nullopt;
}

std::optional<DosWord> fatWord(int fd) {
    __u32 word = 0;
    if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &word) != 0)
        return std::nullopt;  // ENOTTY on an exFAT driver that predates the call
    return DosWord{std::uint32_t(word), DosForm::FatIoctl, {}};
}

std::optional<std::uint32_t> wordOnly(std::optional<DosWord> read) {
    if (!read)
        return std::nullopt;
    return read->word;
}

}  // namespace

std::optional<std::uint32_t> decodeNtfsAttribBe(QByteArrayView raw) {
    if (raw.size() != 4)
        return std::nullopt;
    return loadBigEndian32(raw.data());
}

QByteArray encodeNtfsAttribBe(std::uint32_t word) {
    const char raw[4] = {char(word >> 24), char(word >> 16), char(word >> 8), char(word)};
    return QByteArray(raw, 4);
}

std::optional<std::uint32_t> decodeDosAttribByte(QByteArrayView raw) {
    if (raw.size() != 1)
        return std::nullopt;
    return std::uint32_t(static_cast<unsigned char>(raw[0]));
}

QByteArray encodeDosAttribByte(std::uint32_t word) {
    return QByteArray(1, char(word));
}

std::optional<std::uint32_t> decodeCifsDosAttrib(QByteArrayView raw) {
    if (raw.size() != 4)
        return std::nullopt;
    std::uint32_t word;
    std::memcpy(&word, raw.data(), 4);
    return word;
}

QByteArray encodeCifsDosAttrib(std::uint32_t word) {
    if (word == 0)
        word = kAttrNormal;
    return QByteArray(reinterpret_cast<const char*>(&word), 4);
}

HiddenList parseHiddenList(QByteArrayView content) {
    HiddenList names;
    forEachHiddenLine(content, [&](std::string_view name, QByteArrayView) {
        if (!name.empty())
            names.emplace(name);
    });
    return names;
}

QByteArray withoutHiddenLines(QByteArrayView content,
                              const std::function<bool(std::string_view name)>& drop) {
    QByteArray kept;
    kept.reserve(content.size());
    forEachHiddenLine(content, [&](std::string_view name, QByteArrayView line) {
        if (name.empty() || !drop(name))
            kept.append(line);
    });
    return kept;
}

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

FsKind fsKindOfFolder(int folderFd) {
    const FsKind kind = fsKindOf(folderFd);
    struct stat st;
    if (kind != FsKind::Plain || ::fstat(folderFd, &st) != 0)
        return kind;
    return sambaServes(folderFd, st.st_dev, st.st_ino, std::nullopt) ? FsKind::SambaDisk : kind;
}

std::uint8_t dosSourceOf(FsKind kind) {
    return kind == FsKind::Gvfs        ? HiddenReason::DosFromShare
           : kind == FsKind::SambaDisk ? HiddenReason::DosFromServer
                                       : 0;
}

std::optional<std::uint32_t> dosAttributesOfFolder(FsKind kind, int folderFd) {
    return wordOnly(dosWordOfOpenFile(kind, folderFd));
}

std::optional<std::uint32_t> dosAttributesOf(FsKind kind, int folderFd, const char* name) {
    if (kind == FsKind::Fat) {
        const int fd =
            ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return std::nullopt;
        auto read = fatWord(fd);
        ::close(fd);
        return wordOnly(read);
    }
    if (kind == FsKind::Gvfs) {
        // One file's word: the folder's whole answer is the one GIO gives.
        const GvfsFolderWords words = dosWordsOfGvfsFolder(folderFd);
        const auto it = words.words.find(name);
        if (it == words.words.end())
            return std::nullopt;
        return it->second;
    }
    if (kind == FsKind::Plain || kind == FsKind::Pseudo)
        return std::nullopt;
    return wordOnly(xattrWord(kind, procPath(folderFd, name).c_str(), false));
}

std::optional<DosWord> dosWordOfOpenFile(FsKind kind, int fd) {
    if (kind == FsKind::Fat)
        return fatWord(fd);
    // Through /proc, so that a file opened with O_PATH (without read
    // permission, or never opened for real) can be asked too.
    return xattrWord(kind, procPath(fd, nullptr).c_str(), true);
}

int setDosWordOfOpenFile(int fd, const DosWord& was, std::uint32_t word) {
    if (was.form == DosForm::FatIoctl) {
        __u32 raw = word;
        return ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &raw) == 0 ? 0 : errno;
    }
    for (const XattrForm& x : kXattrForms)
        if (x.form == was.form) {
            const QByteArray raw = x.encode
                                       ? x.encode(word)
                                       : encodeSambaDosAttrib(was.raw, word).value_or(QByteArray());
            if (raw.isEmpty())
                return EINVAL;
            return ::setxattr(procPath(fd, nullptr).c_str(), x.name, raw.constData(),
                              size_t(raw.size()), 0) == 0
                       ? 0
                       : errno;
        }
    return EINVAL;
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

HiddenList readHiddenList(int folderFd) {
    const int fd = ::openat(folderFd, ".hidden", O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return {};
    struct stat st;
    QByteArray content;
    // Only a regular file is read: a FIFO or device named .hidden would block
    // or never end.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char buffer[65536];
        ssize_t n;
        while (size_t(content.size()) < kHiddenListLimit &&
               (n = ::read(fd, buffer, sizeof buffer)) > 0)
            content.append(buffer, n);
    }
    ::close(fd);
    return parseHiddenList(content);
}

std::uint8_t hiddenTagOf(const QByteArray& path) {
    QByteArray trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith('/')) trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf('/');
    const QByteArray name = slash < 0 ? trimmed : trimmed.mid(slash + 1);
    const QByteArray folder =
        slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : trimmed.left(slash));
    if (name.isEmpty() || name == "." || name == "..")
        return 0;
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return 0;
    const FsKind kind = fsKindOfFolder(folderFd);
    const std::uint8_t tag = hiddenReasonOf(
        name.constData(), [&] { return readHiddenList(folderFd).count(name.toStdString()) > 0; },
        [&] { return dosAttributesOf(kind, folderFd, name.constData()).value_or(0); },
        dosSourceOf(kind));
    ::close(folderFd);
    return tag;
}

}  // namespace tarnwell
