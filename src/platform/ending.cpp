#include "platform/ending.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <utility>

#include "platform/clipboard.h"

namespace tarnwell {

void endProgramAtOnce() {
    // A second close while the first waits for the manager ends it there.
    static bool ending = false;
    if (!std::exchange(ending, true) && !handClipboardToManager(std::chrono::seconds(1)))
        handClipboardToServer();
    // A reader stuck in the kernel on a dead share can keep the process from
    // being reaped until the share answers; with every descriptor closed, the
    // window's connection included, the window goes at once all the same.
    ::closefrom(3);
    std::_Exit(0);
}

}  // namespace tarnwell
