#pragma once

namespace tarnwell {

class ErrorTrap;
struct Window;

// "Save Results As Excel File".
void saveResultsAsWorkbook(Window& window, ErrorTrap& trap);

}  // namespace tarnwell
