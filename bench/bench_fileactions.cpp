// The actions on selected results at 10,000 entries: unhiding files a
// ".hidden" list names, moving dot files to the trash, and the drag's data.
// Only the action is timed; making the files and the search are not.
#include <sys/resource.h>
#include <QApplication>
#include <QDir>
#include <QMimeData>
#include <cstdio>
#include <memory>

#include "benchutil.h"
#include "benchwindow.h"
#include "results/fileactions.h"
#include "support/trees.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::bench;

namespace {

constexpr int kSelected = 10'000;

// The process's own processor time, in user mode and in the kernel: on a
// shared machine the wall clock also counts other programs' turns, and
// the kernel's share is the file system's work, not ours.
struct Cpu {
    double user = 0, system = 0;
};

Cpu cpuNow() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    const auto secs = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return {secs(u.ru_utime), secs(u.ru_stime)};
}

struct Figure {
    std::vector<double> wall, user, system;
};

template <typename F>
void timeAction(Figure& f, F&& action) {
    const Cpu before = cpuNow();
    f.wall.push_back(seconds(action));
    const Cpu after = cpuNow();
    f.user.push_back(after.user - before.user);
    f.system.push_back(after.system - before.system);
}

void print(const char* what, const Figure& f) {
    row(what, median(f.wall), "s");
    row("    processor time in the program", median(f.user), "s");
    row("    processor time in the kernel", median(f.system), "s");
}

// A fresh folder of kSelected files, searched, with every result selected.
void searchFreshFolder(BenchWindow& b, const QString& folder, bool dotNames) {
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QByteArray list;
    for (int i = 0; i < kSelected; ++i) {
        const QByteArray name = (dotNames ? ".f" : "f") + QByteArray::number(i);
        test::writeFile(QFile::encodeName(folder) + '/' + name, {});
        list += name + '\n';
    }
    if (!dotNames)
        test::writeFile(QFile::encodeName(folder) + "/.hidden", list);
    ListControl& results = *b.form->ListView2;
    results.Clear();
    b.form->ListView1->Clear();
    b.form->ListView1->Add(folder);
    b.form->PushButton1_Click();
    results.entries().publish();
    results.selectAll();
    b.dialogs.boxes.clear();
}

// Every file dealt with: no report of files kept, only the entries expected left.
void expectLeft(const BenchWindow& b, int left, const char* what) {
    bool kept = false;
    for (const test::Box& box : b.dialogs.boxes) kept = kept || box.style == vbExclamation;
    if (kept || b.form->ListView2->Count() != left) {
        for (const test::Box& box : b.dialogs.boxes)
            std::fprintf(stderr, "%s\n", qPrintable(box.text.left(300)));
        std::fprintf(stderr, "%d entries left\n", b.form->ListView2->Count());
        throw std::runtime_error(what);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString dir = QStringLiteral("/var/tmp/tarnwell-bench/actions");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir + QStringLiteral("/data")));
    BenchWindow b;
    Figure unhide, trash, drag;
    for (int r = 0; r < 5; ++r) {
        searchFreshFolder(b, dir + QStringLiteral("/listed"), false);
        timeAction(unhide, [&] { unhideSelectedResults(b.form->window()); });
        expectLeft(b, 1, "unhide left entries behind");  // .hidden itself

        searchFreshFolder(b, dir + QStringLiteral("/dots"), true);
        ListControl& results = *b.form->ListView2;
        timeAction(drag, [&] {
            std::unique_ptr<QMimeData>(
                results.model()->mimeData(results.selectionModel()->selectedIndexes()));
        });
        // An empty trash each round, so no round pays for the names of the last.
        QDir(dir + QStringLiteral("/data/Trash")).removeRecursively();
        b.dialogs.answers.push_back(vbYes);
        timeAction(trash, [&] { moveSelectedResultsToTrash(b.form->window()); });
        expectLeft(b, 0, "the trash left entries behind");
    }
    QDir(dir).removeRecursively();
    std::printf("actions on %d selected results (median of 5 rounds)\n", kSelected);
    print("  unhide (one .hidden list)", unhide);
    print("  move to trash", trash);
    print("  drag data", drag);
    return 0;
}
