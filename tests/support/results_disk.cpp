#include "support/results_disk.h"

#include <sys/mount.h>
#include <QDir>
#include <QDirIterator>
#include <cerrno>
#include <cstring>

namespace tarnwell::test {

TinyDisk::TinyDisk(const QString& mountPoint, const char* options)
    : point_(mountPoint.toLocal8Bit()) {
    if (::mount("tarnwell-test", point_.constData(), "tmpfs", 0, options) == 0)
        mounted_ = true;
    else
        whyNot_ = QStringLiteral("cannot mount a tmpfs here (%1); needs root")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
}

bool TinyDisk::makeReadOnly() {
    return ::mount(nullptr, point_.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

TinyDisk::~TinyDisk() {
    if (mounted_)
        ::umount2(point_.constData(), MNT_DETACH);
}

QStringList filesUnder(const QString& folder) {
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) names << it.next().mid(folder.size() + 1);
    names.sort();
    return names;
}

}  // namespace tarnwell::test
