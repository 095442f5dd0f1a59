// What a restless user and a faulty machine do to the whole window: a seeded
// monkey acting between commands and inside their yields and boxes, exports
// that cannot finish, and the window closed in the middle of a command.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <random>

#include "platform/ending.h"
#include "results/spreadsheet.h"
#include "support/fakes.h"
#include "support/results_support.h"
#include "support/search_trees.h"
#include "support/trees.h"
#include "ui/keycodes.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

QByteArray contentOf(const QString& path) {
    return readFile(QFile::encodeName(path));
}

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

// A user who clicks anything, anywhere, at any time. The same seed always
// makes the same user. Acting inside a yield or a box nests, up to a depth;
// a budget of actions makes sure everything ends.
class Monkey {
public:
    Monkey(Harness& h, const MonkeyTree& tree, const QString& out, unsigned seed, int actions)
        : h_(h), rng_(seed), actionsLeft_(actions) {
        folders_ = {QString(),
                    tree.root,
                    tree.root + "/docs/",
                    tree.root + "/Samples/1",
                    tree.root + "/Samples/2",
                    tree.root + "/docs/deep",
                    tree.root + "/gone"};
        saveNames_ = {QString(), out + "/r.txt", out + "/r.txt", out + "/missing/r.txt", out};
        h_.yield.onYield = [this](int) {
            // What a real yield does besides letting the user in.
            QCoreApplication::processEvents();
            if (chance(15))
                act();
        };
        h_.dialogs.whileOpen = [this](const Box& box) {
            if (chance(25))
                act();
            answer(box);
        };
    }
    ~Monkey() {
        h_.yield.onYield = nullptr;
        h_.dialogs.whileOpen = nullptr;
    }

