// End to end: the real main window (offscreen) searches a generated tree,
// against find, fd, bfs and a bare one-thread walk on the same tree, with
// the event-loop gaps and the memory a search costs.
#include <sys/resource.h>
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "app/form1.h"
#include "benchutil.h"
#include "benchwindow.h"
#include "process/yield.h"
#include "support/fakes.h"
#include "treegen.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::bench;
using tarnwell::test::FakeClipboard;
using tarnwell::test::FakeDialogs;
using tarnwell::test::FakeSettings;
using tarnwell::test::FakeShell;

namespace {

using Window = BenchWindow;

double threadCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A posted event stands for a click: it waits for the next pass and is
// handled at its start, where a timer's turn comes later in the pass. Each
// time it is handled it posts itself again.
class PostedPing : public QObject {
public:
    double longestWaitMs = 0;
    void start() {
        since_.start();
        post();
    }
    void stop() { stopped_ = true; }

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        longestWaitMs = std::max(longestWaitMs, since_.nsecsElapsed() / 1e6);
        since_.restart();
        if (!stopped_)
            post();
        return true;
    }

private:
    void post() { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }
    QElapsedTimer since_;
    bool stopped_ = false;
};

struct SearchFigures {
    double seconds = 0;
    double longestGapMs = 0;
    double longestClickWaitMs = 0;  // a posted event's longest wait for a pass
    double windowCpuSeconds = 0;    // the window's thread alone: steadier than wall time
    std::vector<std::string> results;
};

SearchFigures searchWithWindow(const std::string& root, bool keepResults) {
    Window w;
    w.form->ListView1->Add(QFile::encodeName(QString::fromStdString(root)));
    SearchFigures f;
    QElapsedTimer sinceLastPass;
    QTimer gapMeter;
    gapMeter.setInterval(0);
    QObject::connect(&gapMeter, &QTimer::timeout, [&] {
        f.longestGapMs = std::max(f.longestGapMs, sinceLastPass.nsecsElapsed() / 1e6);
        sinceLastPass.restart();
    });
    gapMeter.start();
    PostedPing click;
    QCoreApplication::processEvents();
    sinceLastPass.start();
    click.start();
    const double cpuBefore = threadCpuSeconds();
    f.seconds = seconds([&] { w.form->PushButton1_Click(); });
    f.windowCpuSeconds = threadCpuSeconds() - cpuBefore;
    gapMeter.stop();
    click.stop();
    f.longestClickWaitMs = click.longestWaitMs;
    if (w.dialogs.countContaining(QStringLiteral("Done.")) != 1)
        throw std::runtime_error("the search did not end with Done.");
    if (w.dialogs.boxes.size() != 1)
        throw std::runtime_error("the search showed an unexpected box: " +
                                 w.dialogs.boxes[0].text.toStdString());
    if (keepResults) {
        ListControl& list = *w.form->ListView2;
        f.results.reserve(size_t(list.Count()));
        for (int i = 1; i <= list.Count(); ++i)
            f.results.emplace_back(list.Bytes(i).constData(), size_t(list.Bytes(i).size()));
        std::sort(f.results.begin(), f.results.end());
    }
    return f;
}

// A command timed beside ours. Its output is checked against the tree's dot
// files before any time is printed.
struct Peer {
    Peer(std::string label, std::string name, std::string command, bool coldOnly = false)
        : label(std::move(label)),
          name(std::move(name)),
          command(std::move(command)),
          coldOnly(coldOnly) {}
    std::string label;  // its row
    std::string name;   // its ratio's row
    std::string command;
    bool coldOnly;
    std::vector<double> warm, cold;
};

// Our time against each peer's, as medians.
void comparison(const std::vector<double>& ours, const std::vector<Peer>& peers, bool cold) {
    row("  ours, end to end (click to Done.)", median(ours), "s");
    for (const Peer& p : peers) {
        const std::vector<double>& t = cold ? p.cold : p.warm;
        if (t.empty())
            continue;
        row(("  " + p.label).c_str(), median(t), "s");
        row(("  ratio ours / " + p.name).c_str(), median(ours) / median(t), "x");
    }
}

