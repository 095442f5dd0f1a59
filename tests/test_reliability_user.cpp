// What an ordinary user's permissions and an impatient user do to the whole
// window: a text export over a file they may write, and the window closed in
// the middle of a search.
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/ending.h"
#include "support/fakes.h"
#include "support/results_support.h"
#include "support/trees.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

// While it lives, the process is the user "nobody" (root keeps the saved ID
// to come back): permissions hold as for anyone, access() included, which
// judges by the real ID and so ignores a mere loss of capabilities.
struct AsNobody {
    const bool root = ::geteuid() == 0;
    const bool active =
        root && ::setresgid(65534, 65534, 0) == 0 && ::setresuid(65534, 65534, 0) == 0;
    ~AsNobody() {
        if (root && (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0))
            std::abort();  // the rest of the suite would run as nobody
    }
};

// Closing the window ends the process, so it is done in a child: the test
// executable runs itself with this set.
constexpr char kCloseDuring[] = "TARNWELL_TEST_CLOSE_DURING";
constexpr int kCommandFinished = 3;

// In the child: the window closed at the 50th yield of a search, and the
// program ended as the program itself ends it.
int closeDuringSearch(const QString& folder) {
    Harness h(folder);
    h.services.endProgram = endProgramAtOnce;
    h.form->showCentred();
    h.yield.onYield = [&](int n) { n == 50 ? h.form->close() : void(); };
    h.searchList().Add(folder);
    h.form->PushButton1_Click();
    return kCommandFinished;
}

}  // namespace

class ReliabilityUserTest : public QObject {
    Q_OBJECT
private slots:
    // A file the user may write in a folder they may not is written in place;
    // one that root replaces stays its owner's, with its mode.
    void textExportKeepsTheFileAsItsOwnerHadIt() {
        QTemporaryDir dir;
        const QByteArray target = QFile::encodeName(dir.path() + "/target.txt");
        writeFile(target, "old\r\n");
        QVERIFY(::chmod(target, 0666) == 0 && ::chmod(QFile::encodeName(dir.path()), 0555) == 0);
        Harness h;
        h.results().Add(QByteArray("/x/.n"));
        h.dialogs.saveNames = {QFile::decodeName(target), QFile::decodeName(target)};
        h.dialogs.answers = {vbYes, vbOK, vbYes};
        {
            AsNobody nobody;
            if (!nobody.active)
                QSKIP("cannot become an ordinary user here");
            h.form->PushButton2_Click();
        }
        QCOMPARE(readFile(target), "/x/.n\r\n");
        QCOMPARE(h.dialogs.messages().size(), size_t(2));  // the question and "Done."
        QCOMPARE(filesUnder(dir.path()), QStringList{"target.txt"});
        if (::geteuid() != 0)
            return;
        QVERIFY(::chmod(QFile::encodeName(dir.path()), 0700) == 0);
        QVERIFY(::chown(target, 65534, 65534) == 0 && ::chmod(target, 0640) == 0);
        h.form->PushButton2_Click();
        struct stat st;
        QVERIFY(::stat(target, &st) == 0);
        QCOMPARE(std::tuple(st.st_uid, st.st_gid, st.st_mode & 07777),
                 std::tuple(65534u, 65534u, 0640u));
    }

    // Closing the window ends the program at once, in the middle of a
    // search, and costs the user none of their files.
    void closingMidSearchEndsAtOnce() {
        QTemporaryDir dir;
        for (int i = 0; i < 200; ++i)
            makeTree(dir.path(), {qPrintable(QString("%1/.h%2").arg(i % 10).arg(i))});
        const QStringList before = filesUnder(dir.path());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kCloseDuring, dir.path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);  // kCommandFinished: the close did not end it
        QCOMPARE(filesUnder(dir.path()), before);
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kCloseDuring))
        return closeDuringSearch(qEnvironmentVariable(kCloseDuring));
    ReliabilityUserTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_reliability_user.moc"
