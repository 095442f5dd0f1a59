#pragma once

namespace tarnwell {

class ErrorTrap;
struct Window;

// "Add Drive/Folder To Search": the folder-browse dialog, then the chosen
// folder appended to the search list.
void addFolderToSearchList(Window& window, ErrorTrap& trap);

}  // namespace tarnwell
