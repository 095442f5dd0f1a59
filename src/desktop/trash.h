#pragma once

#include <QByteArray>
#include <QHash>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>

#include "fs/descriptor.h"
#include "fs/fileidentity.h"

namespace tarnwell {

// The desktop's trash, where a file can be restored from by any file manager.
// A file goes to the trash in the user's data folder when it is on the same
// mount, and otherwise to the trash at the top of its own mount; it is only
// ever renamed, never copied across devices and never deleted.
//
// One is made per action: the first file on a mount finds and opens that
// mount's trash, and every further file there costs a few system calls.
class TrashCan {
public:
    TrashCan();  // takes the trash's place from XDG_DATA_HOME or HOME, once

    // Moves `path` (absolute, its exact bytes) to the trash if it is still
    // `expected`; a final link is moved as the link, a folder whole. Returns 0,
    // an errno, or kChangedSinceFound; a file that was not moved stays as it was.
    int moveToTrash(const QByteArray& path, const FileIdentity& expected);

private:
    // A mount: its device and its mount ID. A folder mounted a second time
    // keeps its device number, yet nothing can be renamed across to it.
    using Mount = std::pair<dev_t, std::uint64_t>;

    struct Bin {
        int error = 0;  // why this mount has no usable trash
        Descriptor info, files;
        // What Path= leaves out: the mount's top folder with its slash, or
        // nothing in the home trash, whose paths are absolute.
        QByteArray topdir;
        QHash<QByteArray, int> nextNumber;  // per name, the first number not yet seen taken
    };

    void openHomeTrash();
    static int openTopdirTrash(Bin& bin);
    static int trashFile(Bin& bin, const QByteArray& path, const QByteArray& where);

    QByteArray homeTrash_;
    std::optional<Mount> homeMount_;
    std::map<Mount, Bin> bins_;
};

}  // namespace tarnwell
