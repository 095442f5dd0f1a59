#pragma once
// What the user can do to the files behind the selected results: unhide
// them or move them to the desktop's trash. Each action checks first that an
// entry still names the file the search found, reports every file it could
// not act on in one box, and takes the entries it dealt with off the list.

#include <cstdint>

namespace tarnwell {

struct Window;

void moveSelectedResultsToTrash(Window& window);
void unhideSelectedResults(Window& window);

// Whether "Unhide" can do anything for an entry hidden for this reason: a
// name beginning with a dot is what hides it, and a user's file is never
// renamed.
bool canUnhide(std::uint8_t reason);

}  // namespace tarnwell
