#pragma once

// NTFS: the kernel's ntfs3 and old ntfs drivers, and ntfs-3g through FUSE.

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

#include "fs/dossource.h"

namespace tarnwell {

// The word from the raw value of "system.ntfs_attrib_be" (4 bytes,
// big-endian) or "system.dos_attrib" (1 byte, ntfs3); nothing for a value of
// any other size. And the values made from a word, to write a changed word
// back: ntfs3's one byte holds the low byte only.
std::optional<std::uint32_t> decodeNtfsAttribBe(QByteArrayView raw);
std::optional<std::uint32_t> decodeDosAttribByte(QByteArrayView raw);
QByteArray encodeNtfsAttribBe(std::uint32_t word);
QByteArray encodeDosAttribByte(std::uint32_t word);

// ntfs3 and the old driver, which answer either attribute.
const DosSource& ntfsSource();
// A FUSE file system, which may be ntfs-3g: only its attribute is asked, and
// any other FUSE file system answers that it has none.
const DosSource& fuseNtfsSource();

}  // namespace tarnwell
