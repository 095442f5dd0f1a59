#pragma once

#include <QString>

namespace tarnwell {

class Dialogs;
class ErrorTrap;
class FolderBrowser;
struct Window;

// "Add Drive/Folder To Search": the folder-browse dialog, then the chosen
// folder appended to the search list.
void addFolderToSearchList(Window& window, ErrorTrap& trap);

// Shows the folder-browse dialog of the given owner with the prompt, starting
// at startFolder when that folder exists. Returns the chosen folder's full
// path, or "" when the user cancelled. No trap of its own.
QString BrowseForFolder(Dialogs& owner, const QString& prompt, const QString& startFolder);

// Watches the dialog while it is open: once it is built, it is told to start
// at startPath. Never fails; always answers 0.
int BrowseCallback(FolderBrowser& dialog, int message, const QString& startPath);

}  // namespace tarnwell
