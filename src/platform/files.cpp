#include "platform/files.h"

#include <QFile>
#include <sys/stat.h>

namespace tarnwell {

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

}  // namespace tarnwell
