// The main window: start-up with a skin or cursor file next to the
// program, the help box, and the conventions every command shares: the
// ErrorReport box, the error trap, and drawing at a pace while one runs. Its
// lists: the control's 1-based positions, a model that keeps its contract
// with the view (Qt's model tester), and removals in one pass; the search
// list's folders through the browse dialog, the sample folders, removing
// entries by double-click and Delete, and clearing both lists. Acting on the
// results: removing those that contain a typed text or not; on one result:
// its folder in the file manager, its path on the clipboard; and on the
// selected ones: dragging, unhiding, moving to the trash. Below them, acting
// on found files: what lands in the trash can be put back where it was, byte
// for byte; whatever cannot go, or is no longer what was found, stays where
// it is and leaves nothing in the trash. A ".hidden" list loses exactly the
// lines of the names unhidden, keeps every other byte, its owner and its
// mode, and the lines of files that are not the ones found.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QAbstractItemModelTester>
#include <QMenu>
#include <QMimeData>
#include <optional>

#include "app/clearhelp.h"
#include "desktop/trash.h"
#include "errors/errortrap.h"
#include "fs/descriptor.h"
#include "fs/hiddenreason.h"
#include "fs/unhide.h"
#include "results/fileactions.h"
#include "results/resultactions.h"
#include "support/fakes.h"
#include "support/search_trees.h"
#include "ui/paintpacer.h"

using namespace tarnwell;
using namespace tarnwell::test;

class WindowTest : public QObject {
    Q_OBJECT
    const QString shipped_ = qEnvironmentVariable("TARNWELL_PROGRAM_DIR");
    std::optional<QTemporaryDir> dir;
    QByteArray root, home;  // where the files are; the home trash, on their mount

    static int trash(const QByteArray& p) { return TrashCan().moveToTrash(p, identityOf(p)); }
    static constexpr auto kAll = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
    QStringList names(const QByteArray& f) { return QDir(QFile::decodeName(f)).entryList(kAll); }

    // The .trashinfo for `name`, its date replaced by "D" when it is now.
    static QByteArray infoOf(const QByteArray& trash, const QByteArray& name) {
        QByteArray t = readFile(trash + "/info/" + name + ".trashinfo");
        const qsizetype at = t.indexOf("DeletionDate=") + 13;
        const auto when = QDateTime::fromString(QString::fromLatin1(t.mid(at, 19)), Qt::ISODate);
        return qAbs(when.secsTo(QDateTime::currentDateTime())) < 60 ? t.replace(at, 19, "D") : t;
    }

private slots:
    // Every test may act on files in a folder of its own, as someone reading
    // like anyone.
    void initTestCase() { QVERIFY(readAsAnOrdinaryUser()); }
    void init() {
        dir.emplace();
        root = QFile::encodeName(dir->path());
        home = root + "/data/Trash";
        qputenv("XDG_DATA_HOME", root + "/data");
        qputenv("TZ", "XYZ-5:30");  // a date in UTC is then wrong
    }
    void cleanup() { removeTree(dir->path()); }  // names that are not UTF-8, locked folders

