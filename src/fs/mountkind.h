#pragma once

// What kind of file system a folder lies on, as far as what it can tell of
// its files beyond their names.

#include <cstdint>

namespace tarnwell {

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
// table for FUSE and tmpfs); Plain when it cannot be asked. Never SambaDisk:
// that comes from where the folder lies, not its file system (see
// fsKindOfFolder).
FsKind fsKindOf(int folderFd);

// True for "/" and every mount point, never for a pseudo file system.
bool isMountRoot(int folderFd);

}  // namespace tarnwell
