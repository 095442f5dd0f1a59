#pragma once

#include <sys/stat.h>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstddef>

namespace tarnwell {

// True when the platform can read the path's date and time: an existing file
// or folder. Never fails and never reports.
bool FileExists(const QString& path);

// True when `path` is an existing regular file that this user may write, in a
// folder that refuses them a new file: a replacement made beside the file and
// renamed over it cannot be had there, while writing the file in place can.
bool writableOnlyInPlace(const QString& path);

// Gives the file open on `fd` the owner, group and mode of the file at
// `like`, as far as this user may set them; keeps quietly what they may not.
void takeOwnerAndMode(int fd, const QString& like);
void takeOwnerAndMode(int fd, const struct stat& like);
// Writes all of `bytes` to `fd`, again after an interrupted or short write;
// 0, or the errno that stopped it (EIO where a write took nothing).
int writeAll(int fd, QByteArrayView bytes);

// The regular file `name` in the open folder, read until it is at least
// `limit` bytes long or ends; empty when it is no regular file (a FIFO or a
// device would block or never end) or cannot be opened. `followLink`: a link
// of that name is followed.
QByteArray readSmallFile(int folderFd, const char* name, std::size_t limit, bool followLink);

}  // namespace tarnwell
