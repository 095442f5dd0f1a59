#pragma once

namespace tarnwell {

// Key codes as the list handlers compare them.
inline constexpr int vbKeyDelete = 46;
// The Shift bit of the shift state the key handlers get.
inline constexpr int vbShiftMask = 1;

}  // namespace tarnwell
