#include "support/trees.h"

#include <fcntl.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

}  // namespace tarnwell::test
