// A folder whose listing never comes back, as on a dead network share, served
// by a FUSE file system of the test's own (hangfs) that ignores the kernel's
// interrupts, as such a driver may: the window stays the user's, Stop and
// closing answer at once, and nothing piles up.
#include <sys/mount.h>
#include <unistd.h>
#include <QApplication>
#include <QPushButton>

#include "platform/ending.h"
#include "search/readahead.h"
#include "support/displays.h"
#include "support/fakes.h"

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

}  // namespace

class HangTest : public QObject {
    Q_OBJECT
private slots:
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
    // the hang works meanwhile; stopping there again and again piles nothing
    // up; and what the listing brings back once it answers adds nothing to
    // the stopped runs.
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

        const int tasks = entriesOf("/proc/self/task");
        const int descriptors = entriesOf("/proc/self/fd");
        for (int i = 0; i < 20; ++i) {
            Harness h;
            searchAndStop(h, m, [] { return true; });
            QCOMPARE(h.dialogs.messages().back().text, QStringLiteral("Done."));
        }
        QVERIFY(ReadAhead::threadCount() <= ReadAhead::threadLimit());
        QVERIFY2(entriesOf("/proc/self/task") <= tasks + 1, "one reader stuck at most");
        QVERIFY(entriesOf("/proc/self/fd") <= descriptors + 4);

        hang.letGo();
        // Long enough for a stuck reader to come back and hand in its listing.
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
