#pragma once

#include <cstdint>

namespace tarnwell {

// Why a file counts as hidden, recorded with its results entry (one byte).
namespace HiddenReason {
inline constexpr std::uint8_t None = 0;
inline constexpr std::uint8_t DotName = 1;
inline constexpr std::uint8_t HiddenList = 2;
inline constexpr std::uint8_t DosAttribute = 3;
inline constexpr std::uint8_t KindMask = 3;
inline constexpr std::uint8_t DosSystem = 4;  // only with DosAttribute: the System bit too
// Only with DosAttribute, where the word was not the volume's own: as the
// desktop's connection to a share reports it (GIO), or as this machine's
// Samba server stores it for its clients (user.DOSATTRIB).
inline constexpr std::uint8_t DosFromShare = 8;
inline constexpr std::uint8_t DosFromServer = 16;
}  // namespace HiddenReason

}  // namespace tarnwell
