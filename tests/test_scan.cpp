// The hidden-item scan on real trees: what counts as hidden, the order of
// the finds, the name length guard, failures, and trees built to break it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QPushButton>
#include <QtTest>

#include "platform/attributes.h"
#include "platform/dirlisting.h"
#include "platform/listcontrol.h"
#include "platform/progressbar.h"
#include "search/scan.h"
#include "support/fakes.h"
#include "support/search_trees.h"
#include "support/trees.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

const QString kTooLongTail = QStringLiteral(
    " is too long. \r\nThe maximum folder length is 260 symbols. \r\nPlease move subfolders to a "
    "small folder.");

void search(Harness& h, const QStringList& folders) {
    for (const QString& f : folders) h.searchList().Add(f);
    h.form->PushButton1_Click();
}

QSet<QString> foundSet(Harness& h) {
    const QStringList found = entries(h.results());
    return QSet<QString>(found.begin(), found.end());
}

std::vector<Box> errorReports(const Harness& h) {
    std::vector<Box> out;
    for (const Box& b : h.dialogs.messages())
        if (b.title == QLatin1String("Application Error"))
            out.push_back(b);
    return out;
}

// Pre-order with each folder's own files first: below every folder, its
// finds form one block that starts with the folder's own files.
bool isPreOrder(const QStringList& found) {
    for (int i = 0; i < found.size(); ++i) {
        const QString folder = found[i].left(found[i].lastIndexOf('/') + 1);
        bool left = false, deeper = false;
        for (int j = i + 1; j < found.size(); ++j) {
            const bool inside = found[j].startsWith(folder);
            const bool own = inside && found[j].indexOf('/', folder.size()) < 0;
            if (!inside)
                left = true;
            else if (left || (own && deeper))
                return false;
            else if (!own)
                deeper = true;
        }
    }
    return true;
}

// A folder below `root` whose path, with its trailing "/", is `length`
// characters long.
QString folderOfLength(const QString& root, int length) {
    QString path = root;
    while (path.size() + 1 < length) {
        const int room = length - int(path.size()) - 2;  // "/" before, "/" after
        path += QLatin1Char('/') + QString(std::min(room, 200), QLatin1Char('p'));
    }
    QDir().mkpath(path);
    return path + QLatin1Char('/');
}

}  // namespace

class ScanTest : public QObject {
    Q_OBJECT
private slots:
    void findsHiddenFilesDepthFirstWithTheirReasons() {
        QTemporaryDir dir;
        const QString r = dir.path();
        makeTree(r, {"plain.txt", ".dot", "listed.txt", "b/.b1", "b/c/.c1", "b/c/d/.d1", "b/c/x",
                     ".hf/plain", ".hf/.inner", "e/", "f/g/.g1", "f/.f1"});
        writeFile(QFile::encodeName(r + "/.hidden"), "listed.txt\r\nnot-there\n\nb\n");
        // Names are bytes: one that is not UTF-8 arrives as it is.
        const QByteArray odd = QFile::encodeName(r) + "/.\xff\xfe";
        writeFile(odd, "x");
        Harness h;
        search(h, {r});
        ::unlink(odd.constData());  // QTemporaryDir cannot remove what is not UTF-8

        const QStringList found = entries(h.results());
        QStringList expected = {r + "/.dot",           r + "/listed.txt", r + "/.hidden",
                                r + "/b/.b1",          r + "/b/c/.c1",    r + "/b/c/d/.d1",
                                r + "/.hf/.inner",     r + "/f/.f1",      r + "/f/g/.g1",
                                QFile::decodeName(odd)};
        QCOMPARE(QSet<QString>(found.begin(), found.end()),
                 QSet<QString>(expected.begin(), expected.end()));
        QCOMPARE(found.size(), expected.size());
        QVERIFY2(isPreOrder(found), qPrintable(found.join('\n')));
        // A hidden folder is searched, never listed; a listed folder ("b")
        // is no file and adds nothing.
        QVERIFY(!found.contains(r + "/.hf"));
        QVERIFY(!found.contains(r + "/b"));

        bool sawOdd = false;
        for (int i = 1; i <= h.results().Count(); ++i) {
            const QByteArray bytes = h.results().Bytes(i);
            sawOdd |= bytes == odd;
            QCOMPARE(int(h.results().Tag(i)),
                     bytes.endsWith("/listed.txt") ? kHiddenByList : kHiddenByDotName);
        }
        QVERIFY(sawOdd);
        QCOMPARE(h.dialogs.messages().size(), size_t(1));  // only "Done."
        QCOMPARE(h.dialogs.messages()[0].text, QStringLiteral("Done."));
        // One yield per file examined, hidden or not, plus the run's two.
        QCOMPARE(h.yield.count, 2 + 13);
    }

