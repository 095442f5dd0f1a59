// "Clear List", "Clear Results" and "Help".
#include <QtTest>

#include "app/clearhelp.h"
#include "platform/listcontrol.h"
#include "support/fakes.h"
#include "support/searchlist_lists.h"

using namespace tarnwell;
using namespace tarnwell::test;

class ClearHelpTest : public QObject {
    Q_OBJECT
private slots:
    void clearListIsRefusedWhileBusy() {
        Harness h;
        fillList(h.searchList(), {"/a", "/b"});
        h.form->pointer().set(MousePointer::Busy);
        h.form->PushButton8_Click();
        QCOMPARE(textsOf(h.searchList()), (QStringList{"/a", "/b"}));
        // The hand is no busy flag: once "Stop" showed it, the list clears.
        h.form->pointer().set(MousePointer::Custom);
        h.form->PushButton8_Click();
        QCOMPARE(h.searchList().Count(), 0);
        h.form->PushButton8_Click();  // an empty list
        QCOMPARE(h.searchList().Count(), 0);
        QVERIFY(h.dialogs.boxes.empty());
    }

    // A long command that keeps appending results and yielding, as a search
    // does; "Clear Results" and "Clear List" are clicked during a yield.
    void clearResultsWorksDuringACommand() {
        Harness h;
        h.form->show();
        fillList(h.searchList(), {"/walked"});
        h.yield.onYield = [&](int n) {
            if (n == 3) {
                h.form->PushButton6_Click();
                h.form->PushButton8_Click();
            }
            QCoreApplication::processEvents();
        };
        h.form->pointer().set(MousePointer::Busy);
        for (int i = 1; i <= 6; ++i) {
            const int at = h.results().Add(QStringLiteral("/walked/.f%1").arg(i));
            h.results().EnsureVisible(at);
            h.yield.doEvents();
        }
        h.form->pointer().set(MousePointer::Default);
        QCoreApplication::processEvents();

        QCOMPARE(textsOf(h.results()), (QStringList{"/walked/.f4", "/walked/.f5", "/walked/.f6"}));
        // The view shows exactly what the list holds.
        QCOMPARE(h.results().model()->rowCount(), 3);
        QCOMPARE(h.results().model()->index(0, 0).data().toString(), QStringLiteral("/walked/.f4"));
        QCOMPARE(textsOf(h.searchList()), QStringList{"/walked"});
        QVERIFY(h.dialogs.boxes.empty());
    }

    void helpShowsTheContactAddressAlone() {
        Harness h;
        const QString text = QStringLiteral(
            "Questions? Please contact Team Kelvane at https://www.example.com/contact");
        h.form->PushButton9_Click();
        // The same box whatever the window is doing.
        h.form->pointer().set(MousePointer::Busy);
        fillList(h.results(), {"/x"});
        h.form->PushButton9_Click();
        const auto boxes = h.dialogs.messages();
        QCOMPARE(boxes.size(), size_t(2));
        for (const Box& box : boxes) {
            QCOMPARE(box.text, text);
            QCOMPARE(box.style, 0);
            QCOMPARE(box.title, h.services.appTitle);
        }
        QCOMPARE(h.services.appTitle, QStringLiteral("Tarnwell"));
    }
};

QTEST_MAIN(ClearHelpTest)
#include "test_clearhelp.moc"
