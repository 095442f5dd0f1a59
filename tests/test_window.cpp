// The main window: start-up with a skin or cursor file next to the
// program, the help box, and the conventions every command shares: the
// ErrorReport box, the error trap, and drawing at a pace while one runs. Its
// lists: the control's 1-based positions, a model that keeps its contract
// with the view (Qt's model tester), and removals in one pass; the search
// list's folders through the browse dialog, the sample folders, removing
// entries by double-click and Delete, and clearing both lists.
#include <QAbstractItemModelTester>

#include "app/clearhelp.h"
#include "errors/errortrap.h"
#include "support/fakes.h"
#include "ui/paintpacer.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {
void fill(ListControl& list, int n) {
    for (int i = 1; i <= n; ++i) list.Add(QString("/e%1").arg(i));
}
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

    void pickedFolders() {
        Harness h;
        h.form->pointer().set(MousePointer::Custom);
        h.form->PushButton3_Click();  // cancelled: nothing changes
        QCOMPARE(h.form->pointer().value(), 99);
        // Only a doubled separator right after a colon folds, wherever it is.
        h.dialogs.folders = {"/", "/", "smb://h/a://b", "/c:/d", "/e//f", "g:///h"};
        for (int i = 0; i < 6; ++i) h.form->PushButton3_Click();
        QCOMPARE(textsOf(h.searchList()),
                 (QStringList{"/", "/", "smb:/h/a:/b", "/c:/d", "/e//f", "g://h"}));
        QCOMPARE(h.form->pointer().value(), 0);
        QVERIFY(h.dialogs.messages().empty());
    }

    void samplesAreAppendedAtEveryClick() {
        Harness h;
        fillList(h.searchList(), {"/mine"});
        h.dialogs.answers = {vbNo, vbYes};
        h.form->PushButton11_Click();
        QVERIFY(h.shell.openedFolders.empty());
        h.form->PushButton11_Click();
        const QString p = h.services.programFolder;
        QCOMPARE(textsOf(h.searchList()), (QStringList{"/mine", p + "/Samples/1", p + "/Samples/2",
                                                       p + "/Samples/1", p + "/Samples/2"}));
        QCOMPARE(h.shell.openedFolders, std::vector<QString>{p + "/Samples/"});
        QCOMPARE(h.dialogs.boxes.at(1).style, int(vbYesNo));
    }

    void removal_data() {
        QTest::addColumn<bool>("results");
        QTest::addColumn<int>("modifiers");  // -1: a double-click instead of Delete
        QTest::newRow("double-click") << false << -1;
        QTest::newRow("Delete") << false << 0;
        QTest::newRow("Delete, results") << true << 0;
        QTest::newRow("double-click, results") << true << -1;
    }
    void removal() {
        QFETCH(bool, results);
        QFETCH(int, modifiers);
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
        modifiers < 0 ? clickEntry(list, 3, true)
                      : QTest::keyClick(&list, Qt::Key_Delete, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(textsOf(list), (QStringList{"/a", "/b", "/d", "/e"}));
        list.clearSelection();
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(list.Count(), 4);
        QVERIFY(h.dialogs.boxes.empty());
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
    void positionsAreOneBasedAndSearchEntriesHaveNoCheckBox() {
        ListControl list(false);
        list.AddColumn("Folder(s)");
        fill(list, 5);
        QCOMPARE(list.Add(QString("/e6")), 6);
        list.Remove(3);
        QCOMPARE(textsOf(list), (QStringList{"/e1", "/e2", "/e4", "/e5", "/e6"}));
        QVERIFY_THROWS_EXCEPTION(Failure, list.Text(0));
        QVERIFY_THROWS_EXCEPTION(Failure, list.Text(6));
        QVERIFY_THROWS_EXCEPTION(Failure, list.Remove(6));
        list.entries().publish();
        QVERIFY(!list.model()->data(list.model()->index(0, 0), Qt::CheckStateRole).isValid());
    }

    // A few go row by row, many in one reset; either way the list is what
    // removing them one by one from the highest down leaves.
    void removingASetEqualsRemovingFromTheTopDown() {
        for (int n : {5, 100}) {
            ListControl a(true), b(true);
            QAbstractItemModelTester tester(a.model(), kFailTheTest);
            a.AddColumn("Results");
            for (ListControl* list : {&a, &b}) {
                fill(*list, n);
                list->SetChecked(4, false);
            }
            QCoreApplication::processEvents();
            std::vector<int> drop;  // all but every third
            for (int i = 1; i <= n; ++i) i % 3 ? drop.push_back(i) : void();
            a.RemoveAll(drop);
            for (auto it = drop.rbegin(); it != drop.rend(); ++it) b.Remove(*it);
            QCOMPARE(textsOf(a), textsOf(b));
            for (int i = 1; i <= a.Count(); ++i) QCOMPARE(a.Checked(i), b.Checked(i));
            QCOMPARE(a.verticalHeader()->count(), a.Count());  // as the view itself counts
        }
    }

    // An entry's folder is kept once for the entries found in it. Removing
    // most of a long list packs what is left anew, folders and names alike;
    // every path stays whole, and one too long to be a name too.
    void pathsStayWholeThroughPacking() {
        ListControl list(true);
        QStringList kept;
        std::vector<int> drop;
        for (int i = 1; i <= 40000; ++i) {
            const QString path = QString("/f%1/%2%3").arg(i / 100).arg(QString(60, 'n')).arg(i);
            list.Add(path);
            // Every other folder loses all its entries, the rest half of theirs.
            if (i % 200 >= 150)
                kept << path;
            else
                drop.push_back(i);
        }
        list.RemoveAll(drop);
        for (const QString& path : {QString("/f399/last"), QString(70000, 'x')}) {
            list.Add(path);
            kept << path;
        }
        QCOMPARE(textsOf(list), kept);
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
