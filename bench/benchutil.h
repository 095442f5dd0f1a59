#pragma once

// Small helpers shared by the benchmarks: medians of repeated rounds and the
// process's peak resident size.

#include <malloc.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnwell::bench {

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

template <typename F>
double seconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Reads a "VmHWM:"-style line of /proc/self/status, in KiB.
inline long statusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    return -1;
}

// Peak resident size since the last resetPeak(), in MiB.
inline double peakMiB() {
    return double(statusKiB("VmHWM:")) / 1024.0;
}
inline double currentMiB() {
    return double(statusKiB("VmRSS:")) / 1024.0;
}
// Starts a new peak measurement (Linux: writing 5 to clear_refs resets VmHWM).
// Freed memory is handed back first, so each round starts from the same floor.
inline void resetPeak() {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Runs a peer command (find, fd) and returns its output lines, sorted; secs
// is the time it took.
inline std::vector<std::string> runPeer(const std::string& command, double& secs) {
    std::vector<std::string> out;
    secs = seconds([&] {
        FILE* p = ::popen(command.c_str(), "r");
        if (!p)
            throw std::runtime_error("cannot run " + command);
        char* line = nullptr;
        size_t cap = 0;
        ssize_t n;
        while ((n = ::getline(&line, &cap, p)) > 0) out.emplace_back(line, size_t(n - 1));
        std::free(line);
        ::pclose(p);
    });
    std::sort(out.begin(), out.end());
    return out;
}

inline void row(const char* what, double value, const char* unit) {
    std::printf("%-58s %12.3f %s\n", what, value, unit);
}

}  // namespace tarnwell::bench
