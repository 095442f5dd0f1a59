#include "fs/dosxattr.h"

#include <sys/xattr.h>
#include <cerrno>

#include "fs/descriptor.h"

namespace tarnwell {

namespace {

// Large enough for every value there is; a longer one (an old Samba with a
// long name) is read at its own size, up to the limit.
constexpr size_t kXattrBuffer = 256;
constexpr size_t kXattrLimit = 64 * 1024;

class EachFile final : public FolderWords {
public:
    EachFile(const XattrSource& source, int folderFd) : source_(source), folderFd_(folderFd) {}
    std::optional<std::uint32_t> of(const char* name, std::size_t) override {
        const auto read = source_.read(descriptorPath(folderFd_, name), false, false);
        return read ? std::optional(read->word) : std::nullopt;
    }

private:
    const XattrSource& source_;
    int folderFd_;
};

}  // namespace

std::optional<DosWord> XattrSource::read(const std::string& path, bool follow, bool keepRaw) const {
    const auto get = [&](const char* name, char* to, size_t size) {
        return follow ? ::getxattr(path.c_str(), name, to, size)
                      : ::lgetxattr(path.c_str(), name, to, size);
    };
    errno = EOPNOTSUPP;
    for (const XattrForm& form : forms_) {
        char buffer[kXattrBuffer];
        QByteArray large;
        ssize_t n = get(form.name, buffer, sizeof buffer);
        if (n < 0 && errno == ERANGE) {
            n = get(form.name, nullptr, 0);
            if (n > 0 && size_t(n) <= kXattrLimit) {
                large.resize(n);
                n = get(form.name, large.data(), size_t(n));
            }
        }
        if (n < 0)
            continue;
        const QByteArrayView raw =
            large.isEmpty() ? QByteArrayView(buffer, n) : QByteArrayView(large.constData(), n);
        if (const auto word = form.decode(raw))
            return DosWord{*word, form.form,
                           keepRaw ? std::string(raw.data(), size_t(raw.size())) : std::string()};
        errno = EINVAL;
    }
    return std::nullopt;
}

std::optional<DosWord> XattrSource::wordOf(int fd) const {
    // Through /proc, so that a file opened with O_PATH (without read
    // permission, or never opened for real) can be asked too.
    return read(descriptorPath(fd), true, true);
}

std::unique_ptr<FolderWords> XattrSource::filesIn(int folderFd) const {
    return std::make_unique<EachFile>(*this, folderFd);
}

int XattrSource::write(int fd, const DosWord& was, std::uint32_t word) const {
    for (const XattrForm& form : forms_) {
        if (form.form != was.form)
            continue;
        const std::optional<QByteArray> raw = form.encode(was, word);
        if (!raw || raw->isEmpty())
            return EINVAL;
        return ::setxattr(descriptorPath(fd).c_str(), form.name, raw->constData(),
                          size_t(raw->size()), 0) == 0
                   ? 0
                   : errno;
    }
    return EINVAL;
}

}  // namespace tarnwell
