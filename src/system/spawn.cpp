#include "system/spawn.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <cassert>

extern char** environ;

namespace tarnwell {

pid_t spawnProgram(const char* program, const char* const argv[], StandardStreams streams) {
    posix_spawn_file_actions_t actions;
    if (const int error = posix_spawn_file_actions_init(&actions); error != 0)
        return -error;
    const int given[] = {streams.in, streams.out, streams.err};
    for (int target = 0; target < 3; ++target) {
        // A stream taken from another's place would be overwritten first.
        assert(given[target] < 0 || given[target] == target || given[target] > STDERR_FILENO);
        if (given[target] < 0)
            posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                             target == 0 ? O_RDONLY : O_WRONLY, 0);
        else if (given[target] != target)
            posix_spawn_file_actions_adddup2(&actions, given[target], target);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    pid_t pid = -1;
    const int error =
        posix_spawnp(&pid, program, &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -error;
}

}  // namespace tarnwell
