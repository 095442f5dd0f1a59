#include "fs/gvfslisting.h"

#include <gio/gio.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <string>

#include "fs/attributes.h"

namespace tarnwell {

namespace {

int errnoOf(const GError* error) {
    if (!error || error->domain != G_IO_ERROR)
        return EIO;
    switch (error->code) {
        case G_IO_ERROR_NOT_FOUND:
            return ENOENT;
        case G_IO_ERROR_PERMISSION_DENIED:
            return EACCES;
        case G_IO_ERROR_NOT_DIRECTORY:
            return ENOTDIR;
        case G_IO_ERROR_TIMED_OUT:
            return ETIMEDOUT;
        case G_IO_ERROR_NOT_SUPPORTED:
            return EOPNOTSUPP;
        case G_IO_ERROR_NOT_MOUNTED:
        case G_IO_ERROR_CLOSED:
            return ENOTCONN;
        case G_IO_ERROR_HOST_UNREACHABLE:
            return EHOSTUNREACH;
        case G_IO_ERROR_CONNECTION_REFUSED:
            return ECONNREFUSED;
        case G_IO_ERROR_NO_SPACE:
            return ENOSPC;
        default:
            return EIO;
    }
}

template <typename T>
struct Unref {
    T* p;
    ~Unref() {
        if (p)
            g_object_unref(p);
    }
};

}  // namespace

GvfsFolderWords dosWordsOfGvfsFolder(int folderFd) {
    GvfsFolderWords result;
    // GIO maps its own FUSE paths back to the share, so the folder's path
    // is what it is given.
    char path[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(folderFd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
    if (n < 0) {
        result.error = errno;
        return result;
    }
    path[n] = 0;
    const Unref<GFile> file{g_file_new_for_path(path)};
    // GIO gives back a plain local file for the mount's own root, which
    // lists the mounts, and for any path when it cannot reach its daemon
    // (no session bus): then the share's bits cannot be had.
    if (g_file_is_native(file.p)) {
        if (!isMountRoot(folderFd))
            result.error = ENOTCONN;
        return result;
    }
    if (!g_file_has_uri_scheme(file.p, "smb"))
        return result;
    GError* error = nullptr;
    const Unref<GFileEnumerator> children{g_file_enumerate_children(
        file.p,
        G_FILE_ATTRIBUTE_STANDARD_NAME "," G_FILE_ATTRIBUTE_STANDARD_IS_HIDDEN
                                       "," G_FILE_ATTRIBUTE_DOS_IS_SYSTEM,
        G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, nullptr, &error)};
    while (children.p && !error) {
        GFileInfo* info = g_file_enumerator_next_file(children.p, nullptr, &error);
        if (!info)
            break;
        std::uint32_t word = 0;
        if (g_file_info_get_attribute_boolean(info, G_FILE_ATTRIBUTE_STANDARD_IS_HIDDEN))
            word |= kAttrHidden;
        if (g_file_info_get_attribute_boolean(info, G_FILE_ATTRIBUTE_DOS_IS_SYSTEM))
            word |= kAttrSystem;
        if (const char* name = g_file_info_get_name(info))
            result.words.emplace(name, word);
        g_object_unref(info);
    }
    if (children.p)
        g_file_enumerator_close(children.p, nullptr, nullptr);
    if (error) {
        result.error = errnoOf(error);
        result.words.clear();
        g_error_free(error);
    }
    return result;
}

}  // namespace tarnwell
