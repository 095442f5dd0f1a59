#pragma once

namespace tarnwell {

class ErrorTrap;
class ListControl;
struct Window;

// "Load Sample/Example Folder": appends the two sample folders and offers to
// show them in the file manager.
void loadSampleFolders(Window& window, ErrorTrap& trap);

// Removes the list's selected entry, unless the window is busy.
void removeSelectedEntry(Window& window, ListControl& list);
// The same, for the Delete key; other keys do nothing.
void removeSelectedEntryOnKey(Window& window, ListControl& list, int keyCode);
// Moving over a list undoes the hand pointer, unless the window is busy.
void restorePointerOverList(Window& window);

}  // namespace tarnwell
