#include "cli/findoptions.h"

#include <cstring>

namespace tarnwell {

const char kFindHelp[] =
    "Usage: tarnwell-find [OPTIONS] PATH...\n"
    "Print the full path of every hidden file below each PATH, in the order\n"
    "Tarnwell's window lists them: names that begin with a dot, names a folder's\n"
    ".hidden file lists, and files with the DOS Hidden attribute on NTFS, FAT,\n"
    "exFAT and SMB volumes.\n"
    "\n"
    "  -0, --print0            end each path with NUL instead of a line break\n"
    "      --why               add a tab and the reason: dot-name, hidden-list,\n"
    "                          dos-hidden or dos-hidden-system; for the last two\n"
    "                          a tab and where the DOS word came from (ntfs, fat,\n"
    "                          cifs, samba-disk, gvfs)\n"
    "  -x, --one-file-system   leave out what lies on another file system than\n"
    "                          its PATH\n"
    "  -h, --help              show this help and exit\n"
    "  -V, --version           show the version and exit\n"
    "\n"
    "Exit status: 0 when every folder was read, 1 when any failure was reported,\n"
    "2 for bad usage.\n";

const char kFindHelpHint[] = "Try 'tarnwell-find --help' for more information.\n";

namespace {

struct Flag {
    char letter;
    const char* name;
    bool FindOptions::*field;
};

constexpr Flag kFlags[] = {{'0', "print0", &FindOptions::print0},
                           {0, "why", &FindOptions::why},
                           {'x', "one-file-system", &FindOptions::oneFileSystem}};

CommandLine misuse(std::string problem) {
    CommandLine c;
    c.action = CommandLine::Action::Misuse;
    c.problem = std::move(problem);
    return c;
}

}  // namespace

CommandLine parseCommandLine(int argc, char** argv) {
    CommandLine c;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || arg[1] == 0) {
            c.options.paths.emplace_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (arg[1] == '-') {
            const char* name = arg + 2;
            if (std::strcmp(name, "help") == 0 || std::strcmp(name, "version") == 0) {
                c.action =
                    name[0] == 'h' ? CommandLine::Action::Help : CommandLine::Action::Version;
                return c;
            }
            const Flag* flag = nullptr;
            for (const Flag& f : kFlags)
                if (std::strcmp(name, f.name) == 0)
                    flag = &f;
            if (!flag)
                return misuse(std::string("unknown option '") + arg + "'");
            c.options.*flag->field = true;
        } else {
            // Short options may come together, as in -0x.
            for (const char* p = arg + 1; *p; ++p) {
                if (*p == 'h' || *p == 'V') {
                    c.action = *p == 'h' ? CommandLine::Action::Help : CommandLine::Action::Version;
                    return c;
                }
                const Flag* flag = nullptr;
                for (const Flag& f : kFlags)
                    if (f.letter == *p)
                        flag = &f;
                if (!flag)
                    return misuse(std::string("unknown option '-") + *p + "'");
                c.options.*flag->field = true;
            }
        }
    }
    if (c.options.paths.empty())
        return misuse("no PATH given");
    return c;
}

}  // namespace tarnwell
