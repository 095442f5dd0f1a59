// End to end: the real main window (offscreen) searches a generated tree,
// against find and fd on the same tree, with the event-loop gaps and the
// memory a search costs.
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
#include "platform/yield.h"
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

// Our time against find's and fd's (when fd was run), as medians.
void comparison(const std::vector<double>& ours, const std::vector<double>& find,
                const std::vector<double>& fd) {
    row("  ours, end to end (click to Done.)", median(ours), "s");
    row("  find -name '.*' -type f", median(find), "s");
    row("  ratio ours / find", median(ours) / median(find), "x");
    if (!fd.empty()) {
        row("  fdfind -HI -t f '^\\.'", median(fd), "s");
        row("  ratio ours / fd", median(ours) / median(fd), "x");
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
    const std::string findCmd = "find '" + tree.root + "' -name '.*' -type f";
    const std::string fdCmd = "fdfind -HI -t f '^\\.' '" + tree.root + "'";
    const bool haveFd = haveCommand("fdfind");

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
    if (!memoryOnly && runPeer(findCmd, ignored) != tree.dotNamed)
        throw std::runtime_error("find's results differ from the tree's dot files");
    if (!memoryOnly && haveFd && runPeer(fdCmd, ignored) != tree.dotNamed)
        throw std::runtime_error("fd's results differ from the tree's dot files");

    std::vector<double> ours, find, fd, gaps, cpu, clicks;
    for (int r = 0; r < (memoryOnly ? 0 : rounds); ++r) {
        SearchFigures f = searchWithWindow(tree.root, false);
        ours.push_back(f.seconds);
        gaps.push_back(f.longestGapMs);
        clicks.push_back(f.longestClickWaitMs);
        cpu.push_back(f.windowCpuSeconds);
        double s;
        runPeer(findCmd, s);
        find.push_back(s);
        if (haveFd) {
            runPeer(fdCmd, s);
            fd.push_back(s);
        }
    }
    if (!memoryOnly) {
        std::printf("search of %ld entries, %zu hidden files (median of %d rounds, warm cache)\n",
                    entries, tree.hidden.size(), rounds);
        comparison(ours, find, fd);
        row("  CPU time of the window's thread (median)", median(cpu), "s");
        row("  longest gap between event-loop passes (median)", median(gaps), "ms");
        row("  longest gap between event-loop passes (worst)",
            *std::max_element(gaps.begin(), gaps.end()), "ms");
        row("  longest wait of a posted event, a click's (worst)",
            *std::max_element(clicks.begin(), clicks.end()), "ms");
    }

    // Cold: the caches dropped before every timed command.
    std::vector<double> coldOurs, coldFind, coldFd, coldGaps, coldClicks;
    constexpr int kColdRounds = 3;
    for (int r = 0; r < (memoryOnly || warmOnly ? 0 : kColdRounds) && dropCaches(); ++r) {
        SearchFigures f = searchWithWindow(tree.root, false);
        coldOurs.push_back(f.seconds);
        coldGaps.push_back(f.longestGapMs);
        coldClicks.push_back(f.longestClickWaitMs);
        double s;
        dropCaches();
        runPeer(findCmd, s);
        coldFind.push_back(s);
        if (haveFd) {
            dropCaches();
            runPeer(fdCmd, s);
            coldFd.push_back(s);
        }
    }
    if (!coldOurs.empty()) {
        std::printf(
            "the same search, cold cache (caches dropped before each command, median of "
            "%zu rounds)\n",
            coldOurs.size());
        comparison(coldOurs, coldFind, coldFd);
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
