#include "fs/folderread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstring>
#include <string>

#include "fs/sambashares.h"

namespace tarnwell {

namespace {

// A folder that is Hidden + System + Directory and nothing else is the
// system's own (a recycle bin, volume information) and is not searched.
constexpr std::uint32_t kExcludedFolderWord = kAttrHidden | kAttrSystem | kAttrDirectory;

// File systems keep times from a clock that ticks every few milliseconds: a
// change within this much of the read may carry the time the read saw.
constexpr long kClockGrainNs = 20'000'000;

long long nanoseconds(const timespec& t) {
    return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec;
}

const char* lastComponent(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash && slash[1] ? slash + 1 : path;
}

// GetFolder: a folder that may not be listed can still be looked at, as a
// folder whose listing then fails.
Descriptor openFolder(int parentFd, const char* name, int& listError) {
    const int noLink = parentFd == AT_FDCWD ? 0 : O_NOFOLLOW;
    Descriptor fd(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | noLink));
    if (!fd && errno == EACCES) {
        fd.reset(::openat(parentFd, name, O_PATH | O_DIRECTORY | O_CLOEXEC | noLink));
        if (fd)
            listError = EACCES;
        else
            errno = EACCES;
    }
    return fd;
}

void tagFiles(FolderRead& read, const HiddenList& hiddenList, FolderWords* dosWords,
              std::uint8_t dosOrigin) {
    const DirListing& listing = read.listing;
    read.fileTags.resize(listing.files().size());
    for (size_t i = 0; i < listing.files().size(); ++i) {
        const DirListing::Entry file = listing.files()[i];
        const char* name = listing.name(file);
        // The DOS word is asked last: through FUSE every word costs two round
        // trips to the driver, wasted on a file its name already hides.
        read.fileTags[i] = hiddenReasonOf(
            name,
            [&] { return !hiddenList.empty() && hiddenList.count(std::string(name, file.length)); },
            [&] { return dosWords ? dosWords->of(name, file.length).value_or(0) : 0; }, dosOrigin);
    }
}

}  // namespace

FolderRead readFolder(int parentFd, const char* name, bool listedHidden,
                      std::optional<FileSystemOf> parent, bool parentsDeviceOnly,
                      SambaShares* shares) {
    FolderRead read;
    ::clock_gettime(CLOCK_REALTIME, &read.readAt);
    Descriptor fd = openFolder(parentFd, name, read.listError);
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        read.openError = errno ? errno : EIO;
        return read;
    }
    read.dev = st.st_dev;
    read.ino = st.st_ino;
    read.changed = st.st_ctim;
    read.fd = std::make_shared<const Descriptor>(std::move(fd));
    const int folder = read.fd->get();
    if (parentsDeviceOnly && parent && parent->dev != read.dev)
        return read;

    // A search's first folder: what Samba shares is learned once a search.
    if (parentFd == AT_FDCWD && shares)
        shares->learnIfDue();
    std::optional<bool> parentServed;
    if (parent)
        parentServed = parent->kind == FsKind::SambaDisk;
    const FsKind kind = read.kind =
        withSambaShares(parent && parent->dev == read.dev ? parent->kind : fsKindOf(folder), shares,
                        folder, read.dev, read.ino, parentServed);
    if (kind == FsKind::Pseudo)
        return read;  // read as Hidden + System + Directory, and never a root
    const DosSource* source = dosSourceFor(kind);
    std::optional<DosWord> dos;
    std::uint32_t word = kAttrDirectory;
    if (source && (dos = source->wordOf(folder)))
        word |= dos->word;
    if (lastComponent(name)[0] == '.' || listedHidden)
        word |= kAttrHidden;
    read.searched = word != kExcludedFolderWord || isMountRoot(folder);
    if (!read.searched)
        return read;

    if (read.listError)
        read.listing.fail(read.listError);
    else
        read.listing.read(folder);
    if (read.listing.error()) {
        read.listError = read.listing.error();
        return read;
    }
    // Where the folder itself carries no DOS word, its files do not either,
    // on most sources: asking would be a wasted round trip per file.
    std::unique_ptr<FolderWords> dosWords;
    if (source && !read.listing.files().empty() && (dos || source->filesWithoutFolderWord())) {
        dosWords = source->filesIn(folder);
        if (dosWords->error) {
            read.listing = DirListing();
            read.listing.fail(read.listError = dosWords->error);
            return read;
        }
    }
    const HiddenList hiddenList =
        read.listing.hasHiddenList() ? readHiddenList(folder) : HiddenList();
    tagFiles(read, hiddenList, dosWords.get(), source ? source->origin() : 0);
    read.subfolderListed.resize(read.listing.folders().size());
    if (!hiddenList.empty())
        for (size_t i = 0; i < read.listing.folders().size(); ++i) {
            const DirListing::Entry f = read.listing.folders()[i];
            read.subfolderListed[i] =
                hiddenList.count(std::string(read.listing.name(f), f.length)) > 0;
        }
    return read;
}

bool stillAsRead(const FolderRead& read, int parentFd, const char* name) {
    struct stat st;
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (st.st_dev != read.dev || st.st_ino != read.ino || !S_ISDIR(st.st_mode) ||
        nanoseconds(st.st_ctim) != nanoseconds(read.changed))
        return false;
    return nanoseconds(read.changed) < nanoseconds(read.readAt) - kClockGrainNs;
}

}  // namespace tarnwell
