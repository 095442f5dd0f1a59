#include "support/search_trees.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/listcontrol.h"

namespace tarnwell::test {

QStringList entries(const ListControl& list) {
    QStringList out;
    for (int i = 1; i <= list.Count(); ++i) out << list.Text(i);
    return out;
}

void makeChain(const QByteArray& root, int depth, const char* fileAtBottom) {
    int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        ::mkdirat(fd, "d", 0755);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        throw std::runtime_error("cannot make the chain");
    if (fileAtBottom) {
        const int f = ::openat(fd, fileAtBottom, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (f >= 0)
            ::close(f);
    }
    ::close(fd);
}

void removeChain(const QByteArray& root, int depth) {
    int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int reached = 0;
    for (; reached < depth; ++reached) {
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (next < 0)
            break;
        ::close(fd);
        fd = next;
    }
    // At the bottom: empty it, then climb, removing each level behind us.
    if (DIR* d = ::fdopendir(::dup(fd))) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.'))
                ::unlinkat(fd, e->d_name, 0);
        ::closedir(d);
    }
    for (; reached > 0; --reached) {
        const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = up;
        ::unlinkat(fd, "d", AT_REMOVEDIR);
    }
    ::close(fd);
}

void makeComb(const QByteArray& root, int depth) {
    int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        for (const char* name : {"e1", "d", "e2"}) {
            ::mkdirat(fd, name, 0755);
            if (name[0] == 'e') {
                const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                const int f = ::openat(sub, ".h", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                ::close(f);
                ::close(sub);
            }
        }
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        throw std::runtime_error("cannot make the comb");
    ::close(fd);
}

namespace {
void emptyFolder(int fd) {
    DIR* d = ::fdopendir(::dup(fd));
    if (!d)
        return;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d))
        if (e->d_name[0] != '.' || (e->d_name[1] && (e->d_name[1] != '.' || e->d_name[2])))
            names.emplace_back(e->d_name);
    ::closedir(d);
    for (const std::string& name : names) {
        if (::unlinkat(fd, name.c_str(), 0) == 0)
            continue;
        const int sub = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
            emptyFolder(sub);
            ::close(sub);
        }
        ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);
    }
}
}  // namespace

void removeBelow(const QByteArray& root) {
    const int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        emptyFolder(fd);
        ::close(fd);
    }
}

int openDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                   .size());
}

namespace {
constexpr unsigned kDacBits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

bool capabilities(__user_cap_data_struct (&data)[2], bool set) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}
}  // namespace

WithoutDacOverride::WithoutDacOverride() {
    __user_cap_data_struct data[2] = {};
    if (!capabilities(data, false) || !(data[0].effective & kDacBits))
        return;
    data[0].effective &= ~kDacBits;
    active_ = capabilities(data, true);
}

WithoutDacOverride::~WithoutDacOverride() {
    if (!active_)
        return;
    __user_cap_data_struct data[2] = {};
    if (capabilities(data, false)) {
        data[0].effective |= kDacBits & data[0].permitted;
        capabilities(data, true);
    }
}

namespace {
bool runTool(const QString& program, const QStringList& args, QString* output = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return false;
    if (output)
        *output = QString::fromLocal8Bit(p.readAll()).trimmed();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}
}  // namespace

NtfsVolume::NtfsVolume() {
    const QString mkntfs = QStandardPaths::findExecutable(
        QStringLiteral("mkntfs"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    const QString ntfs3g = QStandardPaths::findExecutable(QStringLiteral("ntfs-3g"));
    if (mkntfs.isEmpty() || ntfs3g.isEmpty()) {
        why_ = QStringLiteral("mkntfs or ntfs-3g is not installed (Debian package ntfs-3g)");
        return;
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        why_ = QStringLiteral("FUSE is not available here (/dev/fuse cannot be opened)");
        return;
    }
    char tmpl[] = "/tmp/tarnwell-ntfs-XXXXXX";
    if (!::mkdtemp(tmpl)) {
        why_ = QStringLiteral("cannot make a temporary folder");
        return;
    }
    dir_ = QString::fromLocal8Bit(tmpl);
    image_ = dir_ + QStringLiteral("/volume.img");
    const QString mount = dir_ + QStringLiteral("/mnt");
    QDir().mkpath(mount);
    QString out;
    if (!runTool(QStringLiteral("truncate"),
                 {QStringLiteral("-s"), QStringLiteral("16M"), image_}) ||
        !runTool(mkntfs, {QStringLiteral("-F"), QStringLiteral("-f"), QStringLiteral("-q"), image_},
                 &out)) {
        why_ = QStringLiteral("mkntfs failed: ") + out;
        return;
    }
    if (!runTool(ntfs3g, {image_, mount}, &out)) {
        why_ = QStringLiteral("ntfs-3g could not mount the image (FUSE unavailable?): ") + out;
        return;
    }
    mountPoint_ = mount;
}

NtfsVolume::~NtfsVolume() {
    if (!mountPoint_.isEmpty()) {
        ::sync();
        if (!runTool(QStringLiteral("fusermount3"), {QStringLiteral("-u"), mountPoint_}) &&
            !runTool(QStringLiteral("umount"), {mountPoint_}))
            runTool(QStringLiteral("umount"), {QStringLiteral("-l"), mountPoint_});
    }
    if (!dir_.isEmpty())
        QDir(dir_).removeRecursively();
}

bool NtfsVolume::setAttributes(const QString& path, unsigned word) const {
    const unsigned char raw[4] = {
        static_cast<unsigned char>(word >> 24), static_cast<unsigned char>(word >> 16),
        static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)};
    return ::setxattr(QFile::encodeName(path).constData(), "system.ntfs_attrib_be", raw, 4, 0) == 0;
}

unsigned NtfsVolume::attributes(const QString& path) const {
    unsigned char raw[4] = {};
    if (::getxattr(QFile::encodeName(path).constData(), "system.ntfs_attrib_be", raw, 4) != 4)
        return ~0u;
    return unsigned(raw[0]) << 24 | unsigned(raw[1]) << 16 | unsigned(raw[2]) << 8 | raw[3];
}

}  // namespace tarnwell::test
