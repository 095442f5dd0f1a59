// The read plan on its own, with no thread: the test is both the walk and
// the readers, and reads each folder the plan hands out from a real tree.
#include <fcntl.h>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <set>

#include "search/readplan.h"

using namespace tarnwell;
using Folder = ReadPlan::Folder;

namespace {

std::string nameOf(const Folder& parent, std::size_t index) {
    const DirListing& listing = parent->read->listing;
    return listing.name(listing.folders()[index]);
}

// top/ with `wide` subfolders. Once the top is read, its first subfolder in
// the listing's order is given `deep` of its own.
struct Driver {
    Driver(const QTemporaryDir& dir, int wide, int deep) {
        const QString top = dir.path() + "/top";
        for (int i = 0; i < wide; ++i) QDir().mkpath(top + QStringLiteral("/s%1").arg(i));
        root = plan.top(QFile::encodeName(top).toStdString());
        plan.take(root);  // the walk waits for it
        finish(hand());
        plan.take(root);
        for (int i = 0; i < deep; ++i)
            QDir().mkpath(top + '/' + nameOf(root, 0).c_str() + QStringLiteral("/t%1").arg(i));
    }
    ~Driver() {
        plan.close();
        ReadPlan::Spent spent;
        plan.takeSpent(spent);
    }

    // As a reader asks: the folder handed out, now Reading, or null.
    Folder hand() {
        Folder f = plan.next(0, [&](const ReadPlan::Node& n) { return stuck.count(n.name) > 0; });
        if (f)
            handed.push_back(f->name);
        return f;
    }
    // As a reader gives a read back; false when nobody takes it.
    bool finish(const Folder& f) {
        auto read = std::make_shared<FolderRead>(
            readFolder(f->parentFd ? f->parentFd->get() : AT_FDCWD, f->name.c_str(), false));
        std::vector<Folder> subfolders(read->listing.folders().size());
        if (plan.done(f, read, subfolders))
            woken.push_back(f->name);
        return !read;
    }
    int readAll() {
        int n = 0;
        for (Folder f; (f = hand()); ++n) finish(f);
        return n;
    }
    // The walk takes subfolder `index` of `parent`: null when it is not read.
    Folder take(const Folder& parent, std::size_t index) {
        ReadPlan::Taken taken;
        Folder f = plan.subfolder(parent, index, taken);
        return taken.read ? f : nullptr;
    }

    ReadPlan plan;
    Folder root;
    std::set<std::string> stuck;
    std::vector<std::string> handed, woken;
};

}  // namespace

class ReadPlanTest : public QObject {
    Q_OBJECT
private slots:
    // Depth first, but what the walk asks for first of all, unless a reader
    // of an earlier walk is stuck on it: then once that reader is back.
    void order_data() {
        QTest::addColumn<QString>("asked");     // what the walk asks for before it is read
        QTest::addColumn<QString>("expected");  // the top's subfolders by index; t: the first's
        QTest::newRow("depth first") << ""
                                     << "0 t 1 2";
        QTest::newRow("a demand first") << "1"
                                        << "1 0 t 2";
        QTest::newRow("a stuck folder parked, then released") << "1 stuck"
                                                              << "0 t 2 1";
    }
    void order() {
        QFETCH(QString, asked);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        Driver d(dir, 3, 3);
        std::vector<std::string> want{d.root->name};
        if (!asked.isEmpty()) {
            want.push_back(nameOf(d.root, 1));
            QVERIFY(!d.take(d.root, 1) && !d.plan.take(d.root->children[1]).read);
            if (asked.endsWith("stuck"))
                d.stuck.insert(want.back());
        }
        d.readAll();
        QCOMPARE(d.plan.ready(d.root->children[1]), d.stuck.empty());
        d.stuck.clear();
        d.plan.unpark();
        d.readAll();
        const std::vector<std::string> woken = want;  // the walk is woken for what it waits for
        want.resize(1);
        for (const QString& part : expected.split(' '))
            for (std::size_t i = 0; i < (part == "t" ? 3 : 1); ++i)
                want.push_back(part == "t" ? nameOf(d.root->children[0], i)
                                           : nameOf(d.root, part.toUInt()));
        QCOMPARE(d.handed, want);
        QCOMPARE(d.woken, woken);
    }

    // A full window is refilled once the walk has taken half of it; a folder
    // that comes before the last one in it may go past it, up to twice.
    void window() {
        QTemporaryDir dir;
        Driver d(dir, 200, 200);
        std::vector<Folder> held;
        for (Folder f; (f = d.hand());) held.push_back(f);
        QCOMPARE(held.size(), size_t(kReadWindow));
        d.finish(held[0]);  // its subfolders come before the last folder held
        QCOMPARE(d.readAll(), kStretchedReadWindow - kReadWindow);
        for (std::size_t i = 1; i < held.size(); ++i) d.finish(held[i]);
        QVERIFY(!d.hand());
        // The walk takes them in its order, and is done with the first one's.
        std::vector<int> refills;  // how many were still held at each refill
        int left = kStretchedReadWindow;
        const auto take = [&](const Folder& parent, std::size_t index) {
            Folder f = d.take(parent, index);
            left -= f ? 1 : kReadWindow;
            if (d.plan.takeWake() == ReadPlan::Wake::All)
                refills.push_back(left);
            return f;
        };
        const Folder first = take(d.root, 0);
        for (int i = 0; i < kStretchedReadWindow - kReadWindow; ++i) take(first, std::size_t(i));
        d.plan.forget(first);
        for (std::size_t i = 1; left > kReadRefillMark; ++i) take(d.root, i);
        QCOMPARE(refills, std::vector{kReadRefillMark});
        QCOMPARE(d.readAll(), kReadWindow - kReadRefillMark);
    }

    // The walk done with a folder: what was read below it is let go, handed
    // over to be freed elsewhere, and a read still in flight there comes back
    // to nobody; its sibling stays.
    void cancellingASubtree() {
        QTemporaryDir dir;
        Driver d(dir, 2, 2);
        const Folder first = d.hand();
        d.finish(first);
        const Folder inFlight = d.hand(), read = d.hand();
        d.finish(read);
        const std::vector<const void*> reads{first->read.get(), read->read.get()};
        ReadPlan::Spent spent;
        d.plan.takeSpent(spent);
        spent.clear();
        d.plan.forget(d.take(d.root, 0));
        d.plan.takeSpent(spent);
        for (const void* r : reads)
            QVERIFY(std::count_if(spent.begin(), spent.end(),
                                  [&](const auto& p) { return p.get() == r; }));
        QVERIFY(!first->read && !read->read && read->stage == ReadPlan::Stage::Cancelled);
        QVERIFY(!d.finish(inFlight) && !inFlight->read && d.plan.inFlight().empty());
        QCOMPARE(d.readAll(), 1);
        QVERIFY(d.take(d.root, 1));
    }
};

QTEST_MAIN(ReadPlanTest)
#include "test_readplan.moc"
