// What support/trees.h and support/search_trees.h declare.
#include "support/trees.h"
#include "support/search_trees.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <stdexcept>

namespace tarnwell::test {

void makeTree(const QString& root, std::initializer_list<const char*> paths) {
    for (const char* p : paths) {
        const QString full = root + QLatin1Char('/') + QString::fromUtf8(p);
        if (!QDir().mkpath(full.endsWith(QLatin1Char('/')) ? full : QFileInfo(full).path()))
            throw std::runtime_error("cannot make folder");
        if (!full.endsWith(QLatin1Char('/')))
            writeFile(QFile::encodeName(full), "x");
    }
}

// Through POSIX, so that names that are not UTF-8 arrive byte for byte.
void writeFile(const QByteArray& path, const QByteArray& content) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool ok = fd >= 0 && ::write(fd, content.constData(), size_t(content.size())) ==
                                   ssize_t(content.size());
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        throw std::runtime_error("cannot write " + path.toStdString());
}

QByteArray readFile(const QByteArray& path) {
    QFile f;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        throw std::runtime_error("cannot read " + path.toStdString());
    return f.readAll();
}

void makeDeep(const QByteArray& root, int depth, bool siblings) {
    int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        for (const char* name : {"e1", "d", "e2"}) {
            if (name[0] == 'e' && !siblings)
                continue;
            ::mkdirat(fd, name, 0755);
            if (name[0] == 'e')
                ::close(
                    ::openat(fd, (std::string(name) + "/.h").c_str(), O_CREAT | O_WRONLY, 0644));
        }
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        throw std::runtime_error("cannot make the tree");
    ::close(fd);
}

void removeTree(const QString& root) {
    // Locked folders first opened to their owner, who may be root reading as
    // anyone; chmod passes by the links it meets below.
    QProcess::execute(QStringLiteral("chmod"),
                      {QStringLiteral("-R"), QStringLiteral("u+rwx"), root});
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), root});
}

bool readAsAnOrdinaryUser() {
    if (::geteuid() != 0)
        return true;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    return ::syscall(SYS_capset, &header, data) == 0;
}

NtfsVolume::NtfsVolume(int megabytes) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(dir_.path());
    if (dir_.isValid())
        p.start("sh", {"-c", QString("[ -w /dev/fuse ] || { echo 'FUSE is not available here'; "
                                     "exit 1; }; PATH=$PATH:/usr/sbin:/sbin; command -v mkntfs && "
                                     "command -v ntfs-3g || { echo 'mkntfs or ntfs-3g missing "
                                     "(Debian ntfs-3g)'; exit 1; }; truncate -s %1M img && "
                                     "mkntfs -F -f -q img && mkdir mnt && ntfs-3g img mnt")
                                 .arg(megabytes)});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        why_ = QStringLiteral("no NTFS volume: ") + QString::fromLocal8Bit(p.readAll());
        return;
    }
    mountPoint_ = dir_.path() + QStringLiteral("/mnt");
}

NtfsVolume::~NtfsVolume() {
    if (!mountPoint_.isEmpty() &&
        QProcess::execute(QStringLiteral("fusermount3"), {QStringLiteral("-u"), mountPoint_}) != 0)
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), mountPoint_});
}

bool NtfsVolume::setAttributes(const QString& path, unsigned word) {
    unsigned char raw[4];
    for (int i = 0; i < 4; ++i) raw[i] = static_cast<unsigned char>(word >> (24 - 8 * i));
    return ::setxattr(QFile::encodeName(path).constData(), "system.ntfs_attrib_be", raw, 4, 0) == 0;
}

unsigned NtfsVolume::attributes(const QString& path) {
    unsigned char raw[4] = {};
    if (::getxattr(QFile::encodeName(path).constData(), "system.ntfs_attrib_be", raw, 4) != 4)
        return ~0u;
    return unsigned(raw[0]) << 24 | unsigned(raw[1]) << 16 | unsigned(raw[2]) << 8 | raw[3];
}

}  // namespace tarnwell::test
