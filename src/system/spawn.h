#pragma once

#include <sys/types.h>

namespace tarnwell {

// What a started program gets as its stdin, stdout and stderr: a descriptor
// of ours, or -1 for /dev/null. Passing 0, 1 or 2 in its own place hands the
// program this process's own.
struct StandardStreams {
    int in = -1;
    int out = -1;
    int err = -1;
};

// Starts `program` (looked up on PATH unless it holds a slash) with `argv`,
// ending in nullptr, and the environment of this process. Every descriptor
// but the three streams is closed in the child, so it holds nothing of ours:
// not the window's connection, not a socket whose end must be seen to close.
// Returns the child's pid, or -errno when it could not be started.
pid_t spawnProgram(const char* program, const char* const argv[], StandardStreams streams);

}  // namespace tarnwell
