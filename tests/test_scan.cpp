// The search on real trees. The walk against a plain recursive one written
// here: over wide, deep, too-long, unreadable and changing trees, with links
// and .hidden lists that cannot be read, the same finds in the same order and
// the same boxes at the same points, whatever the readers read ahead. Its
// read plan on its own, with no thread: the test is both the walk and the
// readers, and reads each folder the plan hands out from a real tree. The
// folders as given, paths far past the path limit, and a folder swapped for
// a link deep in a tree; and the run around it: the Start/Stop button,
// progress, and the end of a run.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QPushButton>
#include <cstring>

#include "search/readerpool.h"
#include "search/readplan.h"
#include "search/scan.h"
#include "search/searchrun.h"
#include "support/fakes.h"
#include "support/search_trees.h"
#include "ui/progressbar.h"

using namespace tarnwell;
using namespace tarnwell::test;
using Folder = ReadPlan::Folder;

namespace {

// The reference: reads each folder when it gets there, recursing. What the
// user sees: the finds, then the boxes as "what@line" or "long:folder", in
// order.
class Reference {
public:
    std::function<void()> atFirstBox;  // while the first box is open

    void walk(const QByteArray& path) {
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            const int e = errno;
            box(QString::fromLocal8Bit(std::strerror(e)) + (e == EACCES ? "@50" : "@20"));
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
            box("long:" + QFile::decodeName(path) + '/');
        for (const QByteArray& f : fits ? files : QList<QByteArray>()) {
            if (f.startsWith('.') || listed.contains(f))
                found << QFile::decodeName(path + '/' + f);
        }
        for (const QByteArray& f : folders) walk(path + '/' + f);
    }