    // A broken skin or cursor file is reported once, and start-up goes on.
    // A skin file that is read turns the face; only one that parses styles
    // the window.
    void startUp_data() {
        QTest::addColumn<QByteArray>("skin");    // what x/o.cjs is
        QTest::addColumn<QByteArray>("cursor");  // what HAND-M.CUR is
        QTest::addColumn<QString>("report");
        const QByteArray none;
        QTest::newRow("nothing") << none << none << "";
        QTest::newRow("shipped") << QByteArray("shipped") << none << "";
        QTest::newRow("hidden") << QByteArray("listed") << none << "";
        QTest::newRow("a folder") << QByteArray("folder") << none << "";
        QTest::newRow("unbalanced")
            << QByteArray("QPushButton { color: red;") << none << "Invalid skin file";
        QTest::newRow("not UTF-8")
            << QByteArray("QWidget { font: \"\xff\"; }") << none << "Invalid skin file";
        QTest::newRow("cursor no picture")
            << none << QByteArray("not a cursor") << "Invalid picture";
    }
    void startUp() {
        QFETCH(QByteArray, skin);
        QFETCH(QByteArray, cursor);
        QFETCH(QString, report);
        const bool faceTurned = !skin.isEmpty() && skin != "listed" && skin != "folder";
        const bool skinned = faceTurned && report.isEmpty();
        const bool shipped = skin == "shipped";
        if (shipped)
            skin = readFile(QFile::encodeName(shipped_ + "/x/o.cjs"));
        makeTree(dir->path(), {skin == "folder" ? "x/o.cjs/" : "x/"});
        if (!skin.isEmpty() && skin != "folder")
            writeFile(QFile::encodeName(dir->path() + "/x/o.cjs"), skin);
        if (skin == "listed")  // hidden by the list of its folder
            writeFile(QFile::encodeName(dir->path() + "/x/.hidden"), "o.cjs\n");
        if (!cursor.isEmpty())
            writeFile(QFile::encodeName(dir->path() + "/HAND-M.CUR"), cursor);
        QTest::failOnWarning(QRegularExpression("(?i)style ?sheet"));

        Harness h(shipped ? shipped_ : dir->path());
        h.form->show();
        const QPalette& p = h.form->palette();
        QCOMPARE(p.color(QPalette::Window), faceTurned ? p.color(QPalette::Button) : Qt::white);
        QCOMPARE(h.form->styleSheet(), skinned ? QString::fromUtf8(skin) : QString());
        QCOMPARE(h.form->property("skinControls").toBool(), skinned);
        QCOMPARE(h.form->pointer().hasCustomImage(), shipped);
        QCOMPARE(h.dialogs.boxes.size(), size_t(!report.isEmpty()));
        QCOMPARE(h.dialogs.errorReports("Form1.Form_Load", report), int(!report.isEmpty()));
        QCOMPARE(h.searchList().ColumnText(1), QStringLiteral("Folder(s)"));
        QCOMPARE(h.results().ColumnText(1), QStringLiteral("Results"));
    }

    void helpIsOnePlainBox() {
        Harness h;
        h.form->PushButton9_Click();
        QCOMPARE(h.dialogs.boxes, (std::vector<Box>{{"msgBox", helpText(), vbOKOnly, "Tarnwell"}}));
    }

    // A failed test counts as held; a failed value leaves nothing for the
    // statements that need it. The report's text, once exactly.
    void trapReportsOnceAndGoesOn() {
        FakeDialogs dialogs;
        ErrorTrap trap(dialogs, "Form1", "PushButton2_Click");
        QStringList ran;
        QVERIFY(!trap.run(1, [&] { throw Failure("Disk full"); }));
        QVERIFY(trap.run(2, [&] { ran << "2"; }));
        QVERIFY(trap.test(3, [&]() -> bool { throw Failure("Bad"); }));
        QVERIFY(!trap.test(4, [&] { return false; }));
        QVERIFY(!trap.value(5, [&]() -> int { throw std::bad_alloc(); }));
        QCOMPARE(trap.value(6, [] { return 42; }).value(), 42);
        QCOMPARE(ran, QStringList{"2"});
        QCOMPARE(trap.reportCount(), 3);
        const auto report = [](const char* description, int line) {
            return Box{"msgBox", errorReportText(description, "Form1", "PushButton2_Click", line),
                       48, "Application Error"};
        };
        QCOMPARE(dialogs.boxes, (std::vector<Box>{report("Disk full", 1), report("Bad", 3),
                                                  report("Out of memory", 5)}));
        QCOMPARE(dialogs.boxes[0].text.toUtf8(),
                 QByteArray("Disk full\r\nin Quorrel2021/08/31.Form1.PushButton2_Click at line "
                            "1\r\rPlease email screenshot of this message to support@example.com"));
    }

