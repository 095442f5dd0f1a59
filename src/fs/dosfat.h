#pragma once

// FAT and exFAT through the kernel's drivers: the word is asked of the open
// file with an ioctl, which needs it opened for real.

#include "fs/dossource.h"

namespace tarnwell {

const DosSource& fatSource();

}  // namespace tarnwell