    void hiddenListsAndDosWordsDecode() {
        static const char kList[] = "a\r\n\nb c\n\r\n\xff\x00z\nlast";
        const HiddenList names = parseHiddenList(QByteArrayView(kList, sizeof kList - 1));
        QCOMPARE(names.size(), size_t(4));
        for (const std::string& n : {std::string("a"), std::string("b c"),
                                     std::string("\xff\x00z", 3), std::string("last")})
            QVERIFY2(names.count(n), n.c_str());
        QVERIFY(parseHiddenList(QByteArrayView()).empty());
        QVERIFY(parseHiddenList("\n\r\n\n").empty());

        QCOMPARE(decodeNtfsAttribBe(QByteArrayView("\x00\x00\x20\x16", 4)), 0x2016u);
        QVERIFY(!decodeNtfsAttribBe(QByteArrayView("\x16", 1)));
        QCOMPARE(decodeDosAttribByte(QByteArrayView("\x06", 1)), 6u);
        QVERIFY(!decodeDosAttribByte(QByteArrayView("\x00\x06", 2)));
        const std::uint32_t native = 0x22;
        QCOMPARE(decodeCifsDosAttrib(QByteArrayView(reinterpret_cast<const char*>(&native), 4)),
                 0x22u);
        QVERIFY(!decodeCifsDosAttrib(QByteArrayView("\x22\x00\x00", 3)));
    }

    void onePathAskedByTheSameRules() {
        QTemporaryDir dir;
        makeTree(dir.path(), {".dot", "listed", "plain", "sub/"});
        writeFile(QFile::encodeName(dir.path() + "/.hidden"), "listed\nsub\n");
        const auto tag = [&](const char* name) {
            return int(hiddenTagOf(QFile::encodeName(dir.path() + "/" + name)));
        };
        QCOMPARE(tag(".dot"), kHiddenByDotName);
        QCOMPARE(tag("listed"), kHiddenByList);
        QCOMPARE(tag("sub/"), kHiddenByList);
        QCOMPARE(tag("plain"), 0);
        QCOMPARE(tag("missing"), 0);
        QCOMPARE(int(hiddenTagOf("/")), 0);
    }

    void pathsAreRebuiltFromTheFolderAsGiven() {
        QTemporaryDir dir;
        makeTree(dir.path(), {"a/.x"});
        Harness h;
        // A trailing separator is not doubled.
        search(h, {dir.path() + "/a/", dir.path() + "//a"});
        QCOMPARE(entries(h.results()), QStringList({dir.path() + "/a/.x", dir.path() + "//a/.x"}));
    }

    void coveredTwiceIsListedTwice() {
        QTemporaryDir dir;
        makeTree(dir.path(), {"in/.one"});
        Harness h;
        search(h, {dir.path(), dir.path() + "/in", dir.path()});
        QCOMPARE(h.results().Count(), 3);
    }

