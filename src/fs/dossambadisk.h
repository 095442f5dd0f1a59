#pragma once

// A folder this machine's Samba server shares, on a plain disk: the word the
// server keeps for its clients in "user.DOSATTRIB" (see sambablob). A folder
// made on the server itself has none, though its files may.

#include "fs/dossource.h"

namespace tarnwell {

const DosSource& sambaDiskSource();

}  // namespace tarnwell
