#include "fs/ordinaryfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>

#include "fs/attributes.h"

namespace tarnwell {

namespace {

bool isSystemFile(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash <= 0 ? QByteArray("/") : path.left(slash);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const auto dos =
        dosAttributesOf(fsKindOfFolder(fd, nullptr), fd, path.mid(slash + 1).constData());
    ::close(fd);
    return dos && (*dos & kAttrSystem);
}

}  // namespace

bool isOrdinaryFile(const QString& folder, const QString& tail) {
    for (const QString& part : tail.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        if (part.startsWith(QLatin1Char('.')))
            return false;
    const QByteArray path = QFile::encodeName(folder + tail);
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return hiddenTagOf(path, nullptr) == HiddenReason::None && !isSystemFile(path);
}

}  // namespace tarnwell
