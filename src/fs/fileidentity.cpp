#include "fs/fileidentity.h"

#include <dirent.h>

namespace tarnwell {

namespace {

std::uint8_t direntType(mode_t mode) {
    return std::uint8_t(IFTODT(mode));
}

}  // namespace

bool isSameFile(const struct stat& st, const FileIdentity& id) {
    if (st.st_dev != id.dev || st.st_ino != id.ino)
        return false;
    return id.type == DT_UNKNOWN || id.type == direntType(st.st_mode);
}

FileIdentity identityOf(const char* path) {
    struct stat st {};
    if (::lstat(path, &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, direntType(st.st_mode)};
}

}  // namespace tarnwell
