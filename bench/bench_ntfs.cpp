// The search on a small NTFS volume mounted through FUSE (ntfs-3g), where
// every attribute read is a round trip to the driver, against find there.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <memory>

#include "app/form1.h"
#include "benchutil.h"
#include "benchwindow.h"
#include "process/yield.h"
#include "support/fakes.h"
#include "support/search_trees.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::bench;
using namespace tarnwell::test;

namespace {

std::vector<std::string> find(const QString& root, double& secs) {
    return runPeer("find '" + root.toStdString() + "' -name '.*' -type f", secs);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long entries = argc > 1 ? std::min(std::atol(argv[1]) / 50, 20000L) : 20000;
    const int rounds = 5;
    NtfsVolume volume(256);
    if (volume.mountPoint().isEmpty()) {
        std::printf("NTFS benchmark skipped: %s\n", qPrintable(volume.why()));
        return 0;
    }
    // 20 files a folder; every tenth file a dot name, every tenth of the
    // others marked Hidden by attribute instead.
    const QString root = volume.mountPoint() + QStringLiteral("/tree");
    std::vector<std::string> dotNamed, hidden;
    for (long i = 0; i < entries; ++i) {
        const QString folder = root + QStringLiteral("/d%1").arg(i / 20, 4, 10, QLatin1Char('0'));
        if (i % 20 == 0)
            QDir().mkpath(folder);
        const bool dot = i % 10 == 0, attr = !dot && i % 10 == 5;
        const QString path =
            folder + (dot ? QStringLiteral("/.f%1") : QStringLiteral("/f%1")).arg(i);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write on the NTFS volume");
        f.close();
        if (attr && !NtfsVolume::setAttributes(path, 0x22))
            throw std::runtime_error("cannot set attributes");
        if (dot)
            dotNamed.push_back(path.toStdString());
        if (dot || attr)
            hidden.push_back(path.toStdString());
    }
    std::sort(dotNamed.begin(), dotNamed.end());
    std::sort(hidden.begin(), hidden.end());

    double s;
    if (searchResults(root, s) != hidden || find(root, s) != dotNamed)
        throw std::runtime_error("result sets differ from the volume's hidden files");
    std::vector<double> ours, peer;
    searchBesidePeer(
        root, rounds,
        [&] {
            double t;
            find(root, t);
            return t;
        },
        ours, peer);
    std::printf("search of %ld files on ntfs-3g (median of %d rounds)\n", entries, rounds);
    row("  ours, end to end", median(ours), "s");
    row("  find -name '.*' -type f", median(peer), "s");
    row("  ratio ours / find", median(ours) / median(peer), "x");
    return 0;
}
