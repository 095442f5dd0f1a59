#pragma once

#include <QString>

namespace tarnwell {

class ErrorTrap;
struct Window;

// "Clear List": empties the search list, but never under a running command.
void clearSearchList(Window& window, ErrorTrap& trap);
// "Clear Results": empties the results list, also during a search.
void clearResults(Window& window, ErrorTrap& trap);
// "Help": where to ask questions.
void showHelp(Window& window, ErrorTrap& trap);

QString helpText();

}  // namespace tarnwell
