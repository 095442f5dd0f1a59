#pragma once

// Windows shares mounted by the kernel's SMB client.

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

#include "fs/dossource.h"

namespace tarnwell {

// The word from the raw value of "user.cifs.dosattrib" or
// "user.smb3.dosattrib" (4 bytes, native order); nothing for any other size.
// A server reads a word of 0 as "leave the attributes as they are", so 0 goes
// out as Normal (128), which means no attributes at all.
std::optional<std::uint32_t> decodeCifsDosAttrib(QByteArrayView raw);
QByteArray encodeCifsDosAttrib(std::uint32_t word);

const DosSource& cifsSource();

}  // namespace tarnwell
