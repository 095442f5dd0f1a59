#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace tarnwell {

class Dialogs;
class ReadAheadBoard;
struct Window;

// Scans the folder `path` and, with includeSubfolders, every folder below
// it, depth first: the full path of every hidden file goes to the
// ResultsList, a folder's own files before anything below it. The walk runs
// on a thread of its own, its folders read by `readers`; the window keeps
// working, and the scan ends at once when `stopRequested` turns true. Traps
// and reports its own failures; never throws.
void searchInFiles(Window& window, const bool& stopRequested,
                   const std::shared_ptr<ReadAheadBoard>& readers, const QByteArray& path,
                   bool includeSubfolders);

// Tells the user that the files of `folderPath` (with its trailing "/") are
// left out, since some full path would be longer than 260 characters.
void showNamesTooLong(const QByteArray& folderPath, Dialogs& dialogs, const QString& title);

}  // namespace tarnwell
