#pragma once

namespace tarnwell {

class ErrorTrap;
struct Window;

// "Remove Results Containing X" and "Remove Results Not Containing X".
void askAndRemoveResultsContaining(Window& window, ErrorTrap& trap);
void askAndRemoveResultsNotContaining(Window& window, ErrorTrap& trap);

}  // namespace tarnwell