    // A paint held back is drawn when its time comes or when the pacer
    // goes; Qt asks for no other until it is, so one lost would leave the
    // window undrawn for good.
    void aPaintHeldBackIsNeverLost() {
        struct PaintCounter : QWidget {
            int paints = 0;
            void paintEvent(QPaintEvent*) override { ++paints; }
        } w;
        w.resize(40, 40);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(w.paints > 0);
        ScriptedYield yield;
        // A pass as a long command makes it: the window's events, then the
        // pass's end, where the pacer draws.
        const auto drawn = [&](auto&& change) {
            const int before = w.paints;
            change();
            QCoreApplication::processEvents();
            yield.doEvents();
            return w.paints > before;
        };
        {
            PaintPacer pacer(w, yield, 60 * 1000);
            QVERIFY(drawn([&] { w.update(); }));
            QVERIFY(!drawn([&] { w.update(); }));
            QVERIFY(!drawn([&] { w.repaint(); }));
        }
        QVERIFY(drawn([] {}));
        QVERIFY(drawn([&] { w.update(); }));
        {
            // With no pass to draw it (a box is open), its timer does.
            PaintPacer pacer(w, yield, 100);
            QVERIFY(drawn([&] { w.update(); }));
            const int before = w.paints;
            w.update();
            QTRY_VERIFY(w.paints > before);
        }
        QVERIFY(drawn([&] { w.update(); }));
    }

    // Folders come through the browse dialog: Cancel changes nothing, and
    // only a doubled separator right after a colon folds, wherever it is. The
    // sample folders come at every click, and open when the user says so.
    void addingFolders() {
        Harness h;
        h.form->pointer().set(MousePointer::Custom);
        h.form->PushButton3_Click();  // cancelled: nothing changes
        QCOMPARE(h.form->pointer().value(), 99);
        h.dialogs.folders = {"/", "/", "smb://h/a://b", "/c:/d", "/e//f", "g:///h"};
        for (int i = 0; i < 6; ++i) h.form->PushButton3_Click();
        QCOMPARE(textsOf(h.searchList()),
                 (QStringList{"/", "/", "smb:/h/a:/b", "/c:/d", "/e//f", "g://h"}));
        QCOMPARE(h.form->pointer().value(), 0);
        QVERIFY(h.dialogs.messages().empty());
        h.dialogs.answers = {vbNo, vbYes};
        h.form->PushButton11_Click();
        QVERIFY(h.shell.openedFolders.empty());
        h.form->PushButton11_Click();
        const QString p = h.services.programFolder;
        QCOMPARE(textsOf(h.searchList()).mid(6), (QStringList{p + "/Samples/1", p + "/Samples/2",
                                                              p + "/Samples/1", p + "/Samples/2"}));
        QCOMPARE(h.shell.openedFolders, std::vector<QString>{p + "/Samples/"});
        QCOMPARE(h.dialogs.messages().at(1).style, int(vbYesNo));
    }

    // A double-click or Delete removes the entry from either list; neither
    // does while a command runs, nor Delete with nothing selected.
    void removal() {
        for (const bool results : {false, true})
            for (const bool doubleClick : {false, true}) {
                Harness h;
                h.form->show();
                ListControl& list = results ? h.results() : h.searchList();
                fillList(list, {"/a", "/b", "/c", "/d", "/e"});
                clickEntry(list, 3);
                list.setFocus();
                // Busy: neither removes. The full stop's Qt code is Delete's number.
                h.form->pointer().set(MousePointer::Busy);
                clickEntry(list, 3, true);
                QTest::keyClick(&list, Qt::Key_Delete);
                h.form->pointer().set(MousePointer::Custom);
                QTest::keyClick(&list, Qt::Key_Period);
                QCOMPARE(list.Count(), 5);
                doubleClick ? clickEntry(list, 3, true) : QTest::keyClick(&list, Qt::Key_Delete);
                QCOMPARE(textsOf(list), (QStringList{"/a", "/b", "/d", "/e"}));
                list.clearSelection();
                QTest::keyClick(&list, Qt::Key_Delete);
                QCOMPARE(list.Count(), 4);
                QVERIFY(h.dialogs.boxes.empty());
            }
    }

