// tarnwell-find as the process it is, with no display: its output against
// the window's text export over the same tree, its options, statuses and
// error lines, names escaped on a terminal and raw through a pipe, and an
// interrupt while a listing hangs.
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <algorithm>

#include "support/fakes.h"
#include "support/search_trees.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

struct Run {
    int status = -1;
    QByteArray out, err;
};

// Started as from a terminal without a display; as root it reads as anyone.
void prepare(QProcess& p) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    // A terminal that can take the progress line, whatever CI's is.
    env.insert("TERM", "xterm");
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([] {
        for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            ::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
    });
}

Run run(const QString& program, const QStringList& args, const QString& folder = {}) {
    QProcess p;
    prepare(p);
    p.setWorkingDirectory(folder);
    p.start(program, args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

const QString kFind = qEnvironmentVariable("TARNWELL_FIND");

// On a pseudo-terminal, both streams in one.
QByteArray onTerminal(const QString& command) {
    return run("script", {"-qec", "'" + kFind + "' " + command, "/dev/null"}).out;
}

// Records in any order: a folder's listing order is the file system's.
QByteArrayList records(const QByteArray& out, char end) {
    QByteArrayList list = out.split(end);
    if (!list.takeLast().isEmpty())
        list << "(no end to the last one)";
    std::sort(list.begin(), list.end());
    return list;
}

}  // namespace

class FindTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    const QString root = dir.path();
    const QByteArray locked = QFile::encodeName(root) + "/locked\x1b[7m";

private slots:
    void initTestCase() {
        QVERIFY(readAsAnOrdinaryUser());
        makeTree(root, {".top", "a/.a1", "a/a2", "a/a3", "b/c/.c1", "many/"});
        writeFile(QFile::encodeName(root + "/a/.hidden"), "a2\r\n");
        for (const char* name : {"/b/.\xff\xfe", "/b/.e\x1b]0;pwned\x07"})
            writeFile(QFile::encodeName(root) + name, "x");
        for (int i = 0; i < 4000; ++i)
            writeFile(QFile::encodeName(root + "/many/.m" + QString::number(i)), "");
        QVERIFY(::mkdir(locked, 0) == 0);
    }
    void cleanupTestCase() { removeTree(root); }

    void sameBytesAsTheWindowsTextExport() {
        Harness h;
        h.search({root});
        QCOMPARE(h.dialogs.errorReports("Search.searchInFiles", "Permission denied"), 1);
        QTemporaryDir elsewhere;
        h.dialogs.saveNames.push_back(elsewhere.path() + "/export.txt");
        h.form->PushButton2_Click();
        QByteArray exported = readFile(QFile::encodeName(elsewhere.path() + "/export.txt"));
        exported.replace("\r\n", "\n");
        QCOMPARE(exported.count('\n'), 4007);
        const Run found = run(kFind, {root});
        QCOMPARE(found.out, exported);
        QCOMPARE(found.err, "tarnwell-find: " + locked + ": Permission denied\n");
        QCOMPARE(found.status, 1);
    }

    void optionsAndStatuses_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");  // NUL-ended with -0, records sorted
        QTest::addColumn<QByteArray>("err");
        const QByteArray hint = "Try 'tarnwell-find --help' for more information.\n";
        const QByteArray a = QFile::encodeName(root) + "/a/";
        QTest::newRow("why, NUL-ended, bundled")
            << QStringList{"-0x", "--why", "a"} << 0
            << QByteArrayList{a + ".a1\tdot-name", a + ".hidden\tdot-name", a + "a2\thidden-list",
                              ""}
                   .join('\0')
            << QByteArray();
        QTest::newRow("paths made whole")
            << QStringList{"./b//c/", "--", "a/."} << 0
            << QFile::encodeName(root) + "/b/c/.c1\n" + a + ".a1\n" + a + ".hidden\n" + a + "a2\n"
            << QByteArray();
        QTest::newRow("no PATH") << QStringList{"--why"} << 2 << QByteArray()
                                 << "tarnwell-find: no PATH given\n" + hint;
        QTest::newRow("unknown option") << QStringList{"a", "-xq"} << 2 << QByteArray()
                                        << "tarnwell-find: unknown option '-q'\n" + hint;
        QTest::newRow("a missing PATH, before any search")
            << QStringList{"a", "none"} << 2 << QByteArray()
            << "tarnwell-find: none: No such file or directory\n" + hint;
        QTest::newRow("a file as PATH") << QStringList{"a/a2"} << 2 << QByteArray()
                                        << "tarnwell-find: a/a2: Not a directory\n" + hint;
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << QByteArray("tarnwell-find 1.0.0\n") << QByteArray();
    }
    void optionsAndStatuses() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        const Run found = run(kFind, args, root);
        const char end = args.value(0) == "-0x" ? '\0' : '\n';
        QCOMPARE(records(found.out, end), records(out, end));
        QCOMPARE(found.err, err);
        QCOMPARE(found.status, status);
    }

    // Only what lies on the PATH's own file system, failures included.
    void staysOnOneFileSystem() {
        const QString folder = root + "/b/c";
        SMALL_DISK_OR_SKIP(folder, "size=1m");
        makeTree(folder, {".inner", "locked/"});
        ::chmod(QFile::encodeName(folder + "/locked"), 0);
        const QByteArray b = QFile::encodeName(root) + "/b/";
        QCOMPARE(records(run(kFind, {"-x", b}).out, '\n'),
                 records(b + ".\xff\xfe\n" + b + ".e\x1b]0;pwned\x07\n", '\n'));
        const Run all = run(kFind, {b});
        QCOMPARE(all.out.count('\n'), 3);
        QCOMPARE(std::pair(all.err, all.status),
                 std::pair("tarnwell-find: " + b + "c/locked: Permission denied\n", 1));
    }

    void dosWordsSayWhereTheyCameFrom() {
        NtfsVolume volume;
        if (volume.mountPoint().isEmpty())
            QSKIP(qPrintable(volume.why()));
        const QString m = volume.mountPoint();
        makeTree(m, {"h", "hs", "plain"});
        QVERIFY(NtfsVolume::setAttributes(m + "/h", 2) && NtfsVolume::setAttributes(m + "/hs", 6));
        const QByteArray out = run(kFind, {"--why", m}).out;
        QCOMPARE(records(out, '\n'),
                 records(QFile::encodeName(m) + "/h\tdos-hidden\tntfs\n" + QFile::encodeName(m) +
                             "/hs\tdos-hidden-system\tntfs\n",
                         '\n'));
    }

    // Raw bytes go to pipes (above); a terminal gets them spelled out, on
    // both streams, and the progress line only beside redirected results.
    void namesCannotCommandTheTerminal() {
        const QByteArray shown = onTerminal(root + "/b " + root);
        QVERIFY2(!shown.contains('\x1b') && !shown.contains('\x07'), shown.constData());
        for (const char* line : {"/b/.e\\x1b]0;pwned\\x07\r\n", "/b/.\\xff\\xfe\r\n",
                                 "/locked\\x1b[7m: Permission denied\r\n"})
            QVERIFY2(shown.contains(QFile::encodeName(root) + line), line);
        const QByteArray progress = onTerminal(root + " >/dev/null");
        QVERIFY2(progress.contains("\rProcessing /"), progress.constData());
        QVERIFY(progress.lastIndexOf("\rProcessing") < progress.lastIndexOf("\r\x1b[K"));
    }

    void aClosedPipeEndsItQuietly() {
        const QString command = "'" + kFind + "' " + root + "/many | head -n1 >/dev/null";
        const Run r = run("bash", {"-c", command + "; echo ${PIPESTATUS[0]}"});
        QCOMPARE(std::pair(r.out, r.err), std::pair(QByteArray("141\n"), QByteArray()));
    }

    // The process the shell waits for ends at once, the finds before the
    // hung folder written out, while the child's reader stays stuck.
    void endsAtOnceWhileAListingHangs_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }
    void endsAtOnceWhileAListingHangs() {
        QFETCH(int, signal);
        QTemporaryDir hang;
        const QString mount = hang.path() + "/mnt", release = hang.path() + "/release";
        QDir().mkpath(mount);
        QProcess fs, find;
        fs.start(qEnvironmentVariable("TARNWELL_HANGFS"), {mount, release});
        const auto down = qScopeGuard([&] {
            QFile(release).open(QIODevice::WriteOnly);
            ::umount2(QFile::encodeName(mount).constData(), MNT_DETACH);
            fs.terminate();
            fs.waitForFinished(5000);
        });
        if (!fs.waitForStarted() ||
            !QTest::qWaitFor([&] { return QFile::exists(mount + "/a/.a1"); }))
            QSKIP("no FUSE mount here");
        prepare(find);
        find.start(kFind, {mount});
        QTRY_VERIFY(QFile::exists(release + ".held") && find.peek(1 << 16).contains("/a/.a1\n"));
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(find.processId()), signal);
        QVERIFY(find.waitForFinished(1000));
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(find.exitCode(), 128 + signal);
    }
};

QTEST_MAIN(FindTest)
#include "test_find.moc"
