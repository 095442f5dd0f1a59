// The hidden-item scan on real trees: what counts as hidden, the name length
// guard, a huge folder, .hidden lists of every sort, paths far past the path
// limit, links, and a stop deep in a tree. The order of the finds and boxes
// over varied and changing trees is test_walk's.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>
#include <algorithm>

#include "platform/attributes.h"
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

bool endedWell(const Harness& h) {
    return h.form->PushButton1->text() == QLatin1String("Start Finding") &&
           h.dialogs.messages().back().text == QLatin1String("Done.");
}

Bytes sorted(Bytes list) {
    std::sort(list.begin(), list.end());
    return list;
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

    void findsHiddenFilesDepthFirstWithTheirReasons() {
        QTemporaryDir dir;
        const QString r = dir.path();
        makeTree(r, {"plain.txt", ".dot", "listed.txt", "b/.b1", "b/c/.c1", "b/c/d/.d1", "b/c/x",
                     ".hf/plain", ".hf/.inner", "e/", "f/g/.g1", "f/.f1"});
        writeFile(QFile::encodeName(r + "/.hidden"), "listed.txt\r\nnot-there\n\nb\n");
        const QByteArray odd = QFile::encodeName(r) + "/.\xff\xfe";  // not UTF-8
        writeFile(odd, "x");
        Harness h;
        const QSet<QString> found = search(h, {r});
        ::unlink(odd.constData());  // QTemporaryDir cannot remove it

        // A hidden folder is searched, never listed; "b", though listed in
        // .hidden, is a folder and adds nothing.
        QCOMPARE(found, QSet<QString>({r + "/.dot", r + "/listed.txt", r + "/.hidden", r + "/b/.b1",
                                       r + "/b/c/.c1", r + "/b/c/d/.d1", r + "/.hf/.inner",
                                       r + "/f/.f1", r + "/f/g/.g1", QFile::decodeName(odd)}));
        QCOMPARE(h.results().Count(), found.size());
        bool sawOdd = false;
        for (int i = 1; i <= h.results().Count(); ++i) {
            sawOdd |= h.results().Bytes(i) == odd;
            QCOMPARE(int(h.results().Tag(i)), h.results().Bytes(i).endsWith("/listed.txt")
                                                  ? HiddenReason::HiddenList
                                                  : HiddenReason::DotName);
        }
        QVERIFY(sawOdd);
        QCOMPARE(h.dialogs.messages().size(), size_t(1));  // "Done."
        QCOMPARE(h.yield.count, 2 + 13);  // the run's two, and one per file examined
    }

    void decodingAndTheOnePathQuestion() {
        static const char kList[] = "a\r\n\nb c\n\r\n\xff\x00z\nlast";
        const HiddenList names = parseHiddenList(QByteArrayView(kList, sizeof kList - 1));
        QCOMPARE(names, HiddenList({"a", "b c", std::string("\xff\x00z", 3), "last"}));
        QVERIFY(parseHiddenList("\n\r\n\n").empty());
        QCOMPARE(decodeNtfsAttribBe(QByteArrayView("\x00\x00\x20\x16", 4)), 0x2016u);
        QVERIFY(!decodeNtfsAttribBe(QByteArrayView("\x16", 1)));
        QCOMPARE(decodeDosAttribByte(QByteArrayView("\x06", 1)), 6u);
        const std::uint32_t native = 0x22;
        QCOMPARE(decodeCifsDosAttrib(QByteArrayView(reinterpret_cast<const char*>(&native), 4)),
                 0x22u);
        QVERIFY(!decodeCifsDosAttrib(QByteArrayView("\x22\x00\x00", 3)));

        QTemporaryDir dir;
        makeTree(dir.path(), {".dot", "listed", "plain", "sub/"});
        writeFile(QFile::encodeName(dir.path() + "/.hidden"), "listed\nsub\n");
        const auto tag = [&](const char* name) {
            return int(hiddenTagOf(QFile::encodeName(dir.path() + "/" + name)));
        };
        QCOMPARE(QList<int>({tag(".dot"), tag("listed"), tag("sub/"), tag("plain"), tag("gone")}),
                 QList<int>({HiddenReason::DotName, HiddenReason::HiddenList,
                             HiddenReason::HiddenList, 0, 0}));
    }

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

    void treesFarBeyondThePathLimit() {
        // In memory where a tmpfs is at hand: on a slow disk these take
        // a minute to make.
        QTemporaryDir dir(scratch());
        const QString chain = dir.path() + "/chain", comb = dir.path() + "/comb";
        QDir().mkpath(chain);
        QDir().mkpath(comb);
        makeDeep(QFile::encodeName(chain), 100000, false);
        writeFile(QFile::encodeName(chain + "/.top"), "x");
        // Deeper than the path limit with folders to come back to at every
        // level: more than the walk keeps open, so it must open some again
        // on its way up, past the path limit.
        constexpr int kCombDepth = 2500;
        makeDeep(QFile::encodeName(comb), kCombDepth, true);
        const int descriptors = int(QDir("/proc/self/fd").count());

        Harness h;
        const QSet<QString> found = search(h, {chain});
        QCOMPARE(found, QSet<QString>{chain + "/.top"});
        // Every leaf of the comb entered once: found, or held by the guard.
        Harness h2;
        const qsizetype distinct = search(h2, {comb}).size();
        QCOMPARE(distinct, h2.results().Count());
        QCOMPARE(h2.results().Count() + h2.dialogs.countContaining(kGuardBox), 2 * kCombDepth);
        QCOMPARE(errorReports(h), QStringList());
        QCOMPARE(errorReports(h2), QStringList());
        QCOMPARE(int(QDir("/proc/self/fd").count()), descriptors);
        removeTree(dir.path());
    }

    void stopDeepInATree() {
        QTemporaryDir dir;
        makeTree(dir.path(), {"1/2/3/.a", "1/2/3/.b", "1/2/3/.c", "1/2/3/4/.d", "1/.e"});
        Harness h;
        h.yield.onYield = [&](int n) {
            if (n == 2 + 4)  // the third file of 1/2/3, after 1/.e
                h.form->PushButton1_Click();
        };
        search(h, {dir.path()});
        // That file and everything after it is never examined.
        QCOMPARE(h.results().Count(), 3);
        QCOMPARE(h.yield.count, 2 + 4);
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.dialogs.messages().back().text, QStringLiteral("Done."));
    }
    void aFolderOf200000Files() {
        QTemporaryDir dir(scratch());
        const QByteArray big = QFile::encodeName(dir.path()) + "/big";
        QVERIFY(::mkdir(big.constData(), 0755) == 0);
        const int fd = ::open(big.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QSet<QByteArray> hidden;
        for (int i = 0; i < 200000; ++i) {
            const QByteArray name = (i % 2 ? "." : "") + QByteArray::number(i);
            ::close(::openat(fd, name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
            if (i % 2)
                hidden.insert(name);
        }
        ::close(fd);
        Harness h;
        const Bytes found = searchBytes(h, big);
        QCOMPARE(found.size(), hidden.size());
        QCOMPARE(QSet<QByteArray>(found.begin(), found.end()), hidden);
        QCOMPARE(h.yield.count, 2 + 200000);
        QVERIFY(errorReports(h).isEmpty());
        QVERIFY(endedWell(h));
    }

    void hiddenLists_data() {
        QTest::addColumn<QByteArray>("content");  // "<fifo>": a FIFO, not a file
        QTest::addColumn<bool>("unreadable");
        QTest::addColumn<Bytes>("listed");
        QTest::newRow("empty") << QByteArray() << false << Bytes{};
        // 100,000 names, nearly all of files that do not exist, CR LF ends
        // and no end to the last line.
        QByteArray huge;
        for (int i = 0; i < 100000; ++i)
            huge += (i == 50000 ? "a" : "n" + QByteArray::number(i)) + "\r\n";
        QTest::newRow("100,000 lines") << huge + "\xffz" << false << Bytes{"a", "\xffz"};
        QByteArray garbage(1 << 16, Qt::Uninitialized);
        QRandomGenerator random(9);
        for (char& c : garbage) c = char(random.bounded(256));
        QTest::newRow("binary garbage") << garbage + "\nb\n" + garbage << false << Bytes{"b"};
        QTest::newRow("unreadable") << QByteArray("a\n") << true << Bytes{};
        QTest::newRow("a FIFO") << QByteArray("<fifo>") << false << Bytes{};
    }
    void hiddenLists() {
        QFETCH(QByteArray, content);
        QFETCH(bool, unreadable);
        QFETCH(Bytes, listed);
        QTemporaryDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        makeBytes(root, {"a", "b", "c", "\xffz", "sub/a"});
        const QByteArray list = root + "/.hidden";
        if (content == "<fifo>")
            QVERIFY(::mkfifo(list.constData(), 0644) == 0);
        else
            writeFile(list, content);
        if (unreadable)
            QVERIFY(::chmod(list.constData(), 0) == 0);
        Harness h;
        const Bytes found = searchBytes(h, root);
        // The list counts for its own folder only, and is a hidden file itself.
        QCOMPARE(sorted(found), sorted(listed << ".hidden"));
        QVERIFY(errorReports(h).isEmpty());
        QVERIFY(endedWell(h));
        ::unlink(list.constData());
        ::unlink((root + "/\xffz").constData());
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
        QVERIFY(endedWell(h));
        removeTree(dir.path());
    }
};

QTEST_MAIN(ScanTest)
#include "test_scan.moc"
