#pragma once

#include <sys/stat.h>
#include <QByteArrayView>
#include <QString>

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

}  // namespace tarnwell
