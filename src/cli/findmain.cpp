// tarnwell-find: the search from a terminal, on the window's engine.
#include <sys/ioctl.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/findoptions.h"
#include "cli/findrun.h"
#include "cli/output.h"
#include "cli/relay.h"

int main(int argc, char** argv) {
    using namespace tarnwell;
    std::setlocale(LC_ALL, "");
    const CommandLine command = parseCommandLine(argc, argv);
    switch (command.action) {
        case CommandLine::Action::Help:
            std::fputs(kFindHelp, stdout);
            return 0;
        case CommandLine::Action::Version:
            std::printf("tarnwell-find %s\n", TARNWELL_VERSION);
            return 0;
        case CommandLine::Action::Misuse: {
            Output err(2, ::isatty(2));
            err.text("tarnwell-find: ");
            err.name(command.problem);
            err.byte('\n');
            err.text(kFindHelpHint);
            err.write();
            return 2;
        }
        case CommandLine::Action::Find:
            break;
    }
    FindStreams streams;
    streams.outTerminal = ::isatty(1);
    streams.errTerminal = ::isatty(2);
    // Progress only where it cannot mix with the results on one screen.
    const char* term = std::getenv("TERM");
    streams.progress =
        streams.errTerminal && !streams.outTerminal && term && std::strcmp(term, "dumb") != 0;
    winsize size{};
    if (::ioctl(2, TIOCGWINSZ, &size) == 0 && size.ws_col > 20)
        streams.columns = size.ws_col;
    return runInChild([&] { return findHidden(command.options, streams); },
                      streams.progress ? "\r\x1b[K" : nullptr);
}