    void withoutSubfoldersOnlyTheFolderItself() {
        QTemporaryDir dir;
        makeTree(dir.path(), {".top", "sub/.below"});
        Harness h;
        std::int16_t includeSubfolders = 0;
        searchInFiles(h.form->window(), h.form->searchRun(), QFile::encodeName(dir.path()),
                      includeSubfolders);
        QCOMPARE(entries(h.results()), QStringList{dir.path() + "/.top"});
        QCOMPARE(h.form->ProgressBar1->Text(), "Processing " + dir.path());
    }

    void lengthGuardAt260And261() {
        QTemporaryDir dir;
        const QString fits = folderOfLength(dir.path() + "/fits", 250);
        const QString over = folderOfLength(dir.path() + "/over", 250);
        QCOMPARE(fits.size(), 250);
        writeFile(QFile::encodeName(fits + ".abcdefghi"), "x");   // 10 characters: 260
        writeFile(QFile::encodeName(over + ".abcdefghij"), "x");  // 11: 261
        // Only files count: a long folder name alone is no reason.
        QDir().mkpath(over + "sub/" + QString(40, 'q'));
        writeFile(QFile::encodeName(over + "sub/.short"), "x");
        // A character is a character however many bytes it takes.
        const QString wide = folderOfLength(dir.path() + "/wide", 250);
        const QString wideName = "." + QString(9, QChar(0x00e9));  // 10 characters, 19 bytes
        writeFile(QFile::encodeName(wide + wideName), "x");
        Harness h;
        search(h, {dir.path()});

        const QStringList found = entries(h.results());
        QVERIFY(found.contains(fits + ".abcdefghi"));
        QVERIFY(!found.contains(over + ".abcdefghij"));
        QVERIFY(found.contains(over + "sub/.short"));  // its subfolders are still searched
        QVERIFY(found.contains(wide + wideName));
        QCOMPARE(found.size(), 3);

        QCOMPARE(h.dialogs.countContaining("The length of filenames"), 1);
        const Box box = h.dialogs.messages()[0];
        QCOMPARE(box.text, "The length of filenames in folder " + over + kTooLongTail);
        QCOMPARE(box.style, 0);
        QCOMPARE(box.title, h.services.appTitle);
        QVERIFY(errorReports(h).empty());
    }

