#pragma once

class QString;

namespace tarnwell {

class ErrorTrap;
class ListControl;
struct Window;

// "Remove Results Containing X" and "Remove Results Not Containing X".
void askAndRemoveResultsContaining(Window& window, ErrorTrap& trap);
void askAndRemoveResultsNotContaining(Window& window, ErrorTrap& trap);

// Narrow the list by a text, ignoring letter case; the remaining entries keep
// their order. No trap of their own: a failure reaches the caller's.
void removeResultsContaining(ListControl& list, const QString& filterText);
void removeResultsNotContaining(ListControl& list, const QString& filterText);

}  // namespace tarnwell
