#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tarnwell {

class DirListing;
class Dialogs;
struct SearchRunState;
struct Window;

// Scans the folder `path` and, while includeSubfolders is nonzero, every
// folder below it, depth first: the full path of every hidden file goes to
// the ResultsList, a folder's own files before anything below it. Yields
// once per file examined and ends at once when the run asks it to stop.
// Traps and reports its own failures; never throws.
void searchInFiles(Window& window, const SearchRunState& run, const QByteArray& path,
                   std::int16_t& includeSubfolders);

// True when the folder's files are to be left out: some file's full path
// would be longer than 260 characters, or the folder could not be listed.
// The names measured are those of `listing`, the folder's own listing, whose
// failure counts as the guard's. Tells the user so in a box; never fails.
bool filenamesTooLong(const QByteArray& folderPath, const DirListing& listing, Dialogs& dialogs,
                      const QString& title);

}  // namespace tarnwell
