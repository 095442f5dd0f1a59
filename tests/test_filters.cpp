// Narrowing the results list by a typed text.
#include <QtTest>

#include "platform/listcontrol.h"
#include "results/filters.h"
#include "support/fakes.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

QStringList texts(const ListControl& list) {
    QStringList out;
    for (int i = 1; i <= list.Count(); ++i) out << list.Text(i);
    return out;
}

void fill(ListControl& list, const QStringList& entries) {
    for (const QString& e : entries) list.Add(e);
}

// Runs "Remove Results Containing X" (true) or "... Not Containing X".
void click(Harness& h, bool containing) {
    if (containing)
        h.form->PushButton17_Click();
    else
        h.form->PushButton4_Click();
}

}  // namespace

class FiltersTest : public QObject {
    Q_OBJECT
private slots:
    void cancelOrEmptyChangesNothing_data() {
        QTest::addColumn<bool>("containing");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("containing") << true << "Remove entries containing: ";
        QTest::newRow("not containing") << false << "Remove entries not containing: ";
    }
    void cancelOrEmptyChangesNothing() {
        QFETCH(bool, containing);
        QFETCH(QString, prompt);
        const QStringList entries{"/a/.x", "/b/.y"};
        Harness h;
        fill(h.results(), entries);
        h.form->pointer().set(MousePointer::Custom);
        click(h, containing);  // Cancel: the fake answers ""
        h.dialogs.inputs.push_back(QString());
        click(h, containing);  // OK with nothing typed
        QCOMPARE(texts(h.results()), entries);
        QCOMPARE(h.form->pointer().value(), int(MousePointer::Custom));
        QCOMPARE(h.dialogs.boxes.size(), size_t(2));
        for (const Box& b : h.dialogs.boxes) {
            QCOMPARE(b.kind, QStringLiteral("inputBox"));
            QCOMPARE(b.text, prompt);
            QCOMPARE(b.title, h.services.appTitle);
        }
    }

    void theTwoFiltersAreOpposites_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("afterContaining");
        QTest::addColumn<QStringList>("afterNotContaining");
        const QStringList thumbs{"/mnt/c/A/Thumbs.db", "/mnt/c/B/desktop.ini"};
        QTest::newRow("letter case ignored")
            << "THUMBS" << thumbs << QStringList{thumbs[1]} << QStringList{thumbs[0]};
        QTest::newRow("in every entry") << "/mnt/c/" << thumbs << QStringList{} << thumbs;
        // Spaces only is a text like any other.
        const QStringList spaced{"/x/a  b", "/x/ab", "/x/a b"};
        QTest::newRow("spaces only")
            << "  " << spaced << QStringList{"/x/ab", "/x/a b"} << QStringList{"/x/a  b"};
        QTest::newRow("beyond ASCII") << "ÜBER" << QStringList{"/h/.über", "/h/.uber"}
                                      << QStringList{"/h/.uber"} << QStringList{"/h/.über"};
        QTest::newRow("entries 1, 2, 4 of five")
            << "hit" << QStringList{"/hit1", "/HIT2", "/miss3", "/x/Hit4", "/miss5"}
            << QStringList{"/miss3", "/miss5"} << QStringList{"/hit1", "/HIT2", "/x/Hit4"};
        QTest::newRow("empty list") << "x" << QStringList{} << QStringList{} << QStringList{};
    }
    void theTwoFiltersAreOpposites() {
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, afterContaining);
        QFETCH(QStringList, afterNotContaining);
        for (const bool containing : {true, false}) {
            Harness h;
            fill(h.results(), entries);
            h.dialogs.inputs.push_back(text);
            click(h, containing);
            QCOMPARE(texts(h.results()), containing ? afterContaining : afterNotContaining);
            QCOMPARE(h.form->pointer().value(), int(MousePointer::Default));
            // The input box and nothing else, whatever was removed.
            QCOMPARE(h.dialogs.boxes.size(), size_t(1));
            QCOMPARE(h.yield.count, 0);
        }
    }

    // Past a handful of removals the list takes them in one pass; the
    // survivors keep their order and their check marks.
    void manyRemovalsKeepOrderAndMarks() {
        ListControl list(true);
        list.AddColumn("Results");
        for (int i = 1; i <= 3000; ++i)
            list.Add(QString("/d/%1%2").arg(i % 3 == 0 ? "keep" : "drop").arg(i));
        for (int i = 3; i <= 3000; i += 6) list.SetChecked(i, false);
        removeResultsNotContaining(list, "KEEP");
        QCOMPARE(list.Count(), 1000);
        for (int i = 1; i <= 1000; ++i) {
            QCOMPARE(list.Text(i), QString("/d/keep%1").arg(3 * i));
            QCOMPARE(list.Checked(i), i % 2 == 0);
        }
        removeResultsContaining(list, "keep");
        QCOMPARE(list.Count(), 0);
    }
};

QTEST_MAIN(FiltersTest)
#include "test_filters.moc"
