// The hidden-item scan on real trees: what counts as hidden, the order of
// the finds, the name length guard, failures, and trees built to break it.
#include <sys/stat.h>
#include <unistd.h>
#include <QPushButton>
#include <QtTest>

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

// Pre-order with a folder's own files first: every find that follows one
// from a folder F, up to the last find below F, lies below F, and none of
// F's own files comes after a find deeper down.
bool isPreOrder(const QStringList& found) {
    for (int i = 0; i < found.size(); ++i) {
        const QString folder = found[i].left(found[i].lastIndexOf('/') + 1);
        bool left = false, deeper = false;
        for (int j = i + 1; j < found.size(); ++j) {
            const bool inside = found[j].startsWith(folder);
            const bool own = inside && found[j].indexOf('/', folder.size()) < 0;
            if ((inside && left) || (own && deeper))
                return false;
            left |= !inside;
            deeper |= inside && !own;
        }
    }
    return true;
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
        QVERIFY2(isPreOrder(entries(h.results())), qPrintable(entries(h.results()).join('\n')));
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
        search(h, {r + "/in/", r + "//in", r});
        QCOMPARE(entries(h.results()),
                 QStringList({r + "/in/.x", r + "//in/.x", r + "/.top", r + "/in/.x"}));

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

    void aFolderThatFailsIsReportedOnceAndTheScanGoesOn() {
        QTemporaryDir dir;
        const QString r = dir.path();
        makeTree(r, {"a/.before", "locked/.secret", "locked/in/.deeper", "z/.after"});
        QVERIFY(::chmod(QFile::encodeName(r + "/locked").constData(), 0) == 0);
        Harness h;
        const QSet<QString> found = search(h, {r, r + "/missing"});
        ::chmod(QFile::encodeName(r + "/locked").constData(), 0755);
        QCOMPARE(found, QSet<QString>({r + "/a/.before", r + "/z/.after"}));
        // The unreadable folder: one report, and no length box for the same
        // failure. The missing folder: one report.
        QCOMPARE(h.dialogs.countContaining(kGuardBox), 0);
        const QStringList reports = errorReports(h);
        QCOMPARE(reports.size(), 2);
        QVERIFY(reports[0].startsWith(
            "Permission denied\r\nin Quorrel2021/08/31.Search.searchInFiles "));
        QVERIFY(reports[1].startsWith("No such file or directory\r\nin Quorrel2021/08/31.Search."));
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
        QCOMPARE(search(h, {r}), QSet<QString>({r + "/.root", r + "/sub/.real", r + "/sub/.up"}));
    }

    void treesFarBeyondThePathLimit() {
        // In memory where a tmpfs is at hand: on a slow disk these take
        // a minute to make.
        QTemporaryDir dir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/tarnwell-XXXXXX")
                                                    : QString());
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
        QCOMPARE(errorReports(h).join("|").left(300), QString());
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
};

QTEST_MAIN(ScanTest)
#include "test_scan.moc"
