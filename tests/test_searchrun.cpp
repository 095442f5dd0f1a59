// The search run: the Start/Stop button, progress, the end of a run, and
// what a user may do to the lists while a run yields.
#include <QPushButton>
#include <QtTest>

#include "support/fakes.h"
#include "support/search_trees.h"
#include "support/trees.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

QStringList texts(const std::vector<Box>& boxes) {
    QStringList out;
    for (const Box& b : boxes) out << b.text.section(QLatin1Char('\r'), 0, 0);
    return out;
}

// Three folders with one hidden file each, plus a plain file.
struct ThreeFolders {
    QTemporaryDir dir;
    QStringList paths;
    ThreeFolders() {
        makeTree(dir.path(), {"one/.h", "one/p", "two/.h", "two/p", "three/.h", "three/p"});
        for (const char* name : {"one", "two", "three"})
            paths << dir.path() + QLatin1Char('/') + QLatin1String(name);
    }
    void addTo(Harness& h) const {
        for (const QString& p : paths) h.searchList().Add(p);
    }
};

}  // namespace

class SearchRunTest : public QObject {
    Q_OBJECT
private slots:
    void anEmptyListChangesNothing() {
        Harness h;
        h.results().Add(QStringLiteral("/kept"));
        h.form->ProgressBar1->setValue(42);
        h.form->searchRun().stopRequested = false;
        h.form->PushButton1_Click();
        QCOMPARE(h.dialogs.messages().size(), size_t(1));
        const Box box = h.dialogs.messages()[0];
        QCOMPARE(box.text, QStringLiteral("No folders added."));
        QCOMPARE(h.results().Count(), 1);
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.form->ProgressBar1->Value(), 42.0);
        QVERIFY(h.form->searchRun().stopRequested);
    }

    void aRunShowsItsProgressAndEndsAtRest() {
        ThreeFolders tree;
        Harness h;
        tree.addTo(h);
        h.results().Add(QStringLiteral("/from an earlier run"));
        QList<double> values;
        QStringList shown;
        h.yield.onYield = [&](int) {
            QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Stop"));
            QCOMPARE(h.form->pointer().value(), MousePointer::Busy);
            values << h.form->ProgressBar1->Value();
            shown << h.form->ProgressBar1->Text();
        };
        h.form->PushButton1_Click();

        // Per entry: the yield before it, the yield after its "Processing: "
        // text, and two files.
        QCOMPARE(values.size(), 3 * 4);
        QCOMPARE(values[1], 100.0 / 3);
        QCOMPARE(values[5], 200.0 / 3);
        QCOMPARE(values[9], 100.0);
        QCOMPARE(shown[1], "Processing: " + tree.paths[0]);
        QCOMPARE(shown[2], "Processing " + tree.paths[0]);
        QCOMPARE(shown[9], "Processing: " + tree.paths[2]);

        QCOMPARE(entries(h.results()), QStringList({tree.paths[0] + "/.h", tree.paths[1] + "/.h",
                                                    tree.paths[2] + "/.h"}));
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.form->pointer().value(), MousePointer::Default);
        QCOMPARE(h.form->ProgressBar1->Value(), 0.0);
        QCOMPARE(h.form->ProgressBar1->Text(), QStringLiteral("Progress Bar"));
        QCOMPARE(texts(h.dialogs.messages()), QStringList{"Done."});
    }

    void stopDuringTheSecondOfThree() {
        ThreeFolders tree;
        Harness h;
        tree.addTo(h);
        QStringList shown;
        h.yield.onYield = [&](int n) {
            shown << h.form->ProgressBar1->Text();
            if (n == 7) {  // the first file of the second entry
                h.form->PushButton1_Click();
                QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
                QVERIFY(h.form->searchRun().stopRequested);
            }
        };
        h.form->PushButton1_Click();
        QCOMPARE(h.yield.count, 8);  // the third entry yields once, then sees the stop
        QVERIFY(!shown.contains("Processing: " + tree.paths[2]));
        QCOMPARE(entries(h.results()), QStringList{tree.paths[0] + "/.h"});
        QCOMPARE(texts(h.dialogs.messages()), QStringList{"Done."});
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));

        // The next run starts afresh: the earlier finds go first. Only the
        // exact caption "Stop" makes a click a Stop click.
        h.yield.onYield = nullptr;
        h.form->PushButton1->setText(QStringLiteral("STOP"));
        h.form->PushButton1_Click();
        QCOMPARE(h.results().Count(), 3);
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("STOP"));
    }

    void aStartAfterAStopRunsInsideTheStoppedRun() {
        ThreeFolders tree;
        Harness h;
        tree.addTo(h);
        bool clicked = false;
        h.yield.onYield = [&](int n) {
            if (n == 3 && !clicked) {  // the first file of the first entry
                clicked = true;
                h.form->PushButton1_Click();  // Stop
                h.form->PushButton1_Click();  // and Start again, at once
            }
        };
        h.form->PushButton1_Click();
        // The inner run went through the whole list; the outer one, stopped,
        // then saw the flag and finished too.
        QCOMPARE(texts(h.dialogs.messages()), QStringList({"Done.", "Done."}));
        QCOMPARE(h.results().Count(), 3);
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.form->pointer().value(), MousePointer::Default);
    }
};

QTEST_MAIN(SearchRunTest)
#include "test_searchrun.moc"
