// The search on real trees: the folders as given, the name length guard,
// paths far past the path limit, and a folder swapped for a link deep in a
// tree; and the run around it: the Start/Stop button, progress, and the end
// of a run. The finds and boxes over varied and changing trees, links and
// .hidden lists that cannot be read among them, are test_walk's.
#include <QPushButton>

#include "search/scan.h"
#include "support/fakes.h"
#include "support/search_trees.h"
#include "ui/progressbar.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

const QString kGuardBox = QStringLiteral("The length of filenames in folder ");

// In memory where a tmpfs is at hand: big and deep trees take long on a disk.
QString scratch() {
    return QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/tarnwell-XXXXXX") : QString();
}

QStringList texts(const std::vector<Box>& boxes) {
    QStringList out;
    for (const Box& b : boxes) out << b.text.section(QLatin1Char('\r'), 0, 0);
    return out;
}

// Three folders with one hidden file each, plus a plain file, in the list.
QStringList addThreeFolders(const QTemporaryDir& dir, Harness& h) {
    makeTree(dir.path(), {"one/.h", "one/p", "two/.h", "two/p", "three/.h", "three/p"});
    QStringList paths;
    for (const char* name : {"/one", "/two", "/three"})
        h.searchList().Add(paths.emplace_back(dir.path() + QLatin1String(name)));
    return paths;
}

}  // namespace

class ScanTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(readAsAnOrdinaryUser()); }

    void entriesFollowTheFolderAsGiven() {
        QTemporaryDir dir;
        const QString r = dir.path();
        makeTree(r, {".top", "in/.x"});
        Harness h;
        // No doubled separator; a folder covered twice is listed twice.
        QCOMPARE(h.search({r + "/in/", r + "//in", r + "/missing", r}),
                 QStringList({r + "/in/.x", r + "//in/.x", r + "/.top", r + "/in/.x"}));
        QCOMPARE(h.dialogs.errorReports("Search.searchInFiles", "No such file or directory"), 1);
        QCOMPARE(h.dialogs.messages().size(), size_t(2));  // and "Done."

        Harness one;
        std::int16_t includeSubfolders = 0;
        searchInFiles(one.form->window(), one.form->searchRun(), QFile::encodeName(r),
                      includeSubfolders);
        QCOMPARE(textsOf(one.results()), QStringList{r + "/.top"});
    }

    void lengthGuardAt260And261() {
        QTemporaryDir dir;
        // Folders whose paths, with their trailing "/", are 250 characters.
        const auto folder = [&](const QString& name) {
            QString path = dir.path() + "/" + name;
            path += "/" + QString(248 - path.size(), 'p') + "/";
            QDir().mkpath(path);
            return path;
        };
        const QString fits = folder("fits"), over = folder("over"), wide = folder("wide");
        writeFile(QFile::encodeName(fits + ".abcdefghi"), "x");    // 260 characters
        writeFile(QFile::encodeName(over + ".abcdefghij"), "x");   // 261
        const QString wideName = "." + QString(9, QChar(0x00e9));  // 10 characters, 19 bytes
        writeFile(QFile::encodeName(wide + wideName), "x");
        Harness h;
        QStringList found = h.search({dir.path()});
        found.sort();  // a listing's order says nothing
        QCOMPARE(found, QStringList({fits + ".abcdefghi", wide + wideName}));
        QCOMPARE(h.dialogs.countContaining(kGuardBox), 1);
        const Box box = h.dialogs.messages()[0];
        QCOMPARE(box.text, kGuardBox + over +
                               " is too long. \r\nThe maximum folder length is 260 symbols. "
                               "\r\nPlease move subfolders to a small folder.");
        QCOMPARE(box.style, 0);
        QCOMPARE(box.title, h.services.appTitle);
        QCOMPARE(h.dialogs.messages().size(), size_t(2));  // and "Done."
    }

    void aChainFarBeyondThePathLimit() {
        // 100,000 folders deep: no recursion on the stack, no path copied per
        // folder, and no more descriptors open at the end than at the start.
        QTemporaryDir dir(scratch());
        const QString chain = dir.path() + "/chain";
        makeTree(chain, {".top"});
        makeDeep(QFile::encodeName(chain), 100000, false);
        const int descriptors = int(QDir("/proc/self/fd").count());
        Harness h;
        QCOMPARE(h.search({chain}), QStringList{chain + "/.top"});
        QCOMPARE(h.dialogs.messages().size(), size_t(1));  // "Done."
        // The readers close what the walk is done with, soon after it ends.
        QTRY_COMPARE(int(QDir("/proc/self/fd").count()), descriptors);
        removeTree(dir.path());
    }

    // Deep in a tree the walk closes the folders it will come back to; one
    // of them is swapped for a link meanwhile. Coming back, the walk must
    // not go through the link into a tree it was never asked to search.
    void aFolderSwappedForALinkDeepInTheTree() {
        QTemporaryDir dir(scratch());
        const QString root = dir.path() + "/root", trap = dir.path() + "/elsewhere";
        makeTree(root, {"a/y1/.h", "a/y2/.h", "a/x/", "a/y3/.h", "a/y4/.h"});
        makeTree(trap, {"y1/.trap", "y2/.trap", "y3/.trap", "y4/.trap", "x/.trap"});
        makeDeep(QFile::encodeName(root + "/a/x"), 80, true);
        Harness h;
        bool swapped = false;
        h.yield.onYield = [&](int) {
            if (swapped || h.form->ProgressBar1->Text().count(QLatin1String("/d/")) < 75)
                return;
            swapped = true;
            QVERIFY(QDir().rename(root + "/a", root + "/a.old") && QFile::link(trap, root + "/a"));
        };
        for (const QString& f : h.search({root})) QVERIFY2(!f.contains(".trap"), qPrintable(f));
        QVERIFY(swapped);
        QCOMPARE(h.dialogs.errorReports("Search.searchInFiles", "No such file or directory"), 1);
        QCOMPARE(h.dialogs.messages().size(), size_t(2));  // and "Done."
        removeTree(dir.path());
    }

    void anEmptyListChangesNothing() {
        Harness h;
        h.results().Add(QStringLiteral("/kept"));
        h.form->ProgressBar1->setValue(42);
        h.form->searchRun().stopRequested = false;
        h.form->PushButton1_Click();
        QCOMPARE(texts(h.dialogs.messages()), QStringList{"No folders added."});
        QCOMPARE(h.results().Count(), 1);
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.form->ProgressBar1->Value(), 42.0);
        QVERIFY(h.form->searchRun().stopRequested);
    }

    void aRunShowsItsProgressAndEndsAtRest() {
        QTemporaryDir dir;
        Harness h;
        const QStringList paths = addThreeFolders(dir, h);
        h.results().Add(QStringLiteral("/from an earlier run"));
        QList<double> values;
        QStringList shown;
        h.yield.onYield = [&](int) {
            QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Stop"));
            QCOMPARE(h.form->pointer().value(), MousePointer::Busy);
            values << h.form->ProgressBar1->Value();
            shown << h.form->ProgressBar1->Text();
        };
        h.form->PushButton1_Click();

        // Per entry: the yield before it, the yield after its "Processing: "
        // text, and two files.
        QCOMPARE(values.size(), 3 * 4);
        QCOMPARE(values[1], 100.0 / 3);
        QCOMPARE(values[9], 100.0);
        QCOMPARE(shown[1], "Processing: " + paths[0]);
        QCOMPARE(shown[2], "Processing " + paths[0]);

        QCOMPARE(textsOf(h.results()),
                 QStringList({paths[0] + "/.h", paths[1] + "/.h", paths[2] + "/.h"}));
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.form->pointer().value(), MousePointer::Default);
        QCOMPARE(h.form->ProgressBar1->Value(), 0.0);
        QCOMPARE(h.form->ProgressBar1->Text(), QStringLiteral("Progress Bar"));
        QCOMPARE(texts(h.dialogs.messages()), QStringList{"Done."});
    }

    // A Stop click at the first file of the second entry; or at the first
    // file of the first, with a Start click at once after it: that run goes
    // through the whole list inside the stopped one, which then finishes too.
    void stopping_data() {
        QTest::addColumn<int>("at");  // the yield the clicks come at
        QTest::addColumn<bool>("restart");
        QTest::newRow("stop during the second of three") << 7 << false;
        QTest::newRow("start again after a stop") << 3 << true;
    }
    void stopping() {
        QFETCH(int, at);
        QFETCH(bool, restart);
        QTemporaryDir dir;
        Harness h;
        const QStringList paths = addThreeFolders(dir, h);
        h.yield.onYield = [&](int n) {
            if (n != at)
                return;
            at = 0;  // the inner run must not click again
            h.form->PushButton1_Click();
            QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
            QVERIFY(h.form->searchRun().stopRequested);
            if (restart)
                h.form->PushButton1_Click();
        };
        h.form->PushButton1_Click();
        if (!restart)
            QCOMPARE(h.yield.count, 8);  // the third entry yields once, then sees the stop
        QStringList found{paths[0] + "/.h"};
        if (restart)
            found << paths[1] + "/.h" << paths[2] + "/.h";
        QCOMPARE(textsOf(h.results()), found);
        QCOMPARE(texts(h.dialogs.messages()), QStringList(restart ? 2 : 1, "Done."));
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.form->pointer().value(), MousePointer::Default);

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
