#pragma once

// Making a found file visible again by undoing what hides it: its line in its
// folder's ".hidden" list, or the Hidden attribute a Windows volume keeps. A
// dot name is the name itself and is not undone here.
//
// Each action first makes sure the name still leads to the file the search
// found, and none touches a file's contents but the ".hidden" list's. Nothing
// throws. The folder is given open (O_PATH will do), so that a folder deeper
// than the path limit can be reached as the search reached it.

#include <QByteArray>
#include <cstdint>
#include <vector>

#include "fs/fileidentity.h"

namespace tarnwell {

class SambaShares;

// What an action did for one file.
struct UnhideOutcome {
    // 0, an errno (ENOENT: the file is gone), or kChangedSinceFound.
    int error = 0;
    // With error 0: nothing hid the file this way any more (its name was no
    // longer listed, its Hidden bit was clear), so nothing was changed for it.
    // The file may still be hidden for another reason.
    bool alreadyUnhidden = false;
};

struct FoundName {
    QByteArray name;  // within the folder, the bytes the file system holds
    FileIdentity identity;
};

// Removes from the ".hidden" list of the folder every line that names one of
// `names`, the name twice listed included, and returns one outcome per name,
// in order. Names are compared as the search reads the list; every other line
// stays as it was, byte for byte. Give all the names of one folder at once:
// the list is rewritten once, by a new file beside it (with its owner, group
// and mode) renamed over it, so it is never seen half written. A list that
// ends up empty stays, empty.
//
// A name whose file is gone (ENOENT) or is another file now
// (kChangedSinceFound) keeps its line. A name not listed, or a folder without
// a list, is alreadyUnhidden. A ".hidden" that is a link is refused (ELOOP)
// rather than replaced by a file, and one larger than kHiddenListLimit
// (EFBIG) rather than read in whole. When the list cannot be rewritten, the
// names that were to leave it get the errno.
std::vector<UnhideOutcome> removeFromHiddenList(int folderFd, const std::vector<FoundName>& names);

// The DOS word with Hidden cleared, and System too when both are set: the pair
// marks what Windows keeps out of view even where hidden files are shown, and
// System alone hides nothing. ReadOnly, Archive and every other bit stay.
std::uint32_t unhiddenWord(std::uint32_t word);

// `shares`: what this machine's Samba server shares, as the search knew it.
// The DOS word of `name` in the folder, read as the search reads it, so that
// a command can ask before clearing System. EOPNOTSUPP, ENODATA and the like
// where the volume keeps none.
struct DosWordNow {
    int error = 0;  // as in UnhideOutcome
    std::uint32_t word = 0;
};
DosWordNow currentDosAttributes(int folderFd, const char* name, const FileIdentity& found,
                                const SambaShares* shares);

// Gives `name` in the folder unhiddenWord of its word as it is now, written
// the way the volume keeps it (the form the word was read in) in one system
// call, through the descriptor the identity was checked on. alreadyUnhidden
// when Hidden was clear.
UnhideOutcome clearHiddenAttribute(int folderFd, const char* name, const FileIdentity& found,
                                   const SambaShares* shares);

}  // namespace tarnwell
