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

// Three folders with one hidden file each, plus a plain file, in the list.
QStringList addThreeFolders(const QTemporaryDir& dir, Harness& h) {
    makeTree(dir.path(), {"one/.h", "one/p", "two/.h", "two/p", "three/.h", "three/p"});
    QStringList paths;
    for (const char* name : {"/one", "/two", "/three"})
        h.searchList().Add(paths.emplace_back(dir.path() + QLatin1String(name)));
    return paths;
}

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
        QCOMPARE(texts(h.dialogs.messages()), QStringList{"No folders added."});
        QCOMPARE(h.results().Count(), 1);
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.form->ProgressBar1->Value(), 42.0);
        QVERIFY(h.form->searchRun().stopRequested);
    }

    void aRunShowsItsProgressAndEndsAtRest() {
        QTemporaryDir dir;
        Harness h;
        const QStringList paths = addThreeFolders(dir, h);
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
        QCOMPARE(values[9], 100.0);
        QCOMPARE(shown[1], "Processing: " + paths[0]);
        QCOMPARE(shown[2], "Processing " + paths[0]);

        QCOMPARE(textsOf(h.results()),
                 QStringList({paths[0] + "/.h", paths[1] + "/.h", paths[2] + "/.h"}));
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.form->pointer().value(), MousePointer::Default);
        QCOMPARE(h.form->ProgressBar1->Value(), 0.0);
        QCOMPARE(h.form->ProgressBar1->Text(), QStringLiteral("Progress Bar"));
        QCOMPARE(texts(h.dialogs.messages()), QStringList{"Done."});
    }

    // A Stop click at the first file of the second entry; or at the first
    // file of the first, with a Start click at once after it: that run goes
    // through the whole list inside the stopped one, which then finishes too.
    void stopping_data() {
        QTest::addColumn<int>("at");  // the yield the clicks come at
        QTest::addColumn<bool>("restart");
        QTest::newRow("stop during the second of three") << 7 << false;
        QTest::newRow("start again after a stop") << 3 << true;
    }
    void stopping() {
        QFETCH(int, at);
        QFETCH(bool, restart);
        QTemporaryDir dir;
        Harness h;
        const QStringList paths = addThreeFolders(dir, h);
        h.yield.onYield = [&](int n) {
            if (n != at)
                return;
            at = 0;  // the inner run must not click again
            h.form->PushButton1_Click();
            QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
            QVERIFY(h.form->searchRun().stopRequested);
            if (restart)
                h.form->PushButton1_Click();
        };
        h.form->PushButton1_Click();
        if (!restart)
            QCOMPARE(h.yield.count, 8);  // the third entry yields once, then sees the stop
        QStringList found{paths[0] + "/.h"};
        if (restart)
            found << paths[1] + "/.h" << paths[2] + "/.h";
        QCOMPARE(textsOf(h.results()), found);
        QCOMPARE(texts(h.dialogs.messages()), QStringList(restart ? 2 : 1, "Done."));
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("Start Finding"));
        QCOMPARE(h.form->pointer().value(), MousePointer::Default);

        // The next run starts afresh: the earlier finds go first. Only the
        // exact caption "Stop" makes a click a Stop click.
        h.yield.onYield = nullptr;
        h.form->PushButton1->setText(QStringLiteral("STOP"));
        h.form->PushButton1_Click();
        QCOMPARE(h.results().Count(), 3);
        QCOMPARE(h.form->PushButton1->text(), QStringLiteral("STOP"));
    }
};

QTEST_MAIN(SearchRunTest)
#include "test_searchrun.moc"