    QStringList found, boxes;

private:
    void box(const QString& box) {
        boxes << box;
        if (boxes.size() == 1 && atFirstBox)
            atFirstBox();
    }
};

// A box for a folder whose names are too long is checked whole here, with its
// kind and title.
QStringList boxesOf(const Harness& h) {
    const QString guard =
        "The length of filenames in folder %1 is too long. \r\nThe maximum "
        "folder length is 260 symbols. \r\nPlease move subfolders to a small "
        "folder.";
    QStringList boxes;
    for (const Box& b : h.dialogs.messages()) {
        const QString folder = b.text.section(" folder ", 1).section(" is too long", 0, 0);
        if (b.title == QLatin1String("Application Error"))
            boxes << b.text.section('\r', 0, 0) + '@' +
                         b.text.section(QLatin1String("at line "), 1).section('\r', 0, 0);
        else if (b.text == guard.arg(folder) && b.style == 0 && b.title == h.services.appTitle)
            boxes << "long:" + folder;
        else if (b.text != QLatin1String("Done."))
            boxes << "unexpected: " + b.text;
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
    for (int i = 0; i < 3; ++i)
        writeFile(QFile::encodeName(paths[int(random.bounded(paths.size()))] + "/." +
                                    QString(250, QChar('l'))),
                  "x");
    // Folders whose paths, with their trailing "/", are 250 characters: a
    // name there makes 260, one more 261; the wide one is 10 characters and
    // 19 bytes.
    for (const QString& name :
         {QStringLiteral("fits/.abcdefghi"), QStringLiteral("over/.abcdefghij"),
          "wide/." + QString(9, QChar(0x00e9))}) {
        QString path = root + '/' + name.section('/', 0, 0);
        path += '/' + QString(248 - path.size(), 'p');
        QDir().mkpath(path);
        writeFile(QFile::encodeName(path + '/' + name.section('/', 1)), "x");
    }
    // Links are files, hidden by their own names, and never followed.
    for (const auto& [target, link] :
         {std::pair(root, paths[1] + "/loop"), std::pair(QStringLiteral(".."), paths[1] + "/.up"),
          std::pair(QStringLiteral("/"), root + "/.root")})
        ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData());
    makeTree(root, {"line\nbreak/.in", "lists/a", "lists/fifo/a"});
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

// In memory where a tmpfs is at hand: big and deep trees take long on a disk.
QString scratch() {
    return QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/tarnwell-XXXXXX") : QString();
}

QStringList texts(const std::vector<Box>& boxes) {
    QStringList out;
    for (const Box& b : boxes) out << b.text.section(QLatin1Char('\r'), 0, 0);
    return out;
}

}  // namespace

class ScanTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(readAsAnOrdinaryUser()); }

    void sameAsAPlainRecursiveWalk_data() {
        QTest::addColumn<int>("folders");
        QTest::addColumn<int>("depth");       // a chain below the tree, past the descriptor budget
        QTest::addColumn<int>("locked");      // folders made unreadable
        QTest::addColumn<QString>("change");  // made while the first box is open
        QTest::newRow("wide and random") << 3000 << 0 << 0 << QString();
        QTest::newRow("deep") << 50 << 300 << 0 << QString();
        QTest::newRow("unreadable folders") << 400 << 0 << 12 << QString();
        // Trees small enough for the readers to have read the changed
        // folder long before the walk gets there.
        QTest::newRow("a folder removed mid-walk") << 100 << 0 << 0 << "rm";
        QTest::newRow("a folder renamed mid-walk") << 100 << 0 << 0 << "mv";
        QTest::newRow("a folder locked mid-walk") << 100 << 0 << 3 << "lock";
    }
    void sameAsAPlainRecursiveWalk() {
        QFETCH(int, folders);
        QFETCH(int, depth);
        QFETCH(int, locked);
        QFETCH(QString, change);
        // Two trees made alike, one for each walk; their roots are as long,
        // so the same files are too long in both.
        QTemporaryDir dir;
        // Locked folders and names that are not UTF-8 are beyond QTemporaryDir.
        const auto removed = qScopeGuard([&] { removeTree(dir.path()); });
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
        // Changes late in the walk, so the readers have read them ahead; the
        // walk waits behind the box, and must see them.
        const auto changeTree = [&](int tree) {
            const QByteArray target = inTree(tree, locked * 5 + 1);
            if (change.isEmpty())
                return;
            if (change == "rm")
                removeTree(QFile::decodeName(target));
            else if (change == "mv")
                ::rename(target.constData(), (target + ".moved").constData());
            else
                ::chmod(target.constData(), 0);
        };

        Harness h;
        h.dialogs.whileOpen = [&](const Box&) {
            if (h.dialogs.boxes.size() == 1)
                changeTree(0);
        };
        const QStringList found = h.search({roots[0]}), boxes = boxesOf(h);
        Reference reference;
        reference.atFirstBox = [&] { changeTree(1); };
        reference.walk(QFile::encodeName(roots[1]));
        for (QStringList* list : {&reference.found, &reference.boxes})
            list->replaceInStrings(roots[1], roots[0]);
        QCOMPARE(found, reference.found);
        QCOMPARE(boxes, reference.boxes);
        QVERIFY(found.size() > 10);
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

    // The folders as given. An empty list changes nothing; the scan itself
    // can leave subfolders out. Two windows search at once, each with
    // readers of its own.
    void entriesFollowTheFolderAsGiven() {
        QTemporaryDir dir;
        const QString r = dir.path();
        makeTree(r, {".top", "in/.x"});
        Harness h, one;
        one.results().Add(QStringLiteral("/kept"));
        one.form->ProgressBar1->setValue(42);
        one.form->searchRun().stopRequested = false;
        one.form->PushButton1_Click();
        QCOMPARE(texts(one.dialogs.messages()), QStringList{"No folders added."});
        QCOMPARE(one.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(one.form->ProgressBar1->Value(), 42.0);
        QVERIFY(one.form->searchRun().stopRequested);
        // While the first window's walk waits behind its box.
        h.dialogs.whileOpen = [&](const Box&) {
            if (one.results().Count() > 1)
                return;
            SearchRunState& run = one.form->searchRun();
            run.stopRequested = false;  // as a run starts
            searchInFiles(one.form->window(), run.stopRequested, run.readers, QFile::encodeName(r),
                          false);
            QCOMPARE(textsOf(one.results()), QStringList({"/kept", r + "/.top"}));
            for (Harness* w : {&h, &one})
                QCOMPARE(w->form->searchRun().readers->threadCount(), ReaderPool::kReaders);
        };
        // No doubled separator; a folder covered twice is listed twice.
        QCOMPARE(h.search({r + "/in/", r + "//in", r + "/missing", r}),
                 QStringList({r + "/in/.x", r + "//in/.x", r + "/.top", r + "/in/.x"}));
        QCOMPARE(h.dialogs.errorReports("Search.searchInFiles", "No such file or directory"), 1);
        QCOMPARE(h.dialogs.messages().size(), size_t(2));  // and "Done."
        QCOMPARE(one.results().Count(), 2);
    }

    // 100,000 folders deep: no recursion on the stack, no path copied per
    // folder, and no more descriptors open at the end than at the start.
    // And deep in a tree the walk closes the folders it will come back to;
    // one of them is swapped for a link meanwhile. Coming back, the walk must
    // not go through the link into a tree it was never asked to search.
    void deepTrees() {
        QTemporaryDir dir(scratch());
        const auto removed = qScopeGuard([&] { removeTree(dir.path()); });
        const QString chain = dir.path() + "/chain";
        makeTree(chain, {".top"});
        makeDeep(QFile::encodeName(chain), 100000, false);
        const int descriptors = int(QDir("/proc/self/fd").count());
        Harness h;
        QCOMPARE(h.search({chain}), QStringList{chain + "/.top"});
        QCOMPARE(h.dialogs.messages().size(), size_t(1));  // "Done."
        // The readers close what the walk is done with, soon after it ends.
        QTRY_COMPARE(int(QDir("/proc/self/fd").count()), descriptors);

        const QString root = dir.path() + "/root", trap = dir.path() + "/elsewhere";
        makeTree(root, {"a/y1/.h", "a/y2/.h", "a/x/", "a/y3/.h", "a/y4/.h"});
        makeTree(trap, {"y1/.trap", "y2/.trap", "y3/.trap", "y4/.trap", "x/.trap"});
        makeDeep(QFile::encodeName(root + "/a/x"), 80, true);
        // At the bottom of the chain, a name too long: the swap comes while
        // its box is open and the walk waits behind it.
        writeFile(QFile::encodeName(root + "/a/x" + QString("/d").repeated(80) + "/." +
                                    QString(200, QChar('l'))),
                  "x");
        Harness swap;
        bool swapped = false;
        swap.dialogs.whileOpen = [&](const Box&) {
            if (swapped)
                return;
            swapped = true;
            QVERIFY(QDir().rename(root + "/a", root + "/a.old") && QFile::link(trap, root + "/a"));
        };
        for (const QString& f : swap.search({root})) QVERIFY2(!f.contains(".trap"), qPrintable(f));
        QVERIFY(swapped);
        QCOMPARE(swap.dialogs.errorReports("Search.searchInFiles", "No such file or directory"), 1);
        QCOMPARE(swap.dialogs.messages().size(), size_t(3));  // the long names, and "Done."
    }

    // A whole run; a Stop click as the second entry begins; or as the first
    // begins, with a Start click at once after it: that run goes through the
    // whole list inside the stopped one, which then finishes too. Each ends
    // at rest.
    void aRunAndItsStop_data() {
        QTest::addColumn<int>("at");  // the entry whose start the clicks come at; -1: none
        QTest::addColumn<bool>("restart");
        QTest::newRow("a whole run") << -1 << false;
        QTest::newRow("stop as the second of three begins") << 1 << false;
        QTest::newRow("start again after a stop") << 0 << true;
    }
    void aRunAndItsStop() {
        QFETCH(int, at);
        QFETCH(bool, restart);
        QTemporaryDir dir;
        // Three folders with one hidden file each, plus a plain file, in the list.
        makeTree(dir.path(), {"one/.h", "one/p", "two/.h", "two/p", "three/.h", "three/p"});
        Harness h;
        QStringList paths;
        for (const char* name : {"/one", "/two", "/three"})
            h.searchList().Add(paths.emplace_back(dir.path() + QLatin1String(name)));
        h.results().Add(QStringLiteral("/from an earlier run"));
        QList<double> values;
        QStringList shown;
        bool clicked = false;
        h.yield.onYield = [&](int) {
            if (clicked)  // the stopped run's last yield, and the inner run's
                return;
            QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Stop"));
            QCOMPARE(h.form->pointer().value(), MousePointer::Busy);
            values << h.form->ProgressBar1->Value();
            shown << h.form->ProgressBar1->Text();
            if (at < 0 || shown.back() != "Processing: " + paths[at])
                return;
            clicked = true;
            h.form->PushButton1_Click();
            QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
            QVERIFY(h.form->searchRun().stopRequested);
            if (restart)
                h.form->PushButton1_Click();
        };
        h.form->PushButton1_Click();

        QCOMPARE(values[1], 100.0 / 3);
        QCOMPARE(shown[1], "Processing: " + paths[0]);
        if (at != 0)
            QCOMPARE(shown[2], "Processing " + paths[0]);
        if (at < 0)
            QCOMPARE(values.back(), 100.0);
        QStringList found{paths[0] + "/.h", paths[1] + "/.h", paths[2] + "/.h"};
        QCOMPARE(textsOf(h.results()), at == 1 ? found.mid(0, 1) : found);
        QCOMPARE(texts(h.dialogs.messages()), QStringList(restart ? 2 : 1, "Done."));
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.form->pointer().value(), MousePointer::Default);
        QCOMPARE(h.form->ProgressBar1->Value(), 0.0);
        QCOMPARE(h.form->ProgressBar1->Text(), QStringLiteral("Progress Bar"));

        // The next run starts afresh: the earlier finds go first. Only the
        // exact caption "Stop" makes a click a Stop click.
        h.yield.onYield = nullptr;
        h.form->PushButton1->setText(QStringLiteral("STOP"));
        h.form->PushButton1_Click();
        QCOMPARE(h.results().Count(), 3);
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("STOP"));
    }
};

QTEST_MAIN(ScanTest)
#include "test_scan.moc"