    // A command that appends results and yields, as a search does; both clear
    // buttons are clicked during its third yield.
    void clearingDuringACommand() {
        Harness h;
        fillList(h.searchList(), {"/walked"});
        h.yield.onYield = [&](int n) {
            n == 3 ? (h.form->PushButton6_Click(), h.form->PushButton8_Click()) : void();
            QCoreApplication::processEvents();
        };
        h.form->pointer().set(MousePointer::Busy);
        for (int i = 1; i <= 5; ++i) {
            h.results().EnsureVisible(h.results().Add(QStringLiteral("/walked/.f%1").arg(i)));
            h.yield.doEvents();
        }
        QCOMPARE(textsOf(h.results()), (QStringList{"/walked/.f4", "/walked/.f5"}));
        QCOMPARE(h.results().model()->rowCount(), 2);  // and the view shows the same
        QCOMPARE(h.searchList().Count(), 1);           // refused while busy
        // The hand is no busy flag: once "Stop" showed it, the list clears.
        h.form->pointer().set(MousePointer::Custom);
        h.form->PushButton8_Click();
        QCOMPARE(h.searchList().Count(), 0);
        QVERIFY(h.dialogs.boxes.empty());
    }
    // Positions count from 1 and fail outside the list; search entries have
    // no check box. (Past the end is the exports' cleared-list cases.)
    void positionsAreOneBasedAndSearchEntriesHaveNoCheckBox() {
        ListControl list(false);
        list.AddColumn("Folder(s)");
        fillList(list, {"/e1", "/e2"});
        QCOMPARE(list.Add(QString("/e3")), 3);
        QVERIFY_THROWS_EXCEPTION(Failure, list.Text(0));
        QVERIFY_THROWS_EXCEPTION(Failure, list.Remove(4));
        QVERIFY(!list.model()->data(list.model()->index(0, 0), Qt::CheckStateRole).isValid());
    }

