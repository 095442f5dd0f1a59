#include "fs/unhide.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QRandomGenerator>
#include <cerrno>
#include <string_view>
#include <unordered_map>

#include "fs/attributes.h"
#include "fs/descriptor.h"
#include "fs/files.h"

namespace tarnwell {

namespace {

std::string_view bytesOf(const QByteArray& name) {
    return std::string_view(name.constData(), size_t(name.size()));
}

int checkFound(int folderFd, const char* name, const FileIdentity& found) {
    struct stat st;
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    return isSameFile(st, found) ? 0 : kChangedSinceFound;
}

struct FoundFile {
    const DosSource* source;
    Descriptor fd;
    int error = 0;
};

// The file the search found, checked and then acted on through one
// descriptor, so that nothing can take its name in between.
FoundFile openFound(int folderFd, const char* name, const FileIdentity& found,
                    const SambaShares* shares) {
    FoundFile file{dosSourceFor(fsKindOfFolder(folderFd, shares)), Descriptor(), 0};
    const int how = file.source ? file.source->openFlags() : O_PATH;
    file.fd.reset(::openat(folderFd, name, how | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!file.fd || ::fstat(file.fd.get(), &st) != 0)
        file.error = errno;
    else if (!isSameFile(st, found))
        file.error = kChangedSinceFound;
    return file;
}

int readWhole(int fd, QByteArray& content) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            return 0;
        if (n < 0 && errno != EINTR)
            return errno;
        if (n < 0)
            continue;
        if (size_t(content.size()) + size_t(n) > kHiddenListLimit)
            return EFBIG;
        content.append(buffer, n);
    }
}

// Puts `content` in place of the folder's list (`old` from its fstat) by a new
// file renamed over it: a reader sees the old list or the new one, never part
// of either, and a failure leaves the old one as it was.
int replaceHiddenList(int folderFd, const struct stat& old, QByteArrayView content) {
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        // A dot name: one left behind by a crash is hidden itself.
        temp = ".hidden-" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        fd = ::openat(folderFd, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    takeOwnerAndMode(fd, old);
    int error = writeAll(fd, content);
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::renameat(folderFd, temp.constData(), folderFd, ".hidden") != 0)
        error = errno;
    if (error)
        ::unlinkat(folderFd, temp.constData(), 0);
    return error;
}

}  // namespace

std::vector<UnhideOutcome> removeFromHiddenList(int folderFd, const std::vector<FoundName>& names) {
    std::vector<UnhideOutcome> outcomes(names.size());
    // Each name whose file is still the one found, to the first place it is
    // given at; the others are never looked up, so keep their lines.
    std::unordered_map<std::string_view, size_t> wanted;
    wanted.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        outcomes[i].error = checkFound(folderFd, names[i].name.constData(), names[i].identity);
        if (!outcomes[i].error)
            wanted.try_emplace(bytesOf(names[i].name), i);
    }
    if (wanted.empty())
        return outcomes;

    // Not followed: renaming a file over a link would cut the link, not
    // change the list it leads to.
    const Descriptor list(
        ::openat(folderFd, ".hidden", O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    QByteArray content;
    int readError = 0;
    if (!list)
        readError = errno == ENOENT ? 0 : errno;
    else if (::fstat(list.get(), &st) != 0)
        readError = errno;
    else if (S_ISREG(st.st_mode))  // any other kind the search reads as empty
        readError = readWhole(list.get(), content);

    std::vector<bool> listed(names.size());
    int writeError = 0;
    if (!readError) {
        const QByteArray kept = withoutHiddenLines(content, [&](std::string_view name) {
            const auto it = wanted.find(name);
            if (it == wanted.end())
                return false;
            listed[it->second] = true;
            return true;
        });
        if (kept.size() != content.size())
            writeError = replaceHiddenList(folderFd, st, kept);
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (outcomes[i].error)
            continue;
        if (readError)
            outcomes[i].error = readError;
        else if (listed[wanted.find(bytesOf(names[i].name))->second])
            outcomes[i].error = writeError;
        else
            outcomes[i].alreadyUnhidden = true;
    }
    return outcomes;
}

std::uint32_t unhiddenWord(std::uint32_t word) {
    if (!(word & kAttrHidden))
        return word;
    return word & ~(word & kAttrSystem ? kAttrHidden | kAttrSystem : kAttrHidden);
}

namespace {

// The file the search found, open, with its DOS word as it is now.
struct FoundWord {
    FoundFile file;
    DosWord now;
    int error = 0;
};

FoundWord wordOfFound(int folderFd, const char* name, const FileIdentity& found,
                      const SambaShares* shares) {
    FoundWord w{openFound(folderFd, name, found, shares), {}, 0};
    if ((w.error = w.file.error))
        return w;
    errno = EOPNOTSUPP;
    const auto now = w.file.source ? w.file.source->wordOf(w.file.fd.get()) : std::nullopt;
    if (!now)
        w.error = errno;
    else
        w.now = *now;
    return w;
}

}  // namespace

DosWordNow currentDosAttributes(int folderFd, const char* name, const FileIdentity& found,
                                const SambaShares* shares) {
    const FoundWord w = wordOfFound(folderFd, name, found, shares);
    return {w.error, w.now.word};
}

UnhideOutcome clearHiddenAttribute(int folderFd, const char* name, const FileIdentity& found,
                                   const SambaShares* shares) {
    const FoundWord w = wordOfFound(folderFd, name, found, shares);
    if (w.error)
        return {w.error};
    const std::uint32_t word = unhiddenWord(w.now.word);
    if (word == w.now.word)
        return {0, true};
    return {w.file.source->write(w.file.fd.get(), w.now, word)};
}

}  // namespace tarnwell
