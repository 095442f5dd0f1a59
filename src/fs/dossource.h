#pragma once

// Where the DOS attribute word of files comes from on one kind of file
// system: NTFS's extended attributes, FAT's ioctl, the SMB client's
// attributes, the word a Samba server stores on its own disk, or GIO's answer
// for a share the desktop mounted. Reading a folder, tagging its files and
// unhiding one all ask through a source, so a new kind of volume is one
// more source. Each call may block as long as the file system does: none is
// for the window's thread while a search runs.

#include <fcntl.h>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "fs/dosword.h"

namespace tarnwell {

// The words of the files in one open folder, asked for by name.
class FolderWords {
public:
    virtual ~FolderWords() = default;
    // An errno where the folder's files cannot be asked at all.
    int error = 0;
    // The word of `name` (a link is not followed); nothing when the file has
    // none or it cannot be told.
    virtual std::optional<std::uint32_t> of(const char* name, std::size_t length) = 0;
};

class DosSource {
public:
    virtual ~DosSource() = default;
    // How `tarnwell-find --why` names it.
    virtual const char* name() const = 0;
    // The HiddenReason bits that tell a word read here from a volume's own.
    virtual std::uint8_t origin() const { return 0; }
    // Files may carry a word where their folder has none, so they are asked
    // even then; elsewhere a folder without one spares a call per file.
    virtual bool filesWithoutFolderWord() const { return false; }
    // How a file is to be opened for wordOf and write: O_PATH, which wakes
    // no device or FIFO, unless the call needs the file opened for real.
    virtual int openFlags() const { return O_PATH; }

    // The word of the file or folder open on `fd`, with the form it was read
    // in. Nothing, with errno set, where there is none.
    virtual std::optional<DosWord> wordOf(int fd) const = 0;
    // The words of the folder's files: asked one by one, or in one answer
    // for the whole folder where the source has no other way.
    virtual std::unique_ptr<FolderWords> filesIn(int folderFd) const = 0;
    // Writes `word` to the file open on `fd` in the form `was` was read in,
    // in one system call: 0 or an errno.
    virtual int write(int fd, const DosWord& was, std::uint32_t word) const = 0;
};

}  // namespace tarnwell
