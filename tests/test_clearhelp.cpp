// "Clear List", "Clear Results" and "Help".
#include <QtTest>

#include "app/clearhelp.h"
#include "support/fakes.h"
#include "support/searchlist_lists.h"

using namespace tarnwell;
using namespace tarnwell::test;

class ClearHelpTest : public QObject {
    Q_OBJECT
private slots:
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

    void helpIsOnePlainBox() {
        Harness h;
        h.form->PushButton9_Click();
        QCOMPARE(h.dialogs.boxes.size(), size_t(1));
        QCOMPARE(h.dialogs.boxes[0].text, helpText());
        QCOMPARE(h.dialogs.boxes[0].style, int(vbOKOnly));
        QCOMPARE(h.dialogs.boxes[0].title, QStringLiteral("Tarnwell"));
    }
};

QTEST_MAIN(ClearHelpTest)
#include "test_clearhelp.moc"
