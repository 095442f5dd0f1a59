// The search list: folders through the browse dialog, the sample folders,
// removing entries by double-click and Delete, and clearing both lists.
#include <QtTest>

#include "support/fakes.h"
#include "support/searchlist_lists.h"

using namespace tarnwell;
using namespace tarnwell::test;

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
        QTest::newRow("Shift+Delete, results") << true << int(Qt::ShiftModifier);
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
            if (n == 3) {
                h.form->PushButton6_Click();
                h.form->PushButton8_Click();
            }
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
};

QTEST_MAIN(SearchListTest)
#include "test_searchlist.moc"
