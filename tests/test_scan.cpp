// The hidden-item scan on real trees: what counts as hidden, the name length
// guard, a huge folder, .hidden lists of every sort, paths far past the path
// limit, links, and a stop deep in a tree. The order of the finds and boxes
// over varied and changing trees is test_walk's.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QPushButton>
#include <QtTest>

#include "search/scan.h"
#include "support/fakes.h"
#include "support/search_trees.h"
#include "support/trees.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

const QString kGuardBox = QStringLiteral("The length of filenames in folder ");

QSet<QString> search(Harness& h, const QStringList& folders) {
    for (const QString& f : folders) h.searchList().Add(f);
    h.form->PushButton1_Click();
    const QStringList found = entries(h.results());
    return QSet<QString>(found.begin(), found.end());
}

QStringList errorReports(const Harness& h) {
    QStringList out;
    for (const Box& b : h.dialogs.messages())
        if (b.title == QLatin1String("Application Error"))
            out << b.text;
    return out;
}

using Bytes = QList<QByteArray>;

// Makes each relative path (bytes, any name the kernel takes) below root: a
// trailing '/' makes a folder, anything else a file; parents come along.
void makeBytes(const QByteArray& root, const Bytes& paths) {
    ::mkdir(root.constData(), 0755);
    for (const QByteArray& rel : paths) {
        for (qsizetype at = rel.indexOf('/'); at >= 0; at = rel.indexOf('/', at + 1))
            ::mkdir((root + '/' + rel.left(at)).constData(), 0755);
        if (!rel.endsWith('/'))
            writeFile(root + '/' + rel, "x");
    }
}

// The run's finds as bytes relative to root, in the order found.
Bytes searchBytes(Harness& h, const QByteArray& root) {
    h.searchList().Add(QFile::decodeName(root));
    h.form->PushButton1_Click();
    Bytes found;
    for (int i = 1; i <= h.results().Count(); ++i) {
        const QByteArray& entry = h.results().Bytes(i);
        found << (entry.startsWith(root + '/') ? entry.mid(root.size() + 1) : entry);
    }
    return found;
}

