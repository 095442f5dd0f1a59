#include "platform/files.h"

#include <sys/stat.h>
#include <QFile>

namespace tarnwell {

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

}  // namespace tarnwell