    void run() {
        while (actionsLeft_ > 0) act();
    }
    int deepest() const { return deepest_; }

private:
    enum Action {
        Start,
        AddFolder,
        ClearList,
        Help,
        LoadSamples,
        SaveText,
        ClearResults,
        RemoveContaining,
        RemoveNotContaining,
        Copy,
        Workbook,
        SearchListDoubleClick,
        SearchListKey,
        ResultsDoubleClick,
        ResultsKey,
        HoverStart,
        HoverButton,
        HoverBare,
        HoverList,
    };

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return pick(100) < percent; }

    void act() {
        if (actionsLeft_ <= 0 || depth_ >= kMaxDepth)
            return;
        --actionsLeft_;
        ++depth_;
        deepest_ = std::max(deepest_, depth_);
        // Start/Stop most of all: it is what nests runs in runs.
        static const std::vector<int> weights{6, 2, 1, 1, 1, 2, 1, 1, 1, 1,
                                              2, 1, 1, 1, 1, 1, 1, 1, 1};
        std::discrete_distribution<int> which(weights.begin(), weights.end());
        Form1& f = *h_.form;
        switch (Action(which(rng_))) {
            case Start:
                f.PushButton1->click();
                break;
            case AddFolder:
                f.PushButton3->click();
                break;
            case ClearList:
                f.PushButton8->click();
                break;
            case Help:
                f.PushButton9->click();
                break;
            case LoadSamples:
                f.PushButton11->click();
                break;
            case SaveText:
                f.PushButton2->click();
                break;
            case ClearResults:
                f.PushButton6->click();
                break;
            case RemoveContaining:
                f.PushButton17->click();
                break;
            case RemoveNotContaining:
                f.PushButton4->click();
                break;
            case Copy:
                f.PushButton5->click();
                break;
            case Workbook:
                f.PushButton14->click();
                break;
            case SearchListDoubleClick:
                select(*f.ListView1);
                f.ListView1_DblClick();
                break;
            case SearchListKey:
                select(*f.ListView1);
                f.ListView1_KeyDown(chance(80) ? vbKeyDelete : 'A', pick(8));
                break;
            case ResultsDoubleClick:
                select(*f.ListView2);
                f.ListView2_DblClick();
                break;
            case ResultsKey:
                select(*f.ListView2);
                f.ListView2_KeyDown(chance(80) ? vbKeyDelete : 'A', pick(8));
                break;
            case HoverStart:
                f.PushButton1_MouseMove();
                break;
            case HoverButton:
                f.PushButton_MouseMove();
                break;
            case HoverBare:
                f.Form_MouseMove();
                break;
            case HoverList:
                chance(50) ? f.ListView1_MouseMove() : f.ListView2_MouseMove();
                break;
        }
        --depth_;
    }

    // A click on an entry the user can see, or beside every entry.
    void select(ListControl& list) {
        list.entries().publish();
        const int row = pick(list.Count() + 1) - 1;
        if (row < 0)
            list.selectionModel()->clearSelection();
        else
            list.selectionModel()->select(
                list.model()->index(row, 0),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    // Set only once the user is done inside the box: boxes opened meanwhile
    // have taken their own answers by then.
    void answer(const Box& box) {
        FakeDialogs& d = h_.dialogs;
        if (box.kind == "msgBox")
            d.answers = {(box.style & 7) == vbYesNo ? (chance(50) ? vbYes : vbNo) : vbOK};
        else if (box.kind == "inputBox")
            d.inputs = {QStringList{"", "sub", "DOCS", ".a", "zz-none", "/"}[pick(6)]};
        else if (box.kind == "save")
            d.saveNames = {saveNames_[pick(int(saveNames_.size()))]};
        else if (box.kind == "browse")
            d.folders = {folders_[pick(int(folders_.size()))]};
    }

    static constexpr int kMaxDepth = 5;
    Harness& h_;
    std::mt19937 rng_;
    int actionsLeft_;
    int depth_ = 0;
    int deepest_ = 0;
    QStringList folders_, saveNames_;
};

// While it lives, the process is the user "nobody" (root keeps the saved
// ID to come back): permissions hold as for anyone, access() included, which
// judges by the real ID and so ignores a mere loss of capabilities.
class AsNobody {
public:
    AsNobody() {
        if (::geteuid() != 0)
            return;  // an ordinary user already
        active_ = ::setresgid(65534, 65534, 0) == 0 && ::setresuid(65534, 65534, 0) == 0;
        if (!active_)
            restore();
    }
    ~AsNobody() {
        if (active_)
            restore();
    }
    bool refused() const { return ::geteuid() == 0; }

private:
    static void restore() {
        if (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0)
            std::abort();  // the rest of the suite would run as nobody
    }
    bool active_ = false;
};

// Text the program wrote (a file or the clipboard): whole lines, each one the
// path of a hidden file of the tree.
void checkOnlyHiddenLines(const QString& text, const QSet<QString>& hidden) {
    if (text.isEmpty())
        return;
    QVERIFY2(text.endsWith("\r\n"), qPrintable(text.right(200)));
    const QStringList lines = text.chopped(2).split("\r\n");
    for (const QString& line : lines) QVERIFY2(hidden.contains(line), qPrintable(line));
}

bool canHoldUnnamedFiles(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// Closing the window in the middle of a command happens in a child process,
// since it ends the process: the test executable runs itself with these set.
constexpr char kCloseDuring[] = "TARNWELL_TEST_CLOSE_DURING";
constexpr char kCloseFolder[] = "TARNWELL_TEST_CLOSE_FOLDER";
constexpr int kCommandFinished = 3;

// In the child: a real window over scripted boxes, closed at the 50th yield of
// the command, as the program itself ends it.
int closeDuring(const QString& command, const QString& folder) {
    FakeDialogs dialogs;
    ScriptedYield yield;
    FakeSettings settings;
    FakeClipboard clipboard;
    FakeShell shell;
    Services services{dialogs, yield, settings, clipboard, shell};
    services.endProgram = endProgramAtOnce;
    services.programFolder = folder;
    XlsxSpreadsheetHost host(shell, {folder + "/cache", [] { return true; }, 1048576});
    services.spreadsheet = &host;
    Form1 form(services);
    form.Form_Load();
    form.showCentred();
    for (int i = 0; i < 500; ++i)
        form.ListView2->Add(QFile::encodeName(folder) + "/.entry" + QByteArray::number(i));
    yield.onYield = [&](int n) {
        if (n == 50)
            form.close();
    };
    if (command == "search") {
        form.ListView1->Add(folder + "/tree");
        form.PushButton1_Click();
    } else if (command == "text") {
        dialogs.saveNames = {folder + "/target.txt"};
        dialogs.answers = {vbYes};
        form.PushButton2_Click();
    } else if (command == "workbook") {
        form.PushButton14_Click();
    }
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
    void restlessUser() {
        QFETCH(unsigned, seed);
        MonkeyTree tree;
        QTemporaryDir out;
        Harness h(tree.root);
        XlsxSpreadsheetHost host(h.shell, {out.path() + "/cache", [] { return true; }, 1048576});
        h.services.spreadsheet = &host;
        h.form->showCentred();  // the lists paint at every yield
        {
            Monkey monkey(h, tree, out.path(), seed, 150);
            monkey.run();
            qInfo("seed %u: %d boxes, %d yields, nested %d deep", seed, int(h.dialogs.boxes.size()),
                  h.yield.count, monkey.deepest());
        }

        // Everything has finished.
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QVERIFY(h.form->pointer().value() != MousePointer::Busy);
        h.form->Form_MouseMove();  // off the buttons
        QCOMPARE(h.form->pointer().value(), MousePointer::Default);
        QCOMPARE(h.form->ProgressBar1->Value(), 0.0);
        QCOMPARE(h.form->ProgressBar1->Text(), QStringLiteral("Progress Bar"));
        for (int i = 1; i <= h.results().Count(); ++i)
            QVERIFY2(tree.hidden.contains(h.results().Text(i)), qPrintable(h.results().Text(i)));
        // What went out of the program holds nothing else, and whole lines.
        if (QFileInfo(out.path() + "/r.txt").isFile())
            checkOnlyHiddenLines(QString::fromUtf8(contentOf(out.path() + "/r.txt")), tree.hidden);
        if (h.clipboard.text != "(old clipboard content)")
            checkOnlyHiddenLines(h.clipboard.text, tree.hidden);
        // A workbook is either finished and opened, or gone.
        QStringList workbooks;
        for (const QString& f : filesUnder(out.path() + "/cache"))
            workbooks << out.path() + "/cache/" + f;
        QStringList opened(h.shell.openedFiles.begin(), h.shell.openedFiles.end());
        workbooks.sort();
        opened.sort();
        QCOMPARE(workbooks, opened);

        // And the window still works: a calm run finds every hidden file once.
        h.dialogs.boxes.clear();
        h.form->PushButton8_Click();
        QCOMPARE(h.searchList().Count(), 0);
        h.searchList().Add(tree.root);
        h.form->PushButton1_Click();
        QStringList found = entries(h.results()), expected = tree.hidden.values();
        found.sort();
        expected.sort();
        QCOMPARE(found, expected);
        QCOMPARE(h.dialogs.messages().size(), size_t(1));
        QCOMPARE(h.dialogs.messages()[0].text, "Done.");
    }

    // A text export that cannot replace the target: one report, no "Done.",
    // the target as it was and nothing left beside it.
    void textExportFaults_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("read-only file") << "read-only file";
        QTest::newRow("read-only file system") << "read-only file system";
        QTest::newRow("target is a folder") << "folder";
        QTest::newRow("entry deleted meanwhile") << "deleted";
    }
    void textExportFaults() {
        QFETCH(QString, fault);
        QTemporaryDir dir;
        std::unique_ptr<TinyDisk> disk;
        if (fault == "read-only file system" &&
            !(disk = std::make_unique<TinyDisk>(dir.path(), "size=1m"))->whyNot.isEmpty())
            QSKIP(qPrintable(disk->whyNot));
        const QString target = dir.path() + (fault == "folder" ? "/target" : "/target.txt");
        const QByteArray kept = fault == "folder" ? "inside" : "old\r\n";
        Harness h;
        for (int i = 0; i < 100; ++i) h.results().Add(QByteArray("/x/.n") + QByteArray::number(i));
        if (fault == "folder")
            QVERIFY(QDir().mkpath(target));
        writeFile(QFile::encodeName(fault == "folder" ? target + "/inside" : target), kept);
        std::unique_ptr<AsNobody> asNobody;
        if (fault == "read-only file" || fault == "read-only folder") {
            // A read-only file in a folder anyone may write to.
            QVERIFY(::chmod(QFile::encodeName(dir.path()),
                            fault == "read-only file" ? 0777 : 0555) == 0);
            QVERIFY(::chmod(QFile::encodeName(target), fault == "read-only file" ? 0444 : 0666) ==
                    0);
            asNobody = std::make_unique<AsNobody>();
            if (asNobody->refused())
                QSKIP("cannot become an ordinary user here");
        }
        if (disk && ::mount(nullptr, QFile::encodeName(dir.path()).constData(), nullptr,
                            MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            QSKIP("cannot make the tmpfs read-only");
        if (fault == "deleted") {
            // Over "Stop" the busy pointer gives way, and Delete works again.
            h.yield.onYield = [&](int n) {
                if (n != 10)
                    return;
                h.form->PushButton1_MouseMove();
                h.results().entries().publish();
                h.results().setCurrentIndex(h.results().model()->index(0, 0));
                h.form->ListView2_KeyDown(vbKeyDelete, 0);
            };
        }
        const QStringList before = filesUnder(dir.path());
        h.dialogs.saveNames = {target};
        h.dialogs.answers = {vbYes};
        h.form->PushButton2_Click();
        asNobody.reset();
        ::chmod(QFile::encodeName(dir.path()), 0700);
        QCOMPARE(h.dialogs.countContaining("in Quorrel2021/08/31.Form1.PushButton2_Click "), 1);
        QCOMPARE(h.dialogs.countContaining("Done."), 0);
        QCOMPARE(contentOf(fault == "folder" ? target + "/inside" : target), kept);
        QCOMPARE(filesUnder(dir.path()), before);
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
            AsNobody asNobody;
            if (asNobody.refused())
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

    // The private folder for workbooks on a read-only file system.
    void workbookOnAReadOnlyFileSystem() {
        QTemporaryDir dir;
        TinyDisk disk(dir.path(), "size=1m");
        if (!disk.whyNot.isEmpty())
            QSKIP(qPrintable(disk.whyNot));
        writeFile(QFile::encodeName(dir.path() + "/earlier.xlsx"), "earlier");
        if (::mount(nullptr, QFile::encodeName(dir.path()).constData(), nullptr,
                    MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            QSKIP("cannot make the tmpfs read-only");
        Harness h;
        XlsxSpreadsheetHost host(h.shell, {dir.path() + "/cache", [] { return true; }, 1048576});
        h.services.spreadsheet = &host;
        h.results().Add(QByteArray("/x/.n"));
        h.form->PushButton14_Click();
        QCOMPARE(h.dialogs.countContaining("in Quorrel2021/08/31.Form1.PushButton14_Click "), 1);
        QCOMPARE(h.dialogs.boxes.size(), size_t(1));
        QVERIFY(h.shell.openedFiles.empty());
        QCOMPARE(filesUnder(dir.path()), QStringList{"earlier.xlsx"});
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

        QCOMPARE(contentOf(dir.path() + "/target.txt"), "precious\r\n");
        QCOMPARE(contentOf(dir.path() + "/cache/earlier.xlsx"), "earlier");
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
