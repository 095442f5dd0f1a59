// The main window: start-up with a skin or cursor file next to the
// program, the help box, and the conventions every command shares: the
// ErrorReport box, the error trap, and drawing at a pace while one runs. Its
// lists: the control's 1-based positions, a model that keeps its contract
// with the view (Qt's model tester), and removals in one pass; the search
// list's folders through the browse dialog, the sample folders, removing
// entries by double-click and Delete, and clearing both lists. Acting on the
// results: removing those that contain a typed text or not; on one result:
// its folder in the file manager, its path on the clipboard; and on the
// selected ones: dragging, unhiding, moving to the trash.
#include <QAbstractItemModelTester>
#include <QMenu>
#include <QMimeData>

#include "app/clearhelp.h"
#include "errors/errortrap.h"
#include "platform/hiddenreason.h"
#include "results/fileactions.h"
#include "results/resultactions.h"
#include "support/fakes.h"
#include "ui/paintpacer.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {
constexpr auto kFailTheTest = QAbstractItemModelTester::FailureReportingMode::QtTest;
}  // namespace

class WindowTest : public QObject {
    Q_OBJECT
    const QString shipped_ = qEnvironmentVariable("TARNWELL_PROGRAM_DIR");

private slots:
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
        QTemporaryDir dir;
        const bool shipped = skin == "shipped";
        if (shipped)
            skin = readFile(QFile::encodeName(shipped_ + "/x/o.cjs"));
        makeTree(dir.path(), {skin == "folder" ? "x/o.cjs/" : "x/"});
        if (!skin.isEmpty() && skin != "folder")
            writeFile(QFile::encodeName(dir.path() + "/x/o.cjs"), skin);
        if (skin == "listed")  // hidden by the list of its folder
            writeFile(QFile::encodeName(dir.path() + "/x/.hidden"), "o.cjs\n");
        if (!cursor.isEmpty())
            writeFile(QFile::encodeName(dir.path() + "/HAND-M.CUR"), cursor);
        QTest::failOnWarning(QRegularExpression("(?i)style ?sheet"));

        Harness h(shipped ? shipped_ : dir.path());
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
            QAbstractItemModelTester tester(list.model(), kFailTheTest);
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
        QTemporaryDir dir, data;
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        const QByteArray d = QFile::encodeName(dir.path());
        makeTree(dir.path(), {".dot", "listed", "also", "gone"});
        writeFile(d + "/.hidden", "listed\nalso\r\ngone\n");
        Harness h;
        h.form->show();
        QCOMPARE(h.search({dir.path()}).size(), 5);  // .dot, .hidden and the three listed
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

        QVERIFY(QFile::remove(dir.path() + "/gone"));
        select({"also", "gone"});
        h.dialogs.answers = {vbYes};
        QTest::keyClick(&h.results(), Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(h.dialogs.messages().size(), size_t(2));
        QVERIFY(
            h.dialogs.messages()[0].text.startsWith("Move the 2 selected entries to the Trash?"));
        QVERIFY(h.dialogs.messages()[1].text.endsWith("/gone: No such file or directory"));
        QVERIFY(QFile::exists(data.path() + "/Trash/files/also"));
        QCOMPARE(h.results().Count(), 3);
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
