// The result tools at a million entries: the filter (removing half), the
// text file, the clipboard and the workbook, each with its peak memory.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <memory>

#include "app/form1.h"
#include "benchutil.h"
#include "benchwindow.h"
#include "process/yield.h"
#include "results/spreadsheet.h"
#include "support/fakes.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::bench;
using namespace tarnwell::test;

namespace {

struct Bench : BenchWindow {
    explicit Bench(const QString& folder) : BenchWindow(folder) {}

    void fill(int n) {
        ListControl& list = *form->ListView2;
        list.Clear();
        QByteArray path("/home/user/projects/some/deeper/folder/xxxx/.hidden-000000");
        for (int i = 0; i < n; ++i) {
            std::memcpy(path.data() + 39, i % 2 ? "odd/" : "even", 4);
            std::snprintf(path.data() + path.size() - 6, 7, "%06d", i % 1000000);
            list.Add(path);
        }
        QCoreApplication::processEvents();
    }
};

struct Figure {
    std::vector<double> secs, peaks;
};

template <typename F>
void measure(Bench& b, int n, Figure& fig, F&& op) {
    b.fill(n);
    b.dialogs.boxes.clear();
    resetPeak();
    const double base = currentMiB();
    fig.secs.push_back(seconds(op));
    fig.peaks.push_back(peakMiB() - base);
}

void print(const char* what, const Figure& f) {
    std::printf("%s\n", what);
    row("  time", median(f.secs), "s");
    row("  peak memory above the filled list", median(f.peaks), "MiB");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
    const int rounds = 5;
    const QString dir = QStringLiteral("/var/tmp/tarnwell-bench/exports");
    QDir().mkpath(dir);
    const QString textFile = dir + QStringLiteral("/results.txt");
    Bench b(dir);

    Figure filter, text, clipboard, workbook;
    for (int r = 0; r < rounds; ++r) {
        measure(b, n, filter, [&] {
            b.dialogs.inputs.push_back(QStringLiteral("/ODD/"));
            b.form->PushButton17_Click();
        });
        if (b.form->ListView2->Count() != n / 2)
            throw std::runtime_error("the filter did not remove half");

        measure(b, n, text, [&] {
            b.dialogs.saveNames.push_back(textFile);
            b.dialogs.answers.push_back(vbYes);  // overwrite the previous round's file
            b.form->PushButton2_Click();
        });
        if (b.dialogs.countContaining(QStringLiteral("Done.")) != 1)
            throw std::runtime_error("the text export did not finish");

        measure(b, n, clipboard, [&] { b.form->PushButton5_Click(); });
        if (b.clipboard.text.size() < n)
            throw std::runtime_error("the clipboard text is short");

        measure(b, n, workbook, [&] { b.form->PushButton14_Click(); });
        if (b.shell.openedFiles.size() != size_t(r + 1))
            throw std::runtime_error("the workbook was not completed");
        QFile::remove(b.shell.openedFiles.back());
    }
    std::printf("result tools at %d entries (median of %d rounds)\n", n, rounds);
    print("remove results containing X (removing half)", filter);
    print("save results as text file", text);
    print("copy results to clipboard", clipboard);
    print("save results as workbook (written, not opened)", workbook);
    return 0;
}
