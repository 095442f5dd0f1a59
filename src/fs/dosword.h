#pragma once

// The DOS attribute word as Windows volumes and SMB keep it, and where one
// file's word was found, so that a changed word goes back the same way.

#include <cstdint>
#include <string>

namespace tarnwell {

// Bits of the attribute word, numbered as DOS numbers them.
inline constexpr std::uint32_t kAttrReadOnly = 1;
inline constexpr std::uint32_t kAttrHidden = 2;
inline constexpr std::uint32_t kAttrSystem = 4;
inline constexpr std::uint32_t kAttrDirectory = 16;
inline constexpr std::uint32_t kAttrArchive = 32;
inline constexpr std::uint32_t kAttrNormal = 128;

// The FAT ioctl, or one of the extended attributes a word is kept in.
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
    std::string raw;  // the value as read, for a form rewritten in place (SambaDosAttrib)
};

}  // namespace tarnwell
