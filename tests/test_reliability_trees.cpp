// Hostile trees through the main window: odd names, a huge folder, .hidden
// lists of every sort, paths far past 260 characters, and a tree that
// another process changes while the search is in it. Every case must end with
// "Done.", every hidden file listed once, nothing else listed, each real
// failure reported once and the user's files as they were.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>
#include <map>

#include "support/fakes.h"
#include "support/search_trees.h"
#include "support/trees.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

const QString kGuardBox = QStringLiteral("The length of filenames in folder ");
using Bytes = QList<QByteArray>;

// In memory where a tmpfs is at hand: 200,000 files take long on a disk.
QString scratch() {
    return QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/tarnwell-XXXXXX") : QString();
}

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

// Every name below a folder with its type, size and time of change, so a
// test can tell whether the search touched anything.
void snapshot(int dirFd, const QByteArray& prefix, std::map<QByteArray, QByteArray>& out) {
    DIR* dir = ::fdopendir(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return;
    while (const dirent* d = ::readdir(dir)) {
        const QByteArray name(d->d_name);
        struct stat st;
        if (name == "." || name == ".." || ::fstatat(dirFd, d->d_name, &st, AT_SYMLINK_NOFOLLOW))
            continue;
        out[prefix + name] = QByteArray::number(st.st_mode) + ' ' +
                             QByteArray::number(qint64(st.st_size)) + ' ' +
                             QByteArray::number(qint64(st.st_mtim.tv_nsec)) +
                             QByteArray::number(qint64(st.st_ctim.tv_sec));
        if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(dirFd, d->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
            if (sub >= 0) {
                snapshot(sub, prefix + name + '/', out);
                ::close(sub);
            }
        }
    }
    ::closedir(dir);
}

std::map<QByteArray, QByteArray> snapshot(const QByteArray& root) {
    std::map<QByteArray, QByteArray> out;
    const int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    snapshot(fd, "", out);
    ::close(fd);
    return out;
}

// The run's finds as bytes relative to root, in the order found.
Bytes search(Harness& h, const QByteArray& root) {
    h.searchList().Add(QFile::decodeName(root));
    h.form->PushButton1_Click();
    Bytes found;
    for (int i = 1; i <= h.results().Count(); ++i) {
        const QByteArray& entry = h.results().Bytes(i);
        found << (entry.startsWith(root + '/') ? entry.mid(root.size() + 1) : entry);
    }
    return found;
}

QStringList errorReports(const Harness& h) {
    QStringList out;
    for (const Box& b : h.dialogs.messages())
        if (b.title == QLatin1String("Application Error"))
            out << b.text.section(QLatin1Char('\r'), 0, 0);
    return out;
}

bool endedWell(const Harness& h) {
    return h.form->PushButton1->text() == QLatin1String("Start Finding") &&
           !h.dialogs.messages().empty() &&
           h.dialogs.messages().back().text == QLatin1String("Done.");
}

Bytes sorted(Bytes list) {
    std::sort(list.begin(), list.end());
    return list;
}

}  // namespace

class ReliabilityTreesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(readAsAnOrdinaryUser()); }

    void awkwardNamesAndLongPaths_data() {
        QTest::addColumn<Bytes>("make");
        QTest::addColumn<Bytes>("listed");
        QTest::addColumn<int>("guardBoxes");
        QTest::newRow("not UTF-8")
            << Bytes{"\xff\xfe/.\x80x", "\xc3\x28", ".\xc3\x28", "\xed\xa0\x80/"}
            << Bytes{"\xff\xfe/.\x80x", ".\xc3\x28"} << 0;
        QTest::newRow("newlines") << Bytes{".a\nb", "c\n", "line\nfolder/.in", "\n/.x", ".\r"}
                                  << Bytes{".a\nb", "line\nfolder/.in", "\n/.x", ".\r"} << 0;
        // 255 bytes cannot fit below 260 characters with any folder; its
        // folder's own files are withheld, its subfolders still searched.
        const QByteArray longName = '.' + QByteArray(254, 'n');
        QTest::newRow("255 bytes") << Bytes{"long/" + longName, "long/.short", "long/sub/.ok"}
                                   << Bytes{"long/sub/.ok"} << 1;
        // ...but 255 bytes of three-byte characters are only 85 of them.
        const QByteArray wideName = ".ab" + QString(84, QChar(0x20ac)).toUtf8();
        QTest::newRow("255 bytes, 87 characters") << Bytes{wideName} << Bytes{wideName} << 0;
        // 20 hidden folders of 199 bytes: the deepest file's path is over
        // 4,000 bytes; only the first level's file fits 260 characters.
        QByteArray deep;
        for (int i = 0; i < 20; ++i) deep += '.' + QByteArray(198, char('a' + i)) + '/';
        const QByteArray first = deep.left(200);
        QTest::newRow("4,000-byte path")
            << Bytes{first + ".m", deep + ".far", deep + "plain"} << Bytes{first + ".m"} << 1;
    }
    void awkwardNamesAndLongPaths() {
        QFETCH(Bytes, make);
        QFETCH(Bytes, listed);
        QFETCH(int, guardBoxes);
        QTemporaryDir dir(scratch());
        const QByteArray root = QFile::encodeName(dir.path());
        makeBytes(root, make);
        const auto before = snapshot(root);
        Harness h;
        const Bytes found = search(h, root);
        QCOMPARE(sorted(found), sorted(listed));
        QCOMPARE(h.dialogs.countContaining(kGuardBox), guardBoxes);
        QVERIFY(errorReports(h).isEmpty());
        QVERIFY(endedWell(h));
        QVERIFY(snapshot(root) == before);
        removeTree(dir.path());  // QTemporaryDir cannot remove names that are not UTF-8
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
        const Bytes found = search(h, big);
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
        const auto before = snapshot(root);
        Harness h;
        const Bytes found = search(h, root);
        // The list counts for its own folder only, and is a hidden file itself.
        QCOMPARE(sorted(found), sorted(listed << ".hidden"));
        QVERIFY(errorReports(h).isEmpty());
        QVERIFY(endedWell(h));
        QVERIFY(snapshot(root) == before);
        ::unlink(list.constData());
        ::unlink((root + "/\xffz").constData());
    }

    // At the first file of "cur", another process changes the tree. Files
    // it changed may be listed once or not at all; files gone before the
    // scan got to them are not; everything else is listed exactly once.
    void changesWhileTheScanIsInIt_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<Bytes>("changed");   // may be listed, at most once
        QTest::addColumn<Bytes>("gone");      // must not be listed
        QTest::addColumn<QString>("report");  // the one report expected, if any
        const QString noSuch = QStringLiteral("No such file or directory");
        const QString denied = QStringLiteral("Permission denied");
        const Bytes inSubfolders{"cur/s1/.a", "cur/s2/.b", "cur/s3/.c"};
        QTest::newRow("file removed") << "rm cur/.f2" << Bytes{"cur/.f2"} << Bytes{} << QString();
        QTest::newRow("file renamed")
            << "mv cur/.f2 cur/.g2" << Bytes{"cur/.f2", "cur/.g2"} << Bytes{} << QString();
        QTest::newRow("folder removed") << "rm cur/s2" << Bytes{} << Bytes{"cur/s2/.b"} << noSuch;
        QTest::newRow("folder renamed")
            << "mv cur/s2 cur/t2" << Bytes{} << Bytes{"cur/s2/.b", "cur/t2/.b"} << noSuch;
        QTest::newRow("folder made unreadable")
            << "lock cur/s2" << Bytes{} << Bytes{"cur/s2/.b"} << denied;
        QTest::newRow("the folder being scanned removed")
            << "rm cur" << Bytes{"cur/.f1", "cur/.f2", "cur/.f3"} << inSubfolders << noSuch;
        QTest::newRow("the folder being scanned renamed")
            << "mv cur moved" << Bytes{"cur/.f1", "cur/.f2", "cur/.f3"} + inSubfolders
            << Bytes{"moved/.f1", "moved/.f2", "moved/.f3"} << QString();
        QTest::newRow("the folder being scanned made unreadable")
            << "lock cur" << Bytes{} << inSubfolders << denied;
    }
    void changesWhileTheScanIsInIt() {
        QFETCH(QString, change);
        QFETCH(Bytes, changed);
        QFETCH(Bytes, gone);
        QFETCH(QString, report);
        QTemporaryDir dir;
        const QByteArray root = QFile::encodeName(dir.path());
        const Bytes hidden{".top",    "other/.o",  "cur/.f1",   "cur/.f2",
                           "cur/.f3", "cur/s1/.a", "cur/s2/.b", "cur/s3/.c"};
        makeBytes(root, hidden + Bytes{"cur/plain", "cur/s2/plain"});
        const QStringList words = change.split(' ');
        const QByteArray target = root + '/' + words[1].toUtf8();
        Harness h;
        bool done = false;
        h.yield.onYield = [&](int) {
            if (done || h.form->ProgressBar1->Text() != "Processing " + dir.path() + "/cur")
                return;
            done = true;
            if (words[0] == "rm")
                removeTree(QFile::decodeName(target));
            else if (words[0] == "mv")
                QVERIFY(::rename(target.constData(),
                                 (root + '/' + words[2].toUtf8()).constData()) == 0);
            else
                QVERIFY(::chmod(target.constData(), 0) == 0);
        };
        const Bytes found = search(h, root);
        ::chmod(target.constData(), 0755);
        QVERIFY(done);
        for (const QByteArray& f : hidden + changed + gone) {
            const int expected = gone.contains(f) ? 0 : changed.contains(f) ? -1 : 1;
            if (expected >= 0)
                QVERIFY2(found.count(f) == expected, f.constData());
            else
                QVERIFY2(found.count(f) <= 1, f.constData());
        }
        for (const QByteArray& f : found) QVERIFY2(hidden.contains(f) || changed.contains(f), f);
        QCOMPARE(errorReports(h), report.isEmpty() ? QStringList() : QStringList{report});
        QVERIFY(endedWell(h));
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
        const Bytes found = search(h, root);
        QVERIFY(swapped);
        for (const QByteArray& f : found) QVERIFY2(!f.contains(".trap"), f.constData());
        QCOMPARE(errorReports(h), QStringList{"No such file or directory"});
        QVERIFY(endedWell(h));
        removeTree(dir.path());
    }
};

QTEST_MAIN(ReliabilityTreesTest)
#include "test_reliability_trees.moc"
