// What a faulty machine and an impatient user do to the whole window: a text
// export that permissions refuse, and the window closed in the middle of a
// command.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/ending.h"
#include "results/spreadsheet.h"
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

bool canHoldUnnamedFiles(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY, 0600);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

// Closing the window ends the process, so it is done in a child: the test
// executable runs itself with these set.
constexpr char kCloseDuring[] = "TARNWELL_TEST_CLOSE_DURING";
constexpr char kCloseFolder[] = "TARNWELL_TEST_CLOSE_FOLDER";
constexpr int kCommandFinished = 3;

// In the child: the window closed at the 50th yield of the command, and the
// program ended as the program itself ends it.
int closeDuring(const QString& command, const QString& folder) {
    Harness h(folder);
    h.services.endProgram = endProgramAtOnce;
    XlsxSpreadsheetHost host(h.shell, {folder + "/cache", [] { return true; }, 1048576});
    h.services.spreadsheet = &host;
    h.form->showCentred();
    for (int i = 0; i < 500; ++i)
        h.results().Add(QFile::encodeName(folder) + "/.entry" + QByteArray::number(i));
    h.yield.onYield = [&](int n) {
        if (n == 50)
            h.form->close();
    };
    h.searchList().Add(folder + "/tree");
    h.dialogs.saveNames = {folder + "/target.txt"};
    h.dialogs.answers = {vbYes};
    if (command == "search")
        h.form->PushButton1_Click();
    else if (command == "text")
        h.form->PushButton2_Click();
    else
        h.form->PushButton14_Click();
    return kCommandFinished;
}

}  // namespace

class ReliabilityUserTest : public QObject {
    Q_OBJECT
private slots:
    // The export writes beside the target and renames: it must not replace a
    // read-only file. One report, the target as it was, nothing beside it.
    void textExportRefusedByPermissions() {
        QTemporaryDir dir;
        const QString target = dir.path() + "/target.txt";
        writeFile(QFile::encodeName(target), "old\r\n");
        Harness h;
        for (int i = 0; i < 100; ++i) h.results().Add(QByteArray("/x/.n") + QByteArray::number(i));
        h.dialogs.saveNames = {target};
        h.dialogs.answers = {vbYes};
        QVERIFY(::chmod(QFile::encodeName(target), 0444) == 0);
        QVERIFY(::chmod(QFile::encodeName(dir.path()), 0777) == 0);
        {
            AsNobody nobody;
            if (!nobody.active)
                QSKIP("cannot become an ordinary user here");
            h.form->PushButton2_Click();
        }
        ::chmod(QFile::encodeName(dir.path()), 0700);
        QCOMPARE(h.dialogs.errorReports("Form1.PushButton2_Click"), 1);
        QCOMPARE(h.dialogs.boxes.size(), size_t(3));  // save as, overwrite?, the report
        QCOMPARE(readFile(QFile::encodeName(target)), "old\r\n");
        QCOMPARE(filesUnder(dir.path()), QStringList{"target.txt"});
        QCOMPARE(h.form->pointer().value(), MousePointer::Default);
    }

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

    // Closing the window ends the program at once, in the middle of the
    // command, and costs the user none of their files.
    void closingMidCommandEndsAtOnce_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("search") << "search";
        QTest::newRow("text export") << "text";
        QTest::newRow("workbook export") << "workbook";
    }
    void closingMidCommandEndsAtOnce() {
        QFETCH(QString, command);
        QTemporaryDir dir;
        for (int i = 0; i < 200; ++i)
            makeTree(dir.path(), {qPrintable(QString("tree/%1/.h%2").arg(i % 10).arg(i))});
        writeFile(QFile::encodeName(dir.path() + "/target.txt"), "precious\r\n");
        makeTree(dir.path(), {"cache/"});
        writeFile(QFile::encodeName(dir.path() + "/cache/earlier.xlsx"), "earlier");
        const QStringList before = filesUnder(dir.path());

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kCloseDuring, command);
        env.insert(kCloseFolder, dir.path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(120000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);  // kCommandFinished: the close did not end it

        QCOMPARE(readFile(QFile::encodeName(dir.path() + "/target.txt")), "precious\r\n");
        QCOMPARE(readFile(QFile::encodeName(dir.path() + "/cache/earlier.xlsx")), "earlier");
        // Without unnamed files an unfinished export's file has a name of its
        // own, and an ending program cannot take it away.
        if (command == "search" || canHoldUnnamedFiles(dir.path()))
            QCOMPARE(filesUnder(dir.path()), before);
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kCloseDuring))
        return closeDuring(qEnvironmentVariable(kCloseDuring), qEnvironmentVariable(kCloseFolder));
    ReliabilityUserTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_reliability_user.moc"