// In memory where a tmpfs is at hand: big and deep trees take long on a disk.
QString scratch() {
    return QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/tarnwell-XXXXXX") : QString();
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
        search(h, {r + "/in/", r + "//in", r + "/missing", r});
        QCOMPARE(entries(h.results()),
                 QStringList({r + "/in/.x", r + "//in/.x", r + "/.top", r + "/in/.x"}));
        QCOMPARE(errorReports(h).size(), 1);
        QVERIFY(
            errorReports(h)[0].startsWith("No such file or directory\r\nin Quorrel2021/08/31."
                                          "Search.searchInFiles at line 20"));

        Harness one;
        std::int16_t includeSubfolders = 0;
        searchInFiles(one.form->window(), one.form->searchRun(), QFile::encodeName(r),
                      includeSubfolders);
        QCOMPARE(entries(one.results()), QStringList{r + "/.top"});
        QCOMPARE(one.form->ProgressBar1->Text(), "Processing " + r);
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
        writeFile(QFile::encodeName(fits + ".abcdefghi"), "x");   // 260 characters
        writeFile(QFile::encodeName(over + ".abcdefghij"), "x");  // 261
        QDir().mkpath(over + "sub/" + QString(40, 'q'));          // folder names are not measured
        writeFile(QFile::encodeName(over + "sub/.short"), "x");
        const QString wideName = "." + QString(9, QChar(0x00e9));  // 10 characters, 19 bytes
        writeFile(QFile::encodeName(wide + wideName), "x");
        Harness h;
        QCOMPARE(search(h, {dir.path()}),
                 QSet<QString>({fits + ".abcdefghi", over + "sub/.short", wide + wideName}));
        QCOMPARE(h.dialogs.countContaining(kGuardBox), 1);
        const Box box = h.dialogs.messages()[0];
        QCOMPARE(box.text, kGuardBox + over +
                               " is too long. \r\nThe maximum folder length is 260 symbols. "
                               "\r\nPlease move subfolders to a small folder.");
        QCOMPARE(box.style, 0);
        QCOMPARE(box.title, h.services.appTitle);
        QVERIFY(errorReports(h).isEmpty());
    }

    void linksAreFilesNeverFollowed() {
        QTemporaryDir dir;
        const QString r = dir.path();
        makeTree(r, {"sub/.real"});
        QVERIFY(::symlink(QFile::encodeName(r).constData(),
                          QFile::encodeName(r + "/sub/loop").constData()) == 0);
        QVERIFY(::symlink("..", QFile::encodeName(r + "/sub/.up").constData()) == 0);
        QVERIFY(::symlink("/", QFile::encodeName(r + "/.root").constData()) == 0);
        Harness h;
        QCOMPARE(search(h, {r}), QSet<QString>({r + "/.root", r + "/sub/.real", r + "/sub/.up"}));
    }

    void aChainFarBeyondThePathLimit() {
        // 100,000 folders deep: no recursion on the stack, no path copied per
        // folder, and no more descriptors open at the end than at the start.
        QTemporaryDir dir(scratch());
        const QString chain = dir.path() + "/chain";
        QDir().mkpath(chain);
        makeDeep(QFile::encodeName(chain), 100000, false);
        writeFile(QFile::encodeName(chain + "/.top"), "x");
        const int descriptors = int(QDir("/proc/self/fd").count());
        Harness h;
        QCOMPARE(search(h, {chain}), QSet<QString>{chain + "/.top"});
        QCOMPARE(errorReports(h), QStringList());
        // The readers close what the walk is done with, soon after it ends.
        QTRY_COMPARE(int(QDir("/proc/self/fd").count()), descriptors);
        removeTree(dir.path());
    }

    // A .hidden list that cannot be read, or is a FIFO that would block:
    // nothing listed through it, no hang, and the list itself found.
    void hiddenListsThatCannotBeRead_data() {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("unreadable") << false;
        QTest::newRow("a FIFO") << true;
    }
    void hiddenListsThatCannotBeRead() {
        QFETCH(bool, fifo);
        QTemporaryDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        makeBytes(root, {"a", "sub/a"});
        const QByteArray list = root + "/.hidden";
        if (!fifo)
            writeFile(list, "a\n");
        QVERIFY(fifo ? ::mkfifo(list.constData(), 0644) == 0 : ::chmod(list.constData(), 0) == 0);
        Harness h;
        QCOMPARE(searchBytes(h, root), Bytes{".hidden"});
        QCOMPARE(h.dialogs.messages().size(), size_t(1));  // "Done."
    }

    // Deep in a tree the walk closes the folders it will come back to; one
    // of them is swapped for a link meanwhile. Coming back, the walk must
    // not go through the link into a tree it was never asked to search.
    void aFolderSwappedForALinkDeepInTheTree() {
        QTemporaryDir dir(scratch());
        const QByteArray root = QFile::encodeName(dir.path()) + "/root";
        const QByteArray trap = QFile::encodeName(dir.path()) + "/elsewhere";
        Bytes pending;
        for (const char* name : {"y1", "y2", "y3", "y4"})
            pending << QByteArray("a/") + name + "/.h";
        makeBytes(root, pending.mid(0, 2) + Bytes{"a/x/"} + pending.mid(2));
        for (const char* name : {"y1", "y2", "y3", "y4", "x"})
            makeBytes(trap, {QByteArray(name) + "/.trap"});
        makeDeep(root + "/a/x", 80, true);
        Harness h;
        bool swapped = false;
        h.yield.onYield = [&](int) {
            if (swapped || h.form->ProgressBar1->Text().count(QLatin1String("/d/")) < 75)
                return;
            swapped = true;
            QVERIFY(::rename((root + "/a").constData(), (root + "/a.old").constData()) == 0);
            QVERIFY(::symlink(trap.constData(), (root + "/a").constData()) == 0);
        };
        const Bytes found = searchBytes(h, root);
        QVERIFY(swapped);
        for (const QByteArray& f : found) QVERIFY2(!f.contains(".trap"), f.constData());
        QCOMPARE(h.dialogs.errorReports("Search.searchInFiles", "No such file or directory"), 1);
        QCOMPARE(errorReports(h).size(), 1);
        QCOMPARE(h.dialogs.messages().back().text, QStringLiteral("Done."));
        removeTree(dir.path());
    }
};

QTEST_MAIN(ScanTest)
#include "test_scan.moc"
