#pragma once

#include "cli/findoptions.h"

namespace tarnwell {

// Where the output goes, as seen before the search starts.
struct FindStreams {
    bool outTerminal = false;
    bool errTerminal = false;
    bool progress = false;  // a "Processing" line on standard error
    int columns = 80;
};

// Searches each PATH in turn, writing the finds to standard output and the
// failures to standard error; the exit status: 0, 1 after a failure, 2 when
// a PATH is not a folder that can be looked at.
int findHidden(const FindOptions& options, const FindStreams& streams);

}  // namespace tarnwell
