#pragma once

namespace tarnwell {

// Key codes as the list handlers compare them.
inline constexpr int vbKeyDelete = 46;

}  // namespace tarnwell
