#pragma once

#include <string>
#include <vector>

namespace tarnwell {

struct FindOptions {
    bool print0 = false;
    bool why = false;
    bool oneFileSystem = false;
    std::vector<std::string> paths;  // as given
};

// What the command line asks for. `problem` words a misuse for the user.
struct CommandLine {
    enum class Action { Find, Help, Version, Misuse };
    Action action = Action::Find;
    FindOptions options;
    std::string problem;
};

CommandLine parseCommandLine(int argc, char** argv);

extern const char kFindHelp[];
// The line that follows every misuse.
extern const char kFindHelpHint[];

}  // namespace tarnwell