    void guardAnswersFromTheListing() {
        DirListing failed;
        failed.fail(EACCES);
        FakeDialogs boxes;
        QVERIFY(filenamesTooLong("/x", failed, boxes, "T"));
        QCOMPARE(boxes.boxes.size(), size_t(1));
        QCOMPARE(boxes.boxes[0].text, "The length of filenames in folder /x/" + kTooLongTail);

        QTemporaryDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        QVERIFY(::mkdir((root + "/" + QByteArray(250, 'd')).constData(), 0755) == 0);
        DirListing onlyFolders;
        const int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY);
        QVERIFY(onlyFolders.read(fd));
        ::close(fd);
        QVERIFY(!filenamesTooLong(root + QByteArray(100, '/'), onlyFolders, boxes, "T"));
        QVERIFY(!filenamesTooLong(root, DirListing(), boxes, "T"));  // empty: no failure
        QCOMPARE(boxes.boxes.size(), size_t(1));
    }

    void aFolderThatFailsIsReportedOnceAndTheScanGoesOn() {
        QTemporaryDir dir;
        const QString r = dir.path();
        makeTree(r, {"a/.before", "locked/.secret", "locked/in/.deeper", "z/.after"});
        QVERIFY(::chmod(QFile::encodeName(r + "/locked").constData(), 0) == 0);
        Harness h;
        {
            // As root, this thread would read the folder anyway.
            WithoutDacOverride asUser;
            if (::geteuid() == 0)
                QVERIFY(asUser.active());
            search(h, {r, r + "/missing"});
        }
        ::chmod(QFile::encodeName(r + "/locked").constData(), 0755);

        QCOMPARE(QSet<QString>({r + "/a/.before", r + "/z/.after"}), foundSet(h));
        // The unreadable folder: the guard's box, then one report for the
        // subfolders it could not list. The missing folder: one report.
        QCOMPARE(h.dialogs.countContaining("The length of filenames in folder " + r + "/locked/"),
                 1);
        const auto reports = errorReports(h);
        QCOMPARE(reports.size(), size_t(2));
        QVERIFY(reports[0].text.startsWith(
            "Permission denied\r\nin Quorrel2021/08/31.Search.searchInFiles at line "));
        QVERIFY(reports[1].text.startsWith(
            "No such file or directory\r\nin Quorrel2021/08/31.Search.searchInFiles at line "));
        QCOMPARE(reports[1].style, 48);
        QCOMPARE(h.dialogs.messages().back().text, QStringLiteral("Done."));
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
        search(h, {r});
        QCOMPARE(QSet<QString>({r + "/.root", r + "/sub/.real", r + "/sub/.up"}), foundSet(h));
    }

    void aChainOfAHundredThousandFolders() {
        // In memory where there is a tmpfs: 100,000 folders on a slow disk
        // take a minute to make and remove.
        QTemporaryDir dir(QDir("/dev/shm").exists()
                              ? QStringLiteral("/dev/shm/tarnwell-chain-XXXXXX")
                              : QString());
        const QByteArray root = QFile::encodeName(dir.path());
        constexpr int kDepth = 100000;
        makeChain(root, kDepth, ".bottom");
        writeFile(root + "/.top", "x");
        Harness h;
        search(h, {dir.path()});
        // The bottom folder's path is far beyond 260 characters: the guard
        // keeps its file out, and nothing fails on the way down and up.
        QCOMPARE(entries(h.results()), QStringList{dir.path() + "/.top"});
        QCOMPARE(h.dialogs.countContaining("The length of filenames in folder "), 1);
        QVERIFY(errorReports(h).empty());
        QCOMPARE(h.dialogs.messages().back().text, QStringLiteral("Done."));
        removeChain(root, kDepth);
    }

    void aCombDeeperThanThePathLimit() {
        // Deeper than the path limit, with folders to come back to at every
        // level: more than the walk keeps open, so it must open folders
        // again on its way up, some of them beyond the path limit.
        QTemporaryDir dir(QDir("/dev/shm").exists()
                              ? QStringLiteral("/dev/shm/tarnwell-comb-XXXXXX")
                              : QString());
        const QByteArray root = QFile::encodeName(dir.path());
        constexpr int kDepth = 2500;  // paths of 5,000 bytes and more
        makeComb(root, kDepth);
        const int descriptors = openDescriptors();
        Harness h;
        search(h, {dir.path()});
        // Every leaf entered once: its file is either found or held back by
        // the length guard.
        const int held = h.dialogs.countContaining("The length of filenames in folder ");
        QCOMPARE(h.results().Count() + held, 2 * kDepth);
        QVERIFY(h.results().Count() > 0);
        QCOMPARE(foundSet(h).size(), h.results().Count());
        QVERIFY(errorReports(h).empty());
        QCOMPARE(openDescriptors(), descriptors);
        removeBelow(root);
    }

    void stopDeepInATree() {
        QTemporaryDir dir;
        const QString r = dir.path();
        makeTree(r, {"1/2/3/.a", "1/2/3/.b", "1/2/3/.c", "1/2/3/4/.d", "1/.e"});
        Harness h;
        int fileYields = 0;
        h.yield.onYield = [&](int n) {
            if (n <= 2)  // the run's own two yields
                return;
            // Stop during the yield of the third file of "1/2/3".
            if (++fileYields == 4)
                h.form->PushButton1_Click();
        };
        search(h, {r});
        // ".e" is the first file, then two of "1/2/3"; the third and all
        // after it are never examined.
        QCOMPARE(h.results().Count(), 3);
        QCOMPARE(h.yield.count, 2 + 4);
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.dialogs.messages().back().text, QStringLiteral("Done."));
    }
};

QTEST_MAIN(ScanTest)
#include "test_scan.moc"
