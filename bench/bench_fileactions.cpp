// The actions on selected results at 10,000 entries: unhiding files a
// ".hidden" list names, moving dot files to the trash, and the drag's data.
// Only the action is timed; making the files and the search are not.
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
    results.selectAll();
    b.dialogs.boxes.clear();
}

// Every file dealt with: no report of files kept, only the entries expected left.
void expectLeft(const BenchWindow& b, int left, const char* what) {
    for (const test::Box& box : b.dialogs.boxes)
        if (box.style == vbExclamation)
            throw std::runtime_error(what);
    if (b.form->ListView2->Count() != left)
        throw std::runtime_error(what);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString dir = QStringLiteral("/var/tmp/tarnwell-bench/actions");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir + QStringLiteral("/data")));
    BenchWindow b;
    std::vector<double> unhide, trash, drag;
    for (int r = 0; r < 5; ++r) {
        searchFreshFolder(b, dir + QStringLiteral("/listed"), false);
        unhide.push_back(seconds([&] { unhideSelectedResults(b.form->window()); }));
        expectLeft(b, 1, "unhide left entries behind");  // .hidden itself

        searchFreshFolder(b, dir + QStringLiteral("/dots"), true);
        ListControl& results = *b.form->ListView2;
        drag.push_back(seconds([&] {
            std::unique_ptr<QMimeData>(
                results.model()->mimeData(results.selectionModel()->selectedIndexes()));
        }));
        b.dialogs.answers.push_back(vbYes);
        trash.push_back(seconds([&] { moveSelectedResultsToTrash(b.form->window()); }));
        expectLeft(b, 0, "the trash left entries behind");
    }
    QDir(dir).removeRecursively();
    std::printf("actions on %d selected results (median of 5 rounds)\n", kSelected);
    row("  unhide (one .hidden list)", median(unhide), "s");
    row("  move to trash", median(trash), "s");
    row("  drag data", median(drag), "s");
    return 0;
}
