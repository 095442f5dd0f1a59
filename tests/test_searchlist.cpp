// The lists. The control: 1-based positions, a model that keeps its
// contract with the view (Qt's model tester), and removals in one pass. The
// search list: folders through the browse dialog, the sample folders,
// removing entries by double-click and Delete, and clearing both lists.
#include <QAbstractItemModelTester>

#include "errors/failure.h"
#include "support/fakes.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {
void fill(ListControl& list, int n) {
    for (int i = 1; i <= n; ++i) list.Add(QString("/e%1").arg(i));
}
constexpr auto kFailTheTest = QAbstractItemModelTester::FailureReportingMode::QtTest;
}  // namespace

class SearchListTest : public QObject {
    Q_OBJECT
private slots:
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

QTEST_MAIN(SearchListTest)
#include "test_searchlist.moc"
