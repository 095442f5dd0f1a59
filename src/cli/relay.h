#pragma once

#include <cstddef>
#include <functional>

namespace tarnwell {

// Runs `work` in a child process and copies what it writes to this
// process's standard output and error; returns the child's status.
//
// A thread waiting in a FUSE request the driver has taken cannot be killed,
// and its process cannot finish exiting until the driver answers. So the
// process the shell waits for is this small one, which owns no such thread:
// on SIGINT or SIGTERM it kills the child and leaves at once (130, 143),
// and the stuck child goes when the kernel lets it. `eraseOnSignal`, when
// not null, is written to standard error first, to take a progress line
// away.
int runInChild(const std::function<int()>& work, const char* eraseOnSignal);

// Writes to standard output (1) or error (2): in the child through the
// parent, both streams in one pipe, so that they keep their order where
// they meet on one terminal. Whoever reads it gone, the process ends.
void writeStream(int stream, const char* data, std::size_t size);

}  // namespace tarnwell
