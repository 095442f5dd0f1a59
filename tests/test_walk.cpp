// The walk against a plain recursive one written here: over wide, deep,
// too-long, unreadable and changing trees, the same finds in the same order
// and the same boxes at the same points, whatever the readers read ahead.
// And its read plan on its own, with no thread: the test is both the walk
// and the readers, and reads each folder the plan hands out from a real tree.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>

#include "search/readplan.h"
#include "support/fakes.h"
#include "support/search_trees.h"

using namespace tarnwell;
using namespace tarnwell::test;
using Folder = ReadPlan::Folder;

namespace {

// What the user sees: the finds, then the boxes as "what@line" or
// "long:folder", in order.
struct Trace {
    QStringList found, boxes;
};

// The reference: reads each folder when it gets there, recursing.
class Reference {
public:
    std::function<void(int)> atFile;  // before the n-th file is looked at, from 1

    void walk(const QByteArray& path) {
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            const int e = errno;
            trace.boxes << QString::fromLocal8Bit(std::strerror(e)) + (e == EACCES ? "@50" : "@20");
            return;
        }
        DIR* dir = ::fdopendir(fd);
        QList<QByteArray> files, folders, listed;
        bool hasList = false;  // one that is a plain file, not a FIFO
        while (const dirent* d = ::readdir(dir)) {
            const QByteArray name(d->d_name);
            if (name != "." && name != "..")
                (d->d_type == DT_DIR ? folders : files) << name;
            hasList |= name == ".hidden" && d->d_type == DT_REG;
        }
        ::closedir(dir);
        QFile list(QFile::decodeName(path + "/.hidden"));
        if (hasList && list.open(QIODevice::ReadOnly))
            for (QByteArray line : list.readAll().split('\n'))
                listed << (line.endsWith('\r') ? line.chopped(1) : line);
        bool fits = true;
        for (const QByteArray& f : files) fits &= QFile::decodeName(path + '/' + f).size() <= 260;
        if (!fits)
            trace.boxes << "long:" + QFile::decodeName(path) + '/';
        for (const QByteArray& f : fits ? files : QList<QByteArray>()) {
            if (atFile)
                atFile(++examined);
            if (f.startsWith('.') || listed.contains(f))
                trace.found << QFile::decodeName(path + '/' + f);
        }
        for (const QByteArray& f : folders) walk(path + '/' + f);
    }

    Trace trace;
    int examined = 0;
};

QStringList boxesOf(const FakeDialogs& dialogs) {
    QStringList boxes;
    for (const Box& b : dialogs.messages()) {
        if (b.title == QLatin1String("Application Error"))
            boxes << b.text.section('\r', 0, 0) + '@' +
                         b.text.section(QLatin1String("at line "), 1).section('\r', 0, 0);
        else if (b.text.startsWith(QLatin1String("The length of filenames in folder ")))
            boxes << "long:" + b.text.section(QLatin1String(" folder "), 1)
                                   .section(QLatin1String(" is too long"), 0, 0);
    }
    return boxes;
}

// A tree of `folders` folders below root, each placed under a random earlier
// one, with a few files each; some names hidden, some long, a .hidden list,
// links that lead back up and out of the tree, and two lists that cannot be
// read: a locked one, and a FIFO that would block.
void makeRandomTree(const QString& root, int folders, quint32 seed) {
    QRandomGenerator random(seed);
    QStringList paths{root};
    for (int i = 1; i < folders; ++i) {
        const QString parent = paths[int(random.bounded(paths.size()))];
        paths << parent + (i % 7 ? "/d" : "/.d") + QString::number(i);
        QDir().mkpath(paths.back());
    }
    for (const QString& p : paths) {
        for (int f = int(random.bounded(4)); f > 0; --f)
            writeFile(QFile::encodeName(p + (f % 2 ? "/.f" : "/f") + QString::number(f)), "x");
        if (random.bounded(9) == 0)
            writeFile(QFile::encodeName(p + "/.hidden"), "f2\r\nf4\nnone\n");
    }
    // Names are bytes: not UTF-8, and with a line break.
    writeFile(QFile::encodeName(root) + "/.\xff\xfe", "x");
    QDir().mkpath(root + "/line\nbreak");
    writeFile(QFile::encodeName(root + "/line\nbreak/.in"), "x");
    for (int i = 0; i < 3; ++i)
        writeFile(QFile::encodeName(paths[int(random.bounded(paths.size()))] + "/." +
                                    QString(250, QChar('l'))),
                  "x");
    // Links are files, hidden by their own names, and never followed.
    for (const auto& [target, link] :
         {std::pair(root, paths[1] + "/loop"), std::pair(QStringLiteral(".."), paths[1] + "/.up"),
          std::pair(QStringLiteral("/"), root + "/.root")})
        ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData());
    makeTree(root, {"lists/a", "lists/fifo/a"});
    const QByteArray lists = QFile::encodeName(root + "/lists");
    writeFile(lists + "/.hidden", "a\n");
    ::chmod(lists + "/.hidden", 0);
    ::mkfifo(lists + "/fifo/.hidden", 0644);
}

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

    // As a reader asks: the folder handed out, now Reading, or null. No
    // reader is stuck here; parking is test_hang's.
    Folder hand() {
        Folder f = plan.next(0, [](const ReadPlan::Node&) { return false; });
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
    std::vector<std::string> handed, woken;
};

}  // namespace

class WalkTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(readAsAnOrdinaryUser()); }

    void sameAsAPlainRecursiveWalk_data() {
        QTest::addColumn<int>("folders");
        QTest::addColumn<int>("depth");     // a chain below the tree, past the descriptor budget
        QTest::addColumn<int>("locked");    // folders made unreadable
        QTest::addColumn<int>("changeAt");  // at this file, the change below; 0: none
        QTest::addColumn<QString>("change");
        QTest::newRow("wide and random") << 3000 << 0 << 0 << 0 << QString();
        QTest::newRow("deep") << 50 << 300 << 0 << 0 << QString();
        QTest::newRow("unreadable folders") << 400 << 0 << 12 << 0 << QString();
        // Trees small enough for the readers to have read the changed
        // folder long before the walk gets there.
        QTest::newRow("a folder removed mid-walk") << 100 << 0 << 0 << 20 << "rm";
        QTest::newRow("a folder renamed mid-walk") << 100 << 0 << 0 << 20 << "mv";
        QTest::newRow("a folder locked mid-walk") << 100 << 0 << 3 << 20 << "lock";
    }
    void sameAsAPlainRecursiveWalk() {
        QFETCH(int, folders);
        QFETCH(int, depth);
        QFETCH(int, locked);
        QFETCH(int, changeAt);
        QFETCH(QString, change);
        // Two trees made alike, one for each walk; their roots are as long,
        // so the same files are too long in both.
        QTemporaryDir dir;
        const QString roots[] = {dir.path() + "/a", dir.path() + "/b"};
        QStringList late;  // folders the walk gets to late, relative to a root
        for (const QString& root : roots) {
            makeRandomTree(root, folders, quint32(folders + depth));
            makeDeep(QFile::encodeName(root + "/d1"), depth, true);
        }
        QDirIterator it(roots[0],
                        QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) late.prepend(it.next().mid(roots[0].size()));
        const auto inTree = [&](int tree, int i) {
            return QFile::encodeName(roots[tree] + late[i]);
        };
        for (int tree = 0; tree < 2; ++tree)
            for (int i = 0; i < locked; ++i) ::chmod(inTree(tree, i * 5).constData(), 0);
        // Changes late in the walk, so the readers have read them ahead.
        const auto changeTree = [&](int tree, int n) {
            const QByteArray target = inTree(tree, locked * 5 + 1);
            if (!changeAt || n != changeAt)
                return;
            if (change == "rm")
                removeTree(QFile::decodeName(target));
            else if (change == "mv")
                ::rename(target.constData(), (target + ".moved").constData());
            else
                ::chmod(target.constData(), 0);
        };

        Harness h;
        h.yield.onYield = [&](int n) { changeTree(0, n - 2); };  // the run's two come first
        const Trace walked{h.search({roots[0]}), boxesOf(h.dialogs)};
        Reference reference;
        reference.atFile = [&](int n) { changeTree(1, n); };
        reference.walk(QFile::encodeName(roots[1]));
        Trace expected = reference.trace;
        for (QStringList* list : {&expected.found, &expected.boxes})
            list->replaceInStrings(roots[1], roots[0]);

        for (const QString& root : roots)  // parents first, so each child can be reached
            for (auto p = late.crbegin(); p != late.crend(); ++p)
                ::chmod(QFile::encodeName(root + *p).constData(), 0755);
        QCOMPARE(walked.found, expected.found);
        QCOMPARE(walked.boxes, expected.boxes);
        QVERIFY(walked.found.size() > 10);
        // One turn of the window per file looked at, after the run's two.
        QCOMPARE(h.yield.count, 2 + reference.examined);
        removeTree(dir.path());  // QTemporaryDir cannot remove names that are not UTF-8
    }

    // Depth first, but what the walk asks for first of all.
    void order() {
        for (const bool demand : {false, true}) {
            QTemporaryDir dir;
            Driver d(dir, 3, 3);
            std::vector<std::string> want{d.root->name};
            if (demand) {
                want.push_back(nameOf(d.root, 1));
                QVERIFY(!d.take(d.root, 1) && !d.plan.take(d.root->children[1]).read);
            }
            d.readAll();
            const std::vector<std::string> woken = want;  // the walk is woken for what it waits for
            want.resize(1);
            // The top's subfolders by index; t: the first one's.
            for (const QString& part : QString(demand ? "1 0 t 2" : "0 t 1 2").split(' '))
                for (std::size_t i = 0; i < (part == "t" ? 3 : 1); ++i)
                    want.push_back(part == "t" ? nameOf(d.root->children[0], i)
                                               : nameOf(d.root, part.toUInt()));
            QCOMPARE(d.handed, want);
            QCOMPARE(d.woken, woken);
        }
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

QTEST_MAIN(WalkTest)
#include "test_walk.moc"
