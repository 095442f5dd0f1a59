#pragma once

namespace tarnwell {

class ErrorTrap;
struct Window;

// "Copy Results To Clipboard".
void copyResultsToClipboard(Window& window, ErrorTrap& trap);

}  // namespace tarnwell
