#include "fs/attributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cstring>

#include "fs/descriptor.h"
#include "fs/doscifs.h"
#include "fs/dosfat.h"
#include "fs/dosgvfs.h"
#include "fs/dosntfs.h"
#include "fs/dossambadisk.h"
#include "fs/sambashares.h"

namespace tarnwell {

const DosSource* dosSourceFor(FsKind kind) {
    switch (kind) {
        case FsKind::Ntfs:
            return &ntfsSource();
        case FsKind::Fuse:
            return &fuseNtfsSource();
        case FsKind::Fat:
            return &fatSource();
        case FsKind::Cifs:
            return &cifsSource();
        case FsKind::SambaDisk:
            return &sambaDiskSource();
        case FsKind::Gvfs:
            return &gvfsSource();
        case FsKind::Plain:
        case FsKind::Pseudo:
            break;
    }
    return nullptr;
}

FsKind withSambaShares(FsKind kind, const SambaShares* shares, int folderFd, dev_t dev, ino_t ino,
                       std::optional<bool> parentServed) {
    if (kind != FsKind::Plain && kind != FsKind::SambaDisk)
        return kind;
    return shares && shares->serves(folderFd, dev, ino, parentServed) ? FsKind::SambaDisk
                                                                      : FsKind::Plain;
}

FsKind fsKindOfFolder(int folderFd, const SambaShares* shares) {
    const FsKind kind = fsKindOf(folderFd);
    struct stat st;
    if (kind != FsKind::Plain || ::fstat(folderFd, &st) != 0)
        return kind;
    return withSambaShares(kind, shares, folderFd, st.st_dev, st.st_ino, std::nullopt);
}

std::optional<std::uint32_t> dosAttributesOf(FsKind kind, int folderFd, const char* name) {
    const DosSource* source = dosSourceFor(kind);
    if (!source)
        return std::nullopt;
    return source->filesIn(folderFd)->of(name, std::strlen(name));
}

std::uint8_t hiddenTagOf(const QByteArray& path, const SambaShares* shares) {
    QByteArray trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith('/')) trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf('/');
    const QByteArray name = slash < 0 ? trimmed : trimmed.mid(slash + 1);
    const QByteArray folder =
        slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : trimmed.left(slash));
    if (name.isEmpty() || name == "." || name == "..")
        return 0;
    const Descriptor folderFd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd)
        return 0;
    const FsKind kind = fsKindOfFolder(folderFd.get(), shares);
    const DosSource* source = dosSourceFor(kind);
    return hiddenReasonOf(
        name.constData(),
        [&] { return readHiddenList(folderFd.get()).count(name.toStdString()) > 0; },
        [&] { return dosAttributesOf(kind, folderFd.get(), name.constData()).value_or(0); },
        source ? source->origin() : 0);
}

}  // namespace tarnwell
