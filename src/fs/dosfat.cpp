#include "fs/dosfat.h"

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <cerrno>

#include "fs/descriptor.h"

namespace tarnwell {

namespace {

class EachFile final : public FolderWords {
public:
    EachFile(const DosSource& source, int folderFd) : source_(source), folderFd_(folderFd) {}
    std::optional<std::uint32_t> of(const char* name, std::size_t) override {
        const Descriptor fd(
            ::openat(folderFd_, name, source_.openFlags() | O_NOFOLLOW | O_CLOEXEC));
        if (!fd)
            return std::nullopt;
        const auto read = source_.wordOf(fd.get());
        return read ? std::optional(read->word) : std::nullopt;
    }

private:
    const DosSource& source_;
    int folderFd_;
};

class FatSource final : public DosSource {
public:
    const char* name() const override { return "fat"; }
    // O_NONBLOCK and O_NOCTTY: opening wakes no FIFO and takes no terminal.
    int openFlags() const override { return O_RDONLY | O_NONBLOCK | O_NOCTTY; }

    std::optional<DosWord> wordOf(int fd) const override {
        __u32 word = 0;
        if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &word) != 0)
            return std::nullopt;  // ENOTTY on an exFAT driver that predates the call
        return DosWord{std::uint32_t(word), DosForm::FatIoctl, {}};
    }

    std::unique_ptr<FolderWords> filesIn(int folderFd) const override {
        return std::make_unique<EachFile>(*this, folderFd);
    }

    int write(int fd, const DosWord& was, std::uint32_t word) const override {
        if (was.form != DosForm::FatIoctl)
            return EINVAL;
        __u32 raw = word;
        return ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &raw) == 0 ? 0 : errno;
    }
};

}  // namespace

const DosSource& fatSource() {
    static const FatSource source;
    return source;
}

}  // namespace tarnwell
