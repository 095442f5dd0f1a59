#pragma once

// Whether a file is hidden, by the one rule the search and every other
// question apply: its dot name, its folder's ".hidden" list, or the Hidden bit
// of the DOS word that Windows volumes (NTFS, FAT, exFAT, SMB) carry, asked
// of the source its file system keeps it in.

#include <sys/types.h>
#include <QByteArray>
#include <cstdint>
#include <optional>

#include "fs/dossource.h"
#include "fs/dosword.h"
#include "fs/hiddenlist.h"
#include "fs/hiddenreason.h"
#include "fs/mountkind.h"

namespace tarnwell {

class SambaShares;

// Where the DOS word of files on a file system of that kind comes from;
// null where there is none (names only, pseudo file systems).
const DosSource* dosSourceFor(FsKind kind);

// `kind`, or SambaDisk for a folder on a plain disk that `shares` serves:
// Samba's shares are folders, not file systems. dev and ino are the
// folder's; `parentServed`, when known, whether its parent is served. A null
// `shares` serves nothing.
FsKind withSambaShares(FsKind kind, const SambaShares* shares, int folderFd, dev_t dev, ino_t ino,
                       std::optional<bool> parentServed);
// fsKindOf, and SambaDisk for a folder on a plain disk inside a Samba share.
FsKind fsKindOfFolder(int folderFd, const SambaShares* shares);

// The DOS word of the entry `name` in an open folder of that kind, a link not
// followed. Nothing where the file system keeps no such word or cannot tell;
// never fails.
std::optional<std::uint32_t> dosAttributesOf(FsKind kind, int folderFd, const char* name);

// Why the file or folder at `path` counts as hidden (a HiddenReason), or 0 when it does not. The
// same rules the search applies; never fails (a path that cannot be examined reads as not hidden).
std::uint8_t hiddenTagOf(const QByteArray& path, const SambaShares* shares);

// The rule both apply: a file is hidden by its dot name, else by its folder's
// ".hidden" list, else by the Hidden bit of its DOS word, with the System bit
// noted too, and where the word came from (`dosOrigin`). The list and the
// word are asked in that order and only when needed: a word may cost round
// trips to a driver.
template <typename Listed, typename DosWordOf>
std::uint8_t hiddenReasonOf(const char* name, Listed listed, DosWordOf dosWord,
                            std::uint8_t dosOrigin) {
    if (name[0] == '.')
        return HiddenReason::DotName;
    if (listed())
        return HiddenReason::HiddenList;
    const std::uint32_t dos = dosWord();
    if (!(dos & kAttrHidden))
        return HiddenReason::None;
    return (dos & kAttrSystem ? HiddenReason::DosAttribute | HiddenReason::DosSystem
                              : HiddenReason::DosAttribute) |
           dosOrigin;
}

}  // namespace tarnwell
