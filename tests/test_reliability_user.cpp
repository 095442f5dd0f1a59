// What a restless user and a faulty machine do to the whole window: a seeded
// monkey acting between commands and inside their yields and boxes, a text
// export that permissions refuse, and the window closed in the middle of a
// command. What each export writes is checked by its own test.
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <random>

#include "results/spreadsheet.h"
#include "support/fakes.h"
#include "support/results_support.h"
#include "support/searchlist_lists.h"
#include "support/trees.h"
#include "ui/keycodes.h"
#include "ui/progressbar.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

// The program folder doubles as the tree, so that "Load Sample/Example
// Folder" adds real folders too. Every hidden file below it is known.
struct MonkeyTree {
    QTemporaryDir dir;
    QString root = dir.path();
    QSet<QString> hidden;
    MonkeyTree() {
        makeTree(root, {"Samples/1/.a", "Samples/1/plain", "Samples/1/sub/.b", "Samples/1/sub/p",
                        "Samples/2/.c", "Samples/2/q", "docs/listed", "docs/r", "docs/.git/config",
                        "docs/.git/.keep", "docs/deep/er/.d", "docs/deep/er/e"});
        writeFile(QFile::encodeName(root + "/docs/.hidden"), "listed\nnot-there\n");
        for (int i = 0; i < 24; ++i)
            makeTree(root, {qPrintable(QString("docs/many/%1%2").arg(i % 4 ? "f" : ".f").arg(i))});
        for (const QString& f : filesUnder(root))
            if (f.section('/', -1).startsWith('.') || f == "docs/listed")
                hidden.insert(root + '/' + f);
    }
};

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
    h.services.endProgram = [] { std::_Exit(0); };
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
    void restlessUser_data() {
        QTest::addColumn<unsigned>("seed");
        for (unsigned seed : {1u, 7u, 42u, 1234u, 2024u, 99991u})
            QTest::addRow("seed %u", seed) << seed;
    }
    // A user who clicks anything, anywhere, at any time, also inside the
    // yields and boxes of a running command; the same seed always makes the
    // same user. Nesting stops at a depth, and a budget of actions ends it.
    void restlessUser() {
        QFETCH(unsigned, seed);
        MonkeyTree tree;
        QTemporaryDir out;
        Harness h(tree.root);
        XlsxSpreadsheetHost host(h.shell, {out.path() + "/cache", [] { return true; }, 1048576});
        h.services.spreadsheet = &host;
        h.form->showCentred();  // the lists paint at every yield
        Form1& f = *h.form;
        // Start/Stop most of all: it is what nests runs in runs.
        QPushButton* const buttons[] = {
            f.PushButton1, f.PushButton1,  f.PushButton1, f.PushButton1,  f.PushButton1,
            f.PushButton3, f.PushButton3,  f.PushButton8, f.PushButton9,  f.PushButton11,
            f.PushButton2, f.PushButton2,  f.PushButton6, f.PushButton17, f.PushButton4,
            f.PushButton5, f.PushButton14, f.PushButton14};
        void (Form1::*const moves[])() = {&Form1::PushButton1_MouseMove,
                                          &Form1::PushButton_MouseMove, &Form1::Form_MouseMove,
                                          &Form1::ListView1_MouseMove, &Form1::ListView2_MouseMove};
        const QStringList folders{"", tree.root, tree.root + "/docs/", tree.root + "/gone"};
        const QStringList saveNames{"", out.path() + "/r.txt", out.path() + "/missing/r.txt"};
        const QStringList inputs{"", "sub", "DOCS", ".a", "zz-none", "/"};
        std::mt19937 rng(seed);
        const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
        int actionsLeft = 150, depth = 0;
        std::function<void()> act = [&] {
            if (actionsLeft <= 0 || depth >= 5)
                return;
            --actionsLeft;
            ++depth;
            const int a = pick(int(std::size(buttons)) + 3);
            ListControl& list = pick(2) ? *f.ListView1 : *f.ListView2;
            if (a < int(std::size(buttons))) {
                buttons[a]->click();
            } else if (a == int(std::size(buttons))) {
                (f.*moves[pick(int(std::size(moves)))])();
            } else {  // a click on an entry, or beside every entry, then a removal
                list.entries().publish();
                list.setCurrentIndex(list.model()->index(pick(list.Count() + 1) - 1, 0));
                const bool key = pick(2);
                if (&list == f.ListView1)
                    key ? f.ListView1_KeyDown(vbKeyDelete, 0) : f.ListView1_DblClick();
                else
                    key ? f.ListView2_KeyDown(vbKeyDelete, 0) : f.ListView2_DblClick();
            }
            --depth;
        };
        h.yield.onYield = [&](int) {
            QCoreApplication::processEvents();  // what a real yield does besides
            if (pick(100) < 15)
                act();
        };
        // The answer is set once the user is done inside the box: boxes opened
        // meanwhile have taken their own answers by then.
        h.dialogs.whileOpen = [&](const Box& box) {
            if (pick(100) < 25)
                act();
            h.dialogs.answers = {(box.style & 7) == vbYesNo && pick(2) ? vbYes : vbNo};
            h.dialogs.inputs = {inputs[pick(int(inputs.size()))]};
            h.dialogs.saveNames = {saveNames[pick(int(saveNames.size()))]};
            h.dialogs.folders = {folders[pick(int(folders.size()))]};
        };
        while (actionsLeft > 0) act();
        h.yield.onYield = nullptr;
        h.dialogs.whileOpen = nullptr;

        // Everything has come to rest, and only hidden files were found.
        QCOMPARE(f.PushButton1->text(), QStringLiteral("Start Finding"));
        f.Form_MouseMove();  // a busy pointer would stay
        QCOMPARE(f.pointer().value(), MousePointer::Default);
        QCOMPARE(f.ProgressBar1->Value(), 0.0);
        QCOMPARE(f.ProgressBar1->Text(), QStringLiteral("Progress Bar"));
        for (const QString& found : textsOf(h.results()))
            QVERIFY2(tree.hidden.contains(found), qPrintable(found));
        // And the window still works: a calm run finds every hidden file once.
        h.dialogs.boxes.clear();
        f.PushButton8_Click();
        h.searchList().Add(tree.root);
        f.PushButton1_Click();
        QStringList found = textsOf(h.results()), expected = tree.hidden.values();
        found.sort();
        expected.sort();
        QCOMPARE(found, expected);
        QCOMPARE(h.dialogs.messages().size(), size_t(1));
        QCOMPARE(h.dialogs.messages()[0].text, "Done.");
    }

    // The export writes beside the target and renames: it must neither
    // replace a read-only file nor fall back to writing into it in a folder
    // it may not write. One report, the target as it was, nothing beside it.
    void textExportRefusedByPermissions_data() {
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<int>("fileMode");
        QTest::newRow("read-only file") << 0777 << 0444;
        QTest::newRow("read-only folder") << 0555 << 0666;
    }
    void textExportRefusedByPermissions() {
        QFETCH(int, folderMode);
        QFETCH(int, fileMode);
        QTemporaryDir dir;
        const QString target = dir.path() + "/target.txt";
        writeFile(QFile::encodeName(target), "old\r\n");
        Harness h;
        for (int i = 0; i < 100; ++i) h.results().Add(QByteArray("/x/.n") + QByteArray::number(i));
        h.dialogs.saveNames = {target};
        h.dialogs.answers = {vbYes};
        QVERIFY(::chmod(QFile::encodeName(target), fileMode) == 0);
        QVERIFY(::chmod(QFile::encodeName(dir.path()), folderMode) == 0);
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
