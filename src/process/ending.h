#pragma once

namespace tarnwell {

// Ends the program at once with status 0, from wherever it is called, nested
// event loops included: no destructor runs and nothing is saved. Only what the
// user copied is first handed on: to the desktop's clipboard manager, as a
// normal exit would have done, waiting at most about a second for it, or,
// where none takes it, to a clipboard server in the background.
[[noreturn]] void endProgramAtOnce();

}  // namespace tarnwell
