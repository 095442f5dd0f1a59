// A folder whose listing never comes back, as on a dead network share, served
// by a FUSE file system of the test's own (hangfs) that ignores the kernel's
// interrupts, as such a driver may: the window stays the user's, Stop and
// closing answer at once, and nothing piles up. And a mirror of a real tree
// (spyfs) that notes the thread of every request: the window's thread makes
// none, and when the mirror dies mid-search Stop still answers.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include "process/ending.h"
#include "search/readahead.h"
#include "search/readerpool.h"
#include "search/searchrun.h"
#include "support/displays.h"
#include "support/fakes.h"
#include "support/search_trees.h"
#include "ui/keycodes.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

constexpr char kCloseInHang[] = "TARNWELL_TEST_CLOSE_IN_HANG";

int entriesOf(const char* folder) {
    return int(QDir(QString::fromLatin1(folder)).count());
}

// Searches `folder` and clicks Stop once `due` holds, looked at every few
// milliseconds of the run rather than after a set time, which a loaded
// machine overruns; returns when the run has ended.
void searchAndStop(Harness& h, const QString& folder, const std::function<bool()>& due) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, h.form.get(), [&] {
        if (due()) {
            poll.stop();
            h.form->PushButton1_Click();
        }
    });
    poll.start(5);
    h.search({folder});
}

// In a child process, since closing ends it: a search that waits on the
// hung folder, in a window the test closes.
int closeInHang(const QString& mount) {
    Harness h;
    h.services.endProgram = endProgramAtOnce;
    h.form->showCentred();
    h.search({mount});
    return 3;  // never: closing ends the program
}

// A hangfs mount of the test's own.
struct HangMount {
    QTemporaryDir dir;
    QString mount = dir.path() + "/mnt", release = dir.path() + "/release";
    QProcess fs;

    bool start() {
        QDir().mkpath(mount);
        fs.setProcessChannelMode(QProcess::ForwardedChannels);
        fs.start(qEnvironmentVariable("TARNWELL_HANGFS"), {mount, release});
        return fs.waitForStarted() &&
               QTest::qWaitFor([&] { return QFile::exists(mount + "/a/.a1"); });
    }
    bool held() const { return QFile::exists(release + ".held"); }
    void letGo() const {
        QFile file(release);
        file.open(QIODevice::WriteOnly);
    }
    ~HangMount() {
        letGo();
        ::umount2(QFile::encodeName(mount).constData(), MNT_DETACH);
        fs.terminate();
        fs.waitForFinished(5000);
        dir.remove();  // the mount point is a plain folder again only now
    }
};

// A spyfs mirror of `source` of the test's own; `dead` makes it hang.
struct SpyMount {
    QTemporaryDir dir;
    QString source = dir.path() + "/source", mount = dir.path() + "/mnt", log = dir.path() + "/log",
            control = dir.path() + "/dead";
    QProcess fs;

    bool start() {
        QDir().mkpath(mount);
        fs.setProcessChannelMode(QProcess::ForwardedChannels);
        fs.start(qEnvironmentVariable("TARNWELL_SPYFS"), {source, mount, log, control});
        return fs.waitForStarted() &&
               QTest::qWaitFor([&] { return QFile::exists(mount + "/.top"); });
    }
    void dies() const { QFile(control).open(QIODevice::WriteOnly); }
    // The threads that asked it something since the last call.
    QSet<long> askers() const {
        QFile file(log);
        QSet<long> threads;
        if (file.open(QIODevice::ReadWrite)) {
            for (const QByteArray& line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    threads << line.split(' ').value(0).toLong();
            file.resize(0);
        }
        return threads;
    }
    ~SpyMount() {
        QFile::remove(control);
        ::umount2(QFile::encodeName(mount).constData(), MNT_DETACH);
        fs.terminate();
        fs.waitForFinished(5000);
        removeTree(dir.path());
    }
};

}  // namespace

class HangTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(readAsAnOrdinaryUser()); }

    // Plain folders, a ".hidden" list, a folder that cannot be read, names
    // too long for their box, a chain past the descriptor budget, and a
    // folder swapped for a link behind the box: no request of the search
    // comes from the window's thread.
    void theWindowsThreadAsksNothing() {
        SpyMount spy;
        const QString& s = spy.source;
        makeTree(s, {".top", "plain/.p", "plain/q", "listed/named", "listed/other", "locked/.l",
                     "swapped/.s", "elsewhere/.e", "long/"});
        writeFile(QFile::encodeName(s + "/listed/.hidden"), "named\n");
        writeFile(QFile::encodeName(s + "/long/.n" + QString(250, QChar('l'))), "x");
        ::chmod(QFile::encodeName(s + "/locked").constData(), 0);
        makeDeep(QFile::encodeName(s + "/plain"), 70, true);
        QVERIFY(spy.start());
        const long window = long(::gettid());
        Harness h;
        h.dialogs.whileOpen = [&](const Box& box) {
            if (box.text.contains("too long"))
                QVERIFY(QDir().rename(s + "/swapped", s + "/swapped.old") &&
                        QFile::link(s + "/elsewhere", s + "/swapped"));
        };
        spy.askers();
        const QStringList found = h.search({spy.mount});
        const QSet<long> askers = spy.askers();
        QVERIFY2(!askers.contains(window), "the window's thread asked the file system");
        QVERIFY(askers.size() > 1);
        for (const char* f : {"/.top", "/listed/named", "/plain/.p", "/elsewhere/.e"})
            QVERIFY2(found.contains(spy.mount + f), qPrintable(f));
        QVERIFY(!found.contains(spy.mount + "/locked/.l") && found.size() >= 140);
        QCOMPARE(h.dialogs.errorReports("Search.searchInFiles", "Permission denied"), 1);
    }

    // The mirror dies once the readers have listed ahead, while the walk
    // waits behind a box: Stop answers at once, and what was found stays.
    void aShareDyingMidSearch() {
        SpyMount spy;
        const QString& s = spy.source;
        makeTree(s, {".top", "a/.a", "a/long/"});
        writeFile(QFile::encodeName(s + "/a/long/.n" + QString(250, QChar('l'))), "x");
        makeDeep(QFile::encodeName(s + "/a/long"), 20, true);
        QVERIFY(spy.start());
        Harness h;
        QStringList before;
        QElapsedTimer sinceStop;
        h.dialogs.whileOpen = [&](const Box& box) {
            if (box.text == QLatin1String("Done."))
                return;
            before = textsOf(h.results());
            QTest::qWait(200);  // the readers list what lies ahead
            spy.dies();
            QTimer::singleShot(300, h.form.get(), [&] {
                sinceStop.start();
                h.form->PushButton1_Click();
            });
        };
        const QStringList found = h.search({spy.mount});
        QVERIFY(sinceStop.isValid());
        QVERIFY2(sinceStop.elapsed() < 1000, qPrintable(QString::number(sinceStop.elapsed())));
        QCOMPARE(found, QStringList({spy.mount + "/.top", spy.mount + "/a/.a"}));
        QCOMPARE(found, before);
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));

        // Moving the finds to the trash on the dead mirror holds up the
        // action, not the window, until the mirror answers again.
        h.dialogs.whileOpen = nullptr;
        h.dialogs.answers = {vbYes};
        h.results().selectAll();
        bool answered = false;
        QTimer::singleShot(200, h.form.get(), [&] {
            answered = true;
            QFile::remove(spy.control);
        });
        h.form->ListView2_KeyDown(vbKeyDelete, vbShiftMask);
        QVERIFY(answered);
        QVERIFY(h.dialogs.messages().back().text.startsWith("These entries could not be moved"));
        QCOMPARE(textsOf(h.results()), found);
    }

    // Closed while its reader is stuck in the kernel, the window goes at
    // once and leaves nothing on the screen; the process ends as soon as
    // the kernel lets the reader go, which it does only when the listing
    // answers: hangfs ignores the interrupt that the process's end sends.
    void closingInTheHangEndsTheProgram() {
        QVERIFY2(::access("/dev/fuse", R_OK | W_OK) == 0, "FUSE is needed: /dev/fuse");
        XServer x;
        HangMount hang;
        QVERIFY(!x.display().isEmpty() && hang.start());
        QProcess child;
        QProcessEnvironment env = x.clientEnvironment();
        // Under ThreadSanitizer Qt's own X11 threads, which it cannot see
        // into, report races of Qt's; the readers are watched in this process.
        env.insert("TSAN_OPTIONS", env.value("TSAN_OPTIONS") + " report_bugs=0");
        // The child ends without unwinding, so its temporary folders go in
        // one of this process's, which is removed.
        QTemporaryDir childTemp;
        env.insert("TMPDIR", childTemp.path());
        startSelf(child, env, kCloseInHang, hang.mount);
        QTRY_VERIFY_WITH_TIMEOUT(hang.held(), 10000);
        QTRY_COMPARE(x.shownWindows(), 1);

        // A close that comes the moment the window is mapped can be passed
        // over by Qt, so it is asked again while the window shows, as a user
        // would click again; honoured, it takes the window away at once.
        QTRY_COMPARE(x.shownWindows(true), 0);
        QCOMPARE(child.state(), QProcess::Running);  // its reader is still held

        hang.letGo();
        QCOMPARE(exitCodeOf(child, 10000), 0);
    }

    // Stopped in the hang, a run ends with what it found, and a search beside
    // the hang works meanwhile; stopping there again and again in a window
    // piles nothing up; a window that goes lets its readers go at once but
    // the stuck one, which frees their board when the listing answers; and
    // what the listing brings back then adds nothing to the stopped runs.
    void stoppingInTheHang() {
        HangMount hang;
        QVERIFY(hang.start());
        const QString& m = hang.mount;
        Harness stopped;
        // Stopped while it waits for the hung folder, with the two finds before it.
        searchAndStop(stopped, m, [&] { return hang.held() && stopped.results().Count() == 2; });
        QVERIFY(!QFile::exists(hang.release));  // it ended with the listing still held
        QCOMPARE(textsOf(stopped.results()), QStringList({m + "/.r1", m + "/a/.a1"}));
        QCOMPARE(stopped.dialogs.messages().size(), size_t(1));
        QCOMPARE(stopped.dialogs.messages().back().text, QStringLiteral("Done."));
        QCOMPARE(stopped.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(Harness().search({m + "/z"}), QStringList{m + "/z/.z1"});

        auto again = std::make_unique<Harness>();
        // Stopped once a reader of its own is in the hang too, and again
        // once that reader is replaced.
        searchAndStop(*again, m, [&] { return again->results().Count() == 2; });
        searchAndStop(*again, m, [] { return true; });
        const int tasks = entriesOf("/proc/self/task");
        const int descriptors = entriesOf("/proc/self/fd");
        for (int i = 0; i < 20; ++i) {
            searchAndStop(*again, m, [] { return true; });
            QCOMPARE(again->dialogs.messages().back().text, QStringLiteral("Done."));
        }
        const std::shared_ptr<ReadAheadBoard>& readers = again->form->searchRun().readers;
        QVERIFY(readers->threadCount() <= ReadAheadBoard::threadLimit());
        // Once the reads in flight at the last Stop are back: the first
        // reader stuck, and its replacement, were there before.
        QTRY_VERIFY2(entriesOf("/proc/self/task") <= tasks, "one reader stuck at most");
        QVERIFY(entriesOf("/proc/self/fd") <= descriptors + 4);

        const std::weak_ptr<const void> board = readers->board();
        QElapsedTimer closing;
        closing.start();
        again.reset();
        QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
        QTRY_VERIFY(entriesOf("/proc/self/task") <= tasks - ReaderPool::kReaders);
        QVERIFY(!board.expired());  // its reader is still held

        hang.letGo();
        QTRY_VERIFY(board.expired());
        // Long enough for the other stuck reader to hand in its listing.
        QTest::qWait(500);
        QCOMPARE(textsOf(stopped.results()), QStringList({m + "/.r1", m + "/a/.a1"}));
        QCOMPARE(stopped.dialogs.messages().size(), size_t(1));
        QCOMPARE(Harness().search({m}),
                 QStringList({m + "/.r1", m + "/a/.a1", m + "/hang/.h1", m + "/z/.z1"}));
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kCloseInHang))
        return closeInHang(qEnvironmentVariable(kCloseInHang));
    HangTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_hang.moc"
