#pragma once

namespace tarnwell {

class ErrorTrap;
struct Window;

// "Save Results As Text File".
void saveResultsAsTextFile(Window& window, ErrorTrap& trap);

}  // namespace tarnwell