// Empties the page, dentry and inode caches, so that the next command reads
// the tree from the disk. Root only; false where that is not allowed.
bool dropCaches() {
    ::sync();
    FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w");
    if (!f)
        return false;
    const bool ok = std::fputs("3\n", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

bool haveCommand(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The first line a command prints for --version, such as "bfs 4.0.6".
std::string versionOf(const std::string& command) {
    double ignored;
    const std::vector<std::string> lines =
        runPeer(command + " --version 2>/dev/null | head -n 1", ignored);
    return lines.empty() ? std::string() : lines.front();
}

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

// find, fd and the bare walk, and each bfs there is: the one on PATH and the
// one TARNWELL_BFS names (a whole command line, say a newer bfs run by another
// root's loader), once if they are the same version.
std::vector<Peer> peersFor(const std::string& root) {
    std::vector<Peer> peers;
    peers.emplace_back("find -name '.*' -type f", "find",
                       "find " + quoted(root) + " -name '.*' -type f");
    if (haveCommand("fdfind")) {
        peers.emplace_back("fdfind -HI -t f '^\\.'", "fd",
                           "fdfind -HI -t f '^\\.' " + quoted(root));
        // More threads than cores can only pay while they wait on the disk.
        peers.emplace_back("fdfind -HI -j16 -t f '^\\.'", "fd -j16",
                           "fdfind -HI -j16 -t f '^\\.' " + quoted(root), true);
    }
    std::vector<std::string> bfsCommands;
    if (haveCommand("bfs"))
        bfsCommands.emplace_back("bfs");
    if (const char* named = std::getenv("TARNWELL_BFS"); named && *named)
        bfsCommands.emplace_back(named);
    std::vector<std::string> versions;
    for (const std::string& bfs : bfsCommands) {
        const std::string version = versionOf(bfs);
        if (version.empty())
            throw std::runtime_error("cannot run " + bfs + " --version");
        if (std::find(versions.begin(), versions.end(), version) != versions.end())
            continue;
        versions.push_back(version);
        peers.emplace_back(version + " -type f -name '.*'", version,
                           bfs + " " + quoted(root) + " -type f -name '.*'");
    }
    peers.emplace_back("bare getdents64 walk", "bare", TARNWELL_BAREWALK " " + quoted(root));
    return peers;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long entries = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    const int rounds = 5;
    const std::string base = "/var/tmp/tarnwell-bench";

    const bool memoryOnly = argc > 2 && std::string(argv[2]) == "--memory-only";
    // Warm rounds alone, for quick comparisons while working on the search.
    const bool warmOnly = argc > 2 && std::string(argv[2]) == "--warm-only";
    // Cold rounds of ours alone, each printed: the cold gap moves from run to
    // run, and one figure of three rounds says little about a change.
    const bool coldOnly = argc > 2 && std::string(argv[2]) == "--cold-only";
    std::printf("generating a %ld-entry tree under %s (kept between runs) ...\n", entries,
                base.c_str());
    std::fflush(stdout);
    const Tree tree = generateTree(base, entries, false);
    std::vector<Peer> peers = peersFor(tree.root);

    if (coldOnly) {
        for (int r = 0; r < 10 && dropCaches(); ++r) {
            const SearchFigures f = searchWithWindow(tree.root, false);
            std::printf("cold round %d: %.2f s, longest gap %.1f ms, a click's wait %.1f ms\n",
                        r + 1, f.seconds, f.longestGapMs, f.longestClickWaitMs);
            std::fflush(stdout);
        }
        return 0;
    }

    // Warm the cache and check the result sets before timing anything.
    SearchFigures first = memoryOnly ? SearchFigures{} : searchWithWindow(tree.root, true);
    if (!memoryOnly && first.results != tree.hidden)
        throw std::runtime_error("our results differ from the tree's hidden files");
    double ignored;
    for (const Peer& p : memoryOnly ? std::vector<Peer>{} : peers) {
        std::printf("peer: %s\n", p.command.c_str());
        if (runPeer(p.command, ignored) != tree.dotNamed)
            throw std::runtime_error(p.name + "'s results differ from the tree's dot files");
    }

    std::vector<double> ours, gaps, cpu, clicks;
    for (int r = 0; r < (memoryOnly ? 0 : rounds); ++r) {
        SearchFigures f = searchWithWindow(tree.root, false);
        ours.push_back(f.seconds);
        gaps.push_back(f.longestGapMs);
        clicks.push_back(f.longestClickWaitMs);
        cpu.push_back(f.windowCpuSeconds);
        for (Peer& p : peers) {
            if (p.coldOnly)
                continue;
            double s;
            runPeer(p.command, s);
            p.warm.push_back(s);
        }
    }
    if (!memoryOnly) {
        std::printf("search of %ld entries, %zu hidden files (median of %d rounds, warm cache)\n",
                    entries, tree.hidden.size(), rounds);
        comparison(ours, peers, false);
        row("  CPU time of the window's thread (median)", median(cpu), "s");
        row("  longest gap between event-loop passes (median)", median(gaps), "ms");
        row("  longest gap between event-loop passes (worst)",
            *std::max_element(gaps.begin(), gaps.end()), "ms");
        row("  longest wait of a posted event, a click's (worst)",
            *std::max_element(clicks.begin(), clicks.end()), "ms");
    }

    // Cold: the caches dropped before every timed command.
    std::vector<double> coldOurs, coldGaps, coldClicks;
    constexpr int kColdRounds = 3;
    for (int r = 0; r < (memoryOnly || warmOnly ? 0 : kColdRounds) && dropCaches(); ++r) {
        SearchFigures f = searchWithWindow(tree.root, false);
        coldOurs.push_back(f.seconds);
        coldGaps.push_back(f.longestGapMs);
        coldClicks.push_back(f.longestClickWaitMs);
        for (Peer& p : peers) {
            double s;
            dropCaches();
            runPeer(p.command, s);
            p.cold.push_back(s);
        }
    }
    if (!coldOurs.empty()) {
        std::printf(
            "the same search, cold cache (caches dropped before each command, median of "
            "%zu rounds)\n",
            coldOurs.size());
        comparison(coldOurs, peers, true);
        row("  longest gap between event-loop passes (worst)",
            *std::max_element(coldGaps.begin(), coldGaps.end()), "ms");
        row("  longest wait of a posted event, a click's (worst)",
            *std::max_element(coldClicks.begin(), coldClicks.end()), "ms");
    } else if (!memoryOnly && !warmOnly) {
        std::printf("cold cache: not measured (dropping the caches needs root)\n");
    }
    if (warmOnly)
        return 0;

    // Memory: a tree where every one of a million files is hidden.
    const long allHiddenEntries = entries * 20 / 19;
    std::string allRoot;
    size_t allHidden = 0;
    {
        const Tree all = generateTree(base, allHiddenEntries, true);
        allRoot = all.root;
        allHidden = all.hidden.size();
    }
    // Only the window's own memory is to count.
    std::vector<std::string>().swap(first.results);
    malloc_trim(0);
    resetPeak();
    const double before = currentMiB();
    SearchFigures f = searchWithWindow(allRoot, false);
    const double peak = peakMiB();
    std::printf("search finding %zu hidden files\n", allHidden);
    row("  time", f.seconds, "s");
    row("  peak resident size", peak, "MiB");
    row("  bytes per result above the idle window",
        (peak - before) * 1024 * 1024 / double(allHidden), "B");
    row("  resident size before the window opened", before, "MiB");
    return 0;
}
