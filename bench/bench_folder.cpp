// The search of a folder that is already there (a share, a mount), through
// the real window as bench_search times it: "Start Finding" to "Done.", a
// fresh window each round.
//   bench_folder FOLDER [ROUNDS] [--list FILE]
// prints each round's seconds; --list writes the first round's results, one a
// line and sorted, for the caller to check against other tools.
// bench/slowlink.sh runs it on a share; scripts/bench.sh, which hands every
// benchmark an entry count, finds no such folder and it skips.
#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "benchutil.h"
#include "benchwindow.h"

using namespace tarnwell::bench;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [ROUNDS] [--list FILE]\n", argv[0]);
        return 2;
    }
    if (!QFileInfo(QString::fromLocal8Bit(argv[1])).isDir()) {
        std::printf("folder benchmark skipped: no folder %s\n", argv[1]);
        return 0;
    }
    int rounds = 1;
    const char* listFile = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0 && i + 1 < argc)
            listFile = argv[++i];
        else
            rounds = std::atoi(argv[i]);
    }
    try {
        std::vector<double> times;
        for (int r = 0; r < rounds; ++r) {
            double s = 0;
            const std::vector<std::string> found =
                searchResults(QString::fromLocal8Bit(argv[1]), s);
            times.push_back(s);
            std::printf("round %d: %.3f s, %zu results\n", r + 1, s, found.size());
            std::fflush(stdout);
            if (r == 0 && listFile) {
                std::ofstream out(listFile);
                for (const std::string& path : found) out << path << '\n';
            }
        }
        std::printf("median: %.3f s\n", median(times));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_folder: %s\n", e.what());
        return 1;
    }
    return 0;
}
