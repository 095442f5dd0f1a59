// The search of a share the desktop mounted through GIO (gvfs FUSE), where
// each folder's DOS bits are one GIO enumeration, against find on the same
// FUSE path. The share is served by a real smbd on 127.0.0.1.
#include <sys/xattr.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

#include "app/form1.h"
#include "benchutil.h"
#include "benchwindow.h"
#include "support/shares.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::bench;
using namespace tarnwell::test;

// Thrown failures end here, after the server and the session have gone.
int measure(long entries);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    try {
        return measure(argc > 1 ? std::min(std::atol(argv[1]) / 50, 20000L) : 20000);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gvfs benchmark failed: %s\n", e.what());
        return 1;
    }
}

int measure(long entries) {
    const int rounds = 5;
    SambaServer server;
    if (!server.why().isEmpty()) {
        std::printf("gvfs benchmark skipped: %s\n", qPrintable(server.why()));
        return 0;
    }
    // 20 files a folder; every tenth file a dot name, every tenth of the
    // others Hidden + Archive as smbd stores it for a Windows client.
    const QByteArray hiddenBlob =
        QByteArray::fromHex("000005000500000011000000220000003bf6e56c2d86dd01");
    const QString share = server.shareFolder();
    std::vector<QString> dotNamed, hidden;
    for (long i = 0; i < entries; ++i) {
        const QString folder = QStringLiteral("/d%1").arg(i / 20, 4, 10, QLatin1Char('0'));
        if (i % 20 == 0)
            QDir().mkpath(share + folder);
        const bool dot = i % 10 == 0, attr = !dot && i % 10 == 5;
        const QString path =
            folder + (dot ? QStringLiteral("/.f%1") : QStringLiteral("/f%1")).arg(i);
        QFile f(share + path);
        if (!f.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write in the share");
        f.close();
        if (attr && ::setxattr(QFile::encodeName(share + path), "user.DOSATTRIB",
                               hiddenBlob.constData(), size_t(hiddenBlob.size()), 0) != 0)
            throw std::runtime_error("cannot set user.DOSATTRIB");
        if (dot || attr)
            (dot ? dotNamed : hidden).push_back(path);
    }
    GioSession session(server);
    if (!session.why().isEmpty()) {
        std::printf("gvfs benchmark skipped: %s\n", qPrintable(session.why()));
        return 0;
    }
    const QString root = session.mountedShare();
    const auto under = [&](std::vector<QString> paths) {
        std::vector<std::string> out;
        for (const QString& p : paths) out.push_back((root + p).toStdString());
        std::sort(out.begin(), out.end());
        return out;
    };
    std::vector<QString> all = hidden;
    all.insert(all.end(), dotNamed.begin(), dotNamed.end());
    const std::string findCmd = "find '" + root.toStdString() + "' -name '.*' -type f";
    double s;
    const auto ours0 = searchResults(root, s), find0 = runPeer(findCmd, s);
    if (ours0 != under(all) || find0 != under(dotNamed))
        throw std::runtime_error(
            "result sets differ from the share's hidden files: ours " +
            std::to_string(ours0.size()) + " of " + std::to_string(all.size()) + ", find " +
            std::to_string(find0.size()) + " of " + std::to_string(dotNamed.size()));
    std::vector<double> ours, peer;
    searchBesidePeer(
        root, rounds,
        [&] {
            double t;
            runPeer(findCmd, t);
            return t;
        },
        ours, peer);
    std::printf("search of %ld files on a gvfs-mounted SMB share (median of %d rounds)\n", entries,
                rounds);
    row("  ours, end to end", median(ours), "s");
    row("  find -name '.*' -type f", median(peer), "s");
    row("  ratio ours / find", median(ours) / median(peer), "x");
    return 0;
}
