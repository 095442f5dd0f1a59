#include "fs/dosgvfs.h"

#include <gio/gio.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <string>
#include <unordered_map>

#include "fs/descriptor.h"
#include "fs/hiddenreason.h"
#include "fs/mountkind.h"

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

// GIO's one answer for a folder: Hidden and System, as DOS numbers them, of
// each name it returned. A folder that is not on an SMB share (the mount's
// own root, another kind of location) has none and no error.
class GioAnswer final : public FolderWords {
public:
    explicit GioAnswer(int folderFd);
    std::optional<std::uint32_t> of(const char* name, std::size_t length) override {
        const auto it = words_.find(std::string(name, length));
        return it == words_.end() ? std::nullopt : std::optional(it->second);
    }

private:
    std::unordered_map<std::string, std::uint32_t> words_;
};

GioAnswer::GioAnswer(int folderFd) {
    // GIO maps its own FUSE paths back to the share, so the folder's path
    // is what it is given.
    char path[PATH_MAX];
    const ssize_t n = ::readlink(descriptorPath(folderFd).c_str(), path, sizeof path - 1);
    if (n < 0) {
        error = errno;
        return;
    }
    path[n] = 0;
    const Unref<GFile> file{g_file_new_for_path(path)};
    // GIO gives back a plain local file for the mount's own root, which
    // lists the mounts, and for any path when it cannot reach its daemon
    // (no session bus): then the share's bits cannot be had.
    if (g_file_is_native(file.p)) {
        if (!isMountRoot(folderFd))
            error = ENOTCONN;
        return;
    }
    if (!g_file_has_uri_scheme(file.p, "smb"))
        return;
    GError* failure = nullptr;
    const Unref<GFileEnumerator> children{g_file_enumerate_children(
        file.p,
        G_FILE_ATTRIBUTE_STANDARD_NAME "," G_FILE_ATTRIBUTE_STANDARD_IS_HIDDEN
                                       "," G_FILE_ATTRIBUTE_DOS_IS_SYSTEM,
        G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, nullptr, &failure)};
    while (children.p && !failure) {
        GFileInfo* info = g_file_enumerator_next_file(children.p, nullptr, &failure);
        if (!info)
            break;
        std::uint32_t word = 0;
        if (g_file_info_get_attribute_boolean(info, G_FILE_ATTRIBUTE_STANDARD_IS_HIDDEN))
            word |= kAttrHidden;
        if (g_file_info_get_attribute_boolean(info, G_FILE_ATTRIBUTE_DOS_IS_SYSTEM))
            word |= kAttrSystem;
        if (const char* name = g_file_info_get_name(info))
            words_.emplace(name, word);
        g_object_unref(info);
    }
    if (children.p)
        g_file_enumerator_close(children.p, nullptr, nullptr);
    if (failure) {
        error = errnoOf(failure);
        words_.clear();
        g_error_free(failure);
    }
}

class GvfsSource final : public DosSource {
public:
    const char* name() const override { return "gvfs"; }
    std::uint8_t origin() const override { return HiddenReason::DosFromShare; }
    bool filesWithoutFolderWord() const override { return true; }
    std::optional<DosWord> wordOf(int) const override {
        errno = EOPNOTSUPP;
        return std::nullopt;
    }
    std::unique_ptr<FolderWords> filesIn(int folderFd) const override {
        return std::make_unique<GioAnswer>(folderFd);
    }
    int write(int, const DosWord&, std::uint32_t) const override { return EOPNOTSUPP; }
};

}  // namespace

const DosSource& gvfsSource() {
    static const GvfsSource source;
    return source;
}

}  // namespace tarnwell
