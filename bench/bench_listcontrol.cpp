// A million entries through the list control, as a search appends them: each
// added, scrolled into view, with the event loop running as the real yield
// runs it.
#include <QApplication>
#include <QElapsedTimer>

#include "benchutil.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::bench;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
    const int rounds = 5;

    std::vector<double> times, perEntry;
    double peak = 0;
    for (int round = 0; round < rounds; ++round) {
        ListControl list(true);
        list.AddColumn(QStringLiteral("Results"));
        list.resize(520, 246);
        list.show();
        QCoreApplication::processEvents();
        resetPeak();
        const double base = currentMiB();
        QElapsedTimer sinceLoop;
        sinceLoop.start();
        times.push_back(seconds([&] {
            QByteArray path("/home/user/projects/some/deeper/folder/.hidden-file-000000");
            for (int i = 0; i < n; ++i) {
                std::snprintf(path.data() + path.size() - 6, 7, "%06d", i % 1000000);
                list.EnsureVisible(list.Add(path, 1));
                if (sinceLoop.elapsed() >= 20) {
                    QCoreApplication::processEvents();
                    sinceLoop.restart();
                }
            }
            QCoreApplication::processEvents();
        }));
        const double used = peakMiB() - base;
        peak = std::max(peak, used);
        perEntry.push_back(used * 1024 * 1024 / n);
    }
    std::printf("list control, %d appends with EnsureVisible (median of %d rounds)\n", n, rounds);
    row("  time", median(times), "s");
    row("  peak memory above the empty window", peak, "MiB");
    row("  bytes per entry (60-byte paths)", median(perEntry), "B");
    return 0;
}
