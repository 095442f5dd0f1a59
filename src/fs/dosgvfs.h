#pragma once

// A Windows share the desktop mounted (GIO's gvfs, seen through its FUSE
// mount, where neither the mode nor an extended attribute carries the DOS
// bits). GIO is asked once for a folder's children, on the calling thread,
// and reports Hidden and System of files only, never of folders; it offers
// no way to write them back through the mount.

#include "fs/dossource.h"

namespace tarnwell {

const DosSource& gvfsSource();

}  // namespace tarnwell
