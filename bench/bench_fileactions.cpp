// The actions on selected results at 10,000 entries: unhiding files a
// ".hidden" list names, moving dot files to the trash, and the drag's data.
// Only the action is timed; making the files and the search are not.
#include <QApplication>
#include <QDir>
#include <QMimeData>
#include <cstdio>
#include <ctime>
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

// The process's own processor time, user and system: on a shared machine
// the wall clock also counts other programs' turns.
double cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Wall and processor seconds of one action.
template <typename F>
void time(std::vector<double>& wall, std::vector<double>& cpu, F&& action) {
    const double before = cpuSeconds();
    wall.push_back(seconds(action));
    cpu.push_back(cpuSeconds() - before);
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
    std::vector<double> unhide, trash, drag, unhideCpu, trashCpu, dragCpu;
    for (int r = 0; r < 5; ++r) {
        searchFreshFolder(b, dir + QStringLiteral("/listed"), false);
        time(unhide, unhideCpu, [&] { unhideSelectedResults(b.form->window()); });
        expectLeft(b, 1, "unhide left entries behind");  // .hidden itself

        searchFreshFolder(b, dir + QStringLiteral("/dots"), true);
        ListControl& results = *b.form->ListView2;
        time(drag, dragCpu, [&] {
            std::unique_ptr<QMimeData>(
                results.model()->mimeData(results.selectionModel()->selectedIndexes()));
        });
        // An empty trash each round, so no round pays for the names of the last.
        QDir(dir + QStringLiteral("/data/Trash")).removeRecursively();
        b.dialogs.answers.push_back(vbYes);
        time(trash, trashCpu, [&] { moveSelectedResultsToTrash(b.form->window()); });
        expectLeft(b, 0, "the trash left entries behind");
    }
    QDir(dir).removeRecursively();
    std::printf("actions on %d selected results (median of 5 rounds)\n", kSelected);
    row("  unhide (one .hidden list)", median(unhide), "s");
    row("    processor time, user and system", median(unhideCpu), "s");
    row("  move to trash", median(trash), "s");
    row("    processor time, user and system", median(trashCpu), "s");
    row("  drag data", median(drag), "s");
    row("    processor time, user and system", median(dragCpu), "s");
    return 0;
}
