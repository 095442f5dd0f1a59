#include "fs/dirlisting.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstring>

namespace tarnwell {

namespace {

// Large enough that a folder of a few thousand entries is one system call.
constexpr std::size_t kBufferSize = 64 * 1024;

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

}  // namespace

void DirListing::add(const char* name, std::size_t length, std::uint8_t type, std::uint64_t ino) {
    const Entry e{std::uint32_t(names_.size()), std::uint16_t(length), type, ino};
    names_.append(name, length + 1);  // with its NUL
    if (type == DT_DIR) {
        folders_.push_back(e);
        return;
    }
    files_.push_back(e);
    if (length > longestFileName_)
        longestFileName_ = length;
    if (length == 7 && std::memcmp(name, ".hidden", 7) == 0)
        hasHiddenList_ = true;
}

bool DirListing::read(int fd) {
    alignas(struct dirent64) static thread_local char buffer[kBufferSize];
    for (;;) {
        const ssize_t n = ::getdents64(fd, buffer, kBufferSize);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            *this = DirListing();
            fail(error);
            return false;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += d->d_reclen;
            const char* name = d->d_name;
            if (isDotOrDotDot(name))
                continue;
            std::uint8_t type = d->d_type;
            if (type == DT_UNKNOWN) {
                struct stat st;
                if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;  // gone since it was listed
                type = std::uint8_t(IFTODT(st.st_mode));
            }
            add(name, std::strlen(name), type, d->d_ino);
        }
    }
}

void DirListing::fail(int error) {
    error_ = error;
}

}  // namespace tarnwell