    // A few go row by row, many in one reset, and removing most of a long
    // list packs what is left anew, folders and names alike (an entry's
    // folder is kept once for the entries found in it). Either way the rest
    // keep their order, whole paths and check marks, and the view counts as
    // many; one path too long to be a name stays whole too.
    void removingASetKeepsTheRest() {
        for (int n : {5, 40000}) {
            ListControl list(true);
            QAbstractItemModelTester tester(list.model(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
            list.AddColumn("Results");
            QStringList kept;
            std::vector<int> drop;
            for (int i = 1; i <= n; ++i) {
                const QString path = QString("/f%1/%2%3").arg(i / 100).arg(QString(60, 'n')).arg(i);
                list.Add(path);
                // Of a few, all but every third go; of many, every other
                // folder loses all its entries, the rest half of theirs.
                if (n < 100 ? i % 3 == 0 : i % 200 >= 150)
                    kept << path;
                else
                    drop.push_back(i);
            }
            list.SetChecked(n < 100 ? 3 : 150, false);
            const QString unchecked = list.Text(n < 100 ? 3 : 150);
            QCoreApplication::processEvents();
            list.RemoveAll(drop);
            QCOMPARE(list.verticalHeader()->count(), list.Count());  // as the view itself counts
            for (const QString& path : {QString("/f399/last"), QString(70000, 'x')}) {
                list.Add(path);
                kept << path;
            }
            QCOMPARE(textsOf(list), kept);
            for (int i = 1; i <= list.Count(); ++i)
                QCOMPARE(list.Checked(i), list.Text(i) != unchecked);
        }
    }

    // Letter case is ignored, beyond ASCII too; the text is taken as typed,
    // spaces and all, and Cancel or nothing typed changes nothing.
    void removeResultsContainingOrNot_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("hits");  // per entry: 1 when it contains the text
        const QStringList thumbs{"/c/A/Thumbs.db", "/c/B/desktop.ini"};
        QTest::newRow("cancel or empty") << "" << thumbs << "00";
        QTest::newRow("letter case") << "THUMBS" << thumbs << "10";
        QTest::newRow("spaces only") << "  " << QStringList{"/a  b", "/ab"} << "10";
        QTest::newRow("beyond ASCII") << "ÜBER" << QStringList{"/.über", "/.uber"} << "10";
        QTest::newRow("1, 2, 4 of five")
            << "hit" << QStringList{"/hit1", "/HIT2", "/3", "/Hit4", "/5"} << "11010";
    }
    void removeResultsContainingOrNot() {
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        QFETCH(QString, hits);
        for (const bool containing : {true, false}) {
            QStringList left;  // what the command keeps
            for (int i = 0; i < entries.size(); ++i)
                if (text.isEmpty() || (hits[i] == '1') != containing)
                    left << entries[i];
            Harness h;
            for (const QString& e : entries) h.results().Add(e);
            h.form->pointer().set(MousePointer::Custom);
            h.dialogs.inputs.push_back(text);
            containing ? h.form->PushButton17_Click() : h.form->PushButton4_Click();
            QCOMPARE(textsOf(h.results()), left);
            // Nothing typed leaves even the pointer alone.
            QCOMPARE(h.form->pointer().value(), text.isEmpty() ? 99 : 0);
            QCOMPARE(h.dialogs.boxes.size(), size_t(1));  // the input box, no message
            QCOMPARE(h.dialogs.boxes[0].text, containing ? "Remove entries containing: "
                                                         : "Remove entries not containing: ");
        }
    }

    // Both carry a path's bytes as they are, whatever the names' encoding.
    // Without a file manager on the session bus the folder opens in the
    // shell's way; the tests' session bus is one that does not exist.
    void dragAndMenuActOnTheExactBytes() {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        Harness h;
        h.form->show();
        h.results().Add(QByteArray("/a/.one"), HiddenReason::DotName);
        h.results().Add(QByteArray("/a/caf\xe9/.t wo"), HiddenReason::DotName);
        h.results().entries().publish();
        h.results().setFocus();
        QTest::keyClick(&h.results(), Qt::Key_A, Qt::ControlModifier);
        const std::unique_ptr<QMimeData> data(
            h.results().model()->mimeData(h.results().selectionModel()->selectedIndexes()));
        QCOMPARE(data->data("text/uri-list"), "file:///a/.one\r\nfile:///a/caf%E9/.t%20wo\r\n");
        QCOMPARE(data->data("text/plain"), "/a/.one\n/a/caf\xe9/.t wo\n");

        const QPoint second = h.results().visualRect(h.results().model()->index(1, 0)).center();
        h.form->ListView2_ContextMenu(second);
        auto* menu = h.results().findChild<QMenu*>();
        QVERIFY(menu);
        menu->actions().at(0)->trigger();  // Open Containing Folder
        const QString shown = h.results().Text(2);
        h.results().Clear();               // the entry may vanish while the menu is open
        menu->actions().at(1)->trigger();  // Copy Path
        QCOMPARE(h.clipboard.text, shown);
        QCOMPARE(h.clipboard.sets, 1);
        QTRY_COMPARE(h.shell.openedFolders, std::vector<QString>{QFile::decodeName("/a/caf\xe9")});
    }

    // Found by a real search, so each entry carries the identity and reason
    // the actions check; every action leaves what it could not do in place.
    void actionsOnTheSelectedFiles() {
        const QByteArray& d = root;
        makeTree(dir->path(), {".dot", "listed", "also", "gone"});
        writeFile(d + "/.hidden", "listed\nalso\r\ngone\n");
        Harness h;
        h.form->show();
        QCOMPARE(h.search({dir->path()}).size(), 5);  // .dot, .hidden and the three listed
        const auto select = [&](std::initializer_list<const char*> names) {
            h.results().clearSelection();
            for (int i = 1; i <= h.results().Count(); ++i)
                for (const char* name : names)
                    if (h.results().Bytes(i) == d + '/' + name)
                        h.results().selectionModel()->select(
                            h.results().model()->index(i - 1, 0),
                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        };
        h.results().entries().publish();
        const auto unhideAction = [&] {
            const int row = h.results().SelectedIndex() - 1;
            h.form->ListView2_ContextMenu(
                h.results().visualRect(h.results().model()->index(row, 0)).center());
            auto* menu = h.results().findChildren<QMenu*>().constLast();
            return menu->actions().at(3);
        };
        h.dialogs.boxes.clear();

        select({".dot"});
        QVERIFY(!unhideAction()->isEnabled());
        QVERIFY(unhideAction()->toolTip().contains("dot"));
        select({".dot", "listed"});
        QVERIFY(unhideAction()->isEnabled());
        unhideSelectedResults(h.form->window());
        QCOMPARE(readFile(d + "/.hidden"), "also\r\ngone\n");
        QCOMPARE(h.results().Count(), 4);  // the dot name stays

        h.form->pointer().set(MousePointer::Busy);  // a command runs: nothing is done
        select({"also"});
        QTest::keyClick(&h.results(), Qt::Key_Delete, Qt::ShiftModifier);
        h.form->pointer().set(MousePointer::Default);
        QVERIFY(h.dialogs.boxes.empty());

        QVERIFY(QFile::remove(dir->path() + "/gone"));
        select({"also", "gone"});
        h.dialogs.answers = {vbYes};
        QTest::keyClick(&h.results(), Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(h.dialogs.messages().size(), size_t(2));
        QVERIFY(
            h.dialogs.messages()[0].text.startsWith("Move the 2 selected entries to the Trash?"));
        QVERIFY(h.dialogs.messages()[1].text.endsWith("/gone: No such file or directory"));
        QCOMPARE(readFile(home + "/files/also"), "x");
        QCOMPARE(h.results().Count(), 3);
    }

    void trashedFilesCanBeRestored() {
        makeTree(dir->path(), {"a b/.x%y", "a b/.d/in", "c/.x%y"});
        // Not UTF-8, and too long for a name with ".trashinfo".
        const QByteArray l(199, 'l'), odd = "/." + l + QByteArray("\xc3\xa9").repeated(27) + '\xff';
        writeFile(root + odd, "x");
        QVERIFY(::symlink("c", root + "/.ln") == 0);
        for (const char* p : {"/a b/.x%y", "/c/.x%y", "/a b/.d", "/.ln", odd.data()})
            QCOMPARE(trash(root + p), 0);
        QCOMPARE(names(root), (QStringList{"a b", "c", "data"}));
        const QByteArray head = "[Trash Info]\nPath=" + root, tail = "\nDeletionDate=D\n";
        QCOMPARE(infoOf(home, ".x%y"), head + "/a%20b/.x%25y" + tail);
        QCOMPARE(infoOf(home, ".x%y.2"), head + "/c/.x%25y" + tail);
        QCOMPARE(readFile(home + "/files/.d/in"), "x");
        // Cut between characters, never within one.
        QCOMPARE(infoOf(home, odd.mid(1, 244)),
                 head + "/." + l + QByteArray("%C3%A9").repeated(27) + "%FF" + tail);
    }

    void aFileThatCannotGoStays() {
        // One that is gone is the menu test's.
        makeTree(dir->path(), {".swapped", "other", "locked/.f"});
        const FileIdentity swapped = identityOf(root + "/.swapped");
        QVERIFY(::chmod(root + "/locked", 0555) == 0 &&
                ::rename(root + "/other", root + "/.swapped") == 0);
        QCOMPARE(TrashCan().moveToTrash(root + "/.swapped", swapped), kChangedSinceFound);
        QCOMPARE(trash(root + "/locked/.f"), EACCES);
        QCOMPARE(names(root) + names(root + "/locked"),
                 (QStringList{".swapped", "data", "locked", ".f"}));
        QCOMPARE(names(home + "/files") + names(home + "/info"), QStringList());
    }

    // The trash at the top of the file's own mount, and never one that
    // another user could have planted or can empty.
    void anotherMountHasItsOwnTrash() {
        const QByteArray top = root + "/mnt", uid = QByteArray::number(::geteuid());
        QVERIFY(::mkdir(top, 0700) == 0);
        SMALL_DISK_OR_SKIP(QFile::decodeName(top), "size=1m");
        // .Trash lacks the sticky bit, .Trash-uid is a link: the file stays.
        makeTree(QFile::decodeName(top), {"d/.a", "d/.b", ".Trash/"});
        QVERIFY(::symlink(root, top + "/.Trash-" + uid) == 0);
        QCOMPARE(trash(top + "/d/.a"), ENOTDIR);
        QVERIFY(::unlink(top + "/.Trash-" + uid) == 0);
        QCOMPARE(trash(top + "/d/.a"), 0);
        QCOMPARE(infoOf(top + "/.Trash-" + uid, ".a"), "[Trash Info]\nPath=d/.a\nDeletionDate=D\n");
        QVERIFY(::chmod(top + "/.Trash", 01777) == 0);
        QCOMPARE(trash(top + "/d/.b"), 0);
        QCOMPARE(readFile(top + "/.Trash/" + uid + "/files/.b"), "x");
    }

    void hiddenListLosesTheLinesOfItsNamesOnly() {
        const QByteArray list = root + "/.hidden";
        for (const char* name : {"a", "b", "caf\xe9", "swapped", "unlisted", "keep", "last", "new"})
            writeFile(root + '/' + name, "x");
        // CR LF and LF ends, "a" twice, a name that is not UTF-8, and a last
        // line without an end.
        writeFile(list, "keep\r\na\nb\r\ncaf\xe9\nswapped\r\ngone\na\r\nlast");
        // Another's list, with a mode of its own that root, reading as anyone,
        // may still read.
        if (::geteuid() == 0)
            QVERIFY(::chown(list, 65534, 65534) == 0);
        struct stat before, after;
        QVERIFY(::chmod(list, 0604) == 0 && ::stat(list, &before) == 0);
        const auto found = [&](const char* name) {
            return FoundName{name, identityOf(root + '/' + name)};
        };
        const std::vector<FoundName> names = {found("a"),       found("b"),   found("caf\xe9"),
                                              found("swapped"), {"gone", {}}, found("unlisted")};
        QVERIFY(::rename(root + "/new", root + "/swapped") == 0);  // another file under its name
        const Descriptor folder(::open(root, O_PATH | O_DIRECTORY | O_CLOEXEC));
        // Each name's error, or "already" when it was not listed.
        const auto outcomesOf = [&](const std::vector<FoundName>& names) {
            QStringList out;
            for (const UnhideOutcome& o : removeFromHiddenList(folder.get(), names))
                out << (o.alreadyUnhidden ? QString("already") : QString::number(o.error));
            return out;
        };
        QCOMPARE(outcomesOf(names), QStringList({"0", "0", "0", QString::number(kChangedSinceFound),
                                                 QString::number(ENOENT), "already"}));
        QCOMPARE(readFile(list), "keep\r\nswapped\r\ngone\nlast");

        // The rest, the last line without an end among them: the list stays,
        // empty, as its owner had it, and nothing is left beside it.
        writeFile(root + "/gone", "x");
        QCOMPARE(outcomesOf({found("keep"), found("swapped"), found("gone"), found("last")}),
                 QStringList(4, "0"));
        QCOMPARE(readFile(list), "");
        QVERIFY(::stat(list, &after) == 0);
        QCOMPARE(std::tuple(after.st_uid, after.st_gid, after.st_mode),
                 std::tuple(before.st_uid, before.st_gid, before.st_mode));
        QVERIFY(QDir(dir->path()).entryList({".hidden?*"}, QDir::Files | QDir::Hidden).isEmpty());
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
