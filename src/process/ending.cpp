#include "process/ending.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <utility>

#include "desktop/clipboard.h"
#include "fs/descriptor.h"
#include "fs/dirlisting.h"

namespace tarnwell {

namespace {

// A reader stuck in the kernel on a dead share keeps the process from being
// reaped until the share answers, and with it every descriptor the process
// holds, the window's connection included. So each is first replaced by one
// end of a socket pair that never speaks: the X server or the compositor sees
// its connection closed and takes the window away at once. A thread of Qt's
// that looks at its connection in the moment before the end finds silence
// there rather than a closed descriptor, which Qt's Wayland thread would take
// for a broken connection and end the program with status 1.
//
// This is the one place where the program lays a hand on descriptors other
// libraries opened (Qt's, the window system's, GIO's), and only as the
// process's last act: nothing else makes the window go while the kernel
// holds a thread, since _Exit alone leaves every descriptor open until the
// process is reaped. Nothing is read from them and nothing is closed.
void silenceDescriptors() {
    int pair[2];
    Descriptor list(::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DirListing open;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0 || !list ||
        !open.read(list.get())) {
        ::closefrom(3);
        return;
    }
    for (const DirListing::Entry& entry : open.files()) {
        const int fd = std::atoi(open.name(entry));
        // The raw call: other threads may be inside calls on these very
        // descriptors, and this is the process's last act.
        if (fd > 2 && fd != pair[0] && fd != pair[1] && fd != list.get())
            ::syscall(SYS_dup3, pair[0], fd, 0);
    }
}

}  // namespace

void endProgramAtOnce() {
    // A second close while the first waits for the manager ends it there.
    static bool ending = false;
    if (!std::exchange(ending, true) && !handClipboardToManager(std::chrono::seconds(1)))
        handClipboardToServer();
    silenceDescriptors();
    std::_Exit(0);
}

}  // namespace tarnwell
