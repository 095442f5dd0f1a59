#pragma once

// The attribute word of files and folders as the search reads it, made from
// what a Linux file system offers: dot names, a folder's ".hidden" list, and
// the DOS attributes that Windows volumes (NTFS, FAT, exFAT, SMB) carry.

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "fs/hiddenreason.h"

namespace tarnwell {

// Bits of the attribute word, numbered as DOS numbers them.
inline constexpr std::uint32_t kAttrReadOnly = 1;
inline constexpr std::uint32_t kAttrHidden = 2;
inline constexpr std::uint32_t kAttrSystem = 4;
inline constexpr std::uint32_t kAttrDirectory = 16;
inline constexpr std::uint32_t kAttrArchive = 32;
inline constexpr std::uint32_t kAttrNormal = 128;

// The DOS attribute word from the raw value of an extended attribute:
// "system.ntfs_attrib_be" (4 bytes, big-endian), "system.dos_attrib" (1 byte,
// ntfs3), "user.cifs.dosattrib" / "user.smb3.dosattrib" (4 bytes, native
// order). Nothing for a value of any other size.
std::optional<std::uint32_t> decodeNtfsAttribBe(QByteArrayView raw);
std::optional<std::uint32_t> decodeDosAttribByte(QByteArrayView raw);
std::optional<std::uint32_t> decodeCifsDosAttrib(QByteArrayView raw);
// The same values made from a word, to write a changed word back. The one
// byte of ntfs3 holds the low byte only. SMB servers read a word of 0 as
// "leave the attributes as they are", so 0 goes out as Normal (128), which
// means no attributes at all.
QByteArray encodeNtfsAttribBe(std::uint32_t word);
QByteArray encodeDosAttribByte(std::uint32_t word);
QByteArray encodeCifsDosAttrib(std::uint32_t word);

// The names a folder's ".hidden" file lists: one per line, LF or CR LF line
// ends, empty lines ignored. Names are bytes; nothing is trimmed but the CR.
using HiddenList = std::unordered_set<std::string>;
HiddenList parseHiddenList(QByteArrayView content);

// `content` without the lines whose name, read as parseHiddenList reads it,
// `drop` says yes to. Every other line stays byte for byte with its own line
// end, or none where the last line has none.
QByteArray withoutHiddenLines(QByteArrayView content,
                              const std::function<bool(std::string_view name)>& drop);

// A ".hidden" list larger than this is not a list a person keeps: the search
// reads no further, and it is not rewritten.
inline constexpr size_t kHiddenListLimit = 16 * 1024 * 1024;

// What a folder's file system can tell beyond names.
enum class FsKind : std::uint8_t {
    Plain,      // names only: dot names and .hidden lists
    Ntfs,       // ntfs3 or the old ntfs driver: system.ntfs_attrib_be
    Fuse,       // maybe ntfs-3g: ask for system.ntfs_attrib_be, fall back quietly
    Fat,        // vfat, exFAT: FAT_IOCTL_GET_ATTRIBUTES
    Cifs,       // SMB shares: user.cifs.dosattrib / user.smb3.dosattrib
    Pseudo,     // proc, sysfs and the like: Hidden + System + Directory, never a root
    SambaDisk,  // a folder this machine's Samba shares, on a plain disk: user.DOSATTRIB
    Gvfs,       // the desktop's FUSE mount of its GIO locations: GIO tells, per folder
};

// Classifies the file system of an open folder (one fstatfs, and the mount
// table for FUSE); Plain when it cannot be asked. SambaDisk comes from where
// the folder lies, not its file system: see fsKindOfFolder.
FsKind fsKindOf(int folderFd);
// fsKindOf, and SambaDisk for a folder on a plain disk inside a Samba share.
FsKind fsKindOfFolder(int folderFd);

// The HiddenReason bits that say where a file's DOS word came from, for a
// word read in a folder of that kind.
std::uint8_t dosSourceOf(FsKind kind);

// The DOS attribute word of an open folder, or of the entry `name` inside it
// (symbolic links are not followed). Nothing where the file system keeps no
// such word or cannot tell; never fails.
std::optional<std::uint32_t> dosAttributesOfFolder(FsKind kind, int folderFd);
std::optional<std::uint32_t> dosAttributesOf(FsKind kind, int folderFd, const char* name);

// Where a file's DOS word was found, so that a changed word goes back the same
// way: the FAT ioctl, or one of the extended attributes above.
enum class DosForm : std::uint8_t {
    FatIoctl,
    NtfsAttribBe,
    DosAttribByte,
    CifsDosAttrib,
    Smb3DosAttrib,
    SambaDosAttrib
};
struct DosWord {
    std::uint32_t word = 0;
    DosForm form = DosForm::FatIoctl;
    QByteArray raw;  // the value as read, for a form rewritten in place (SambaDosAttrib)
};

// The DOS word of the file open on `fd`, read as the search reads it for a
// file in a folder of that kind. O_PATH will do, but not on FAT, whose ioctl
// needs the file opened. Nothing, with errno set, where there is no word.
std::optional<DosWord> dosWordOfOpenFile(FsKind kind, int fd);
// Writes `word` to the file open on `fd` in the form `was` was read in, in
// one system call; 0 or an errno.
int setDosWordOfOpenFile(int fd, const DosWord& was, std::uint32_t word);

// True for "/" and every mount point, never for a pseudo file system.
bool isMountRoot(int folderFd);

// Reads and parses the ".hidden" list of an open folder; empty when there is
// none or it cannot be read.
HiddenList readHiddenList(int folderFd);

// Why the file or folder at `path` counts as hidden (a HiddenReason), or 0 when it does not. The
// same rules the search applies; never fails (a path that cannot be examined reads as not hidden).
std::uint8_t hiddenTagOf(const QByteArray& path);

// The rule both apply: a file is hidden by its dot name, else by its folder's
// ".hidden" list, else by the Hidden bit of its DOS word, with the System bit
// noted too, and where the word came from (`dosSource`). The list and the
// word are asked in that order and only when needed: a word may cost round
// trips to a driver.
template <typename Listed, typename DosWord>
std::uint8_t hiddenReasonOf(const char* name, Listed listed, DosWord dosWord,
                            std::uint8_t dosSource) {
    if (name[0] == '.')
        return HiddenReason::DotName;
    if (listed())
        return HiddenReason::HiddenList;
    const std::uint32_t dos = dosWord();
    if (!(dos & kAttrHidden))
        return HiddenReason::None;
    return (dos & kAttrSystem ? HiddenReason::DosAttribute | HiddenReason::DosSystem
                              : HiddenReason::DosAttribute) |
           dosSource;
}

}  // namespace tarnwell
