// The list control: 1-based positions, view updates in batches that keep the
// model's contract, removals in one pass, and storage that packs itself.
#include <QAbstractItemModelTester>
#include <QtTest>

#include "errors/failure.h"
#include "support/searchlist_lists.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {
void fill(ListControl& list, int n) {
    for (int i = 1; i <= n; ++i) list.Add(QString("/e%1").arg(i));
}
constexpr auto kFailTheTest = QAbstractItemModelTester::FailureReportingMode::QtTest;
}  // namespace

class ListControlTest : public QObject {
    Q_OBJECT
private slots:
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

    // The logic sees every entry at once, the view is told in one batch per
    // event-loop pass; Qt's tester checks every signal on the way, also for
    // changes to entries the view does not know of yet.
    void viewCatchesUpInOneBatch() {
        ListControl list(true);
        QAbstractItemModelTester tester(list.model(), kFailTheTest);
        list.AddColumn("Results");
        int inserts = 0;
        connect(list.model(), &QAbstractItemModel::rowsInserted, this, [&] { ++inserts; });
        fill(list, 1000);
        list.EnsureVisible(1000);
        list.SetChecked(1000, false);
        list.Remove(10);
        QCOMPARE(list.Count(), 999);
        QCOMPARE(list.model()->rowCount(), 0);  // not told yet
        QCoreApplication::processEvents();
        QCOMPARE(inserts, 1);
        QCOMPARE(list.model()->rowCount(), 999);
        fill(list, 2);
        list.SetChecked(1001, false);
        list.Remove(1000);
        QSignalSpy repaint(list.model(), &QAbstractItemModel::dataChanged);
        list.model()->setData(list.model()->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
        QVERIFY(!list.Checked(1));
        QCOMPARE(repaint.count(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(list.model()->rowCount(), 1000);
        list.Clear();
        QCOMPARE(list.model()->rowCount(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(list.model()->rowCount(), 0);
    }

    // A few go row by row, many in one reset; either way the list is what
    // removing them one by one from the highest down leaves.
    void removingASetEqualsRemovingFromTheTopDown() {
        for (int n : {5, 100}) {
            ListControl a(true), b(true);
            QAbstractItemModelTester tester(a.model(), kFailTheTest);
            a.AddColumn("Results");
            fill(a, n);
            fill(b, n);
            a.SetChecked(4, false);
            b.SetChecked(4, false);
            QCoreApplication::processEvents();
            std::vector<int> drop;
            for (int i = 1; i <= n; ++i)
                if (i % 3 != 0)
                    drop.push_back(i);
            a.RemoveAll(drop);
            for (auto it = drop.rbegin(); it != drop.rend(); ++it) b.Remove(*it);
            QCOMPARE(textsOf(a), textsOf(b));
            for (int i = 1; i <= a.Count(); ++i) QCOMPARE(a.Checked(i), b.Checked(i));
            QCOMPARE(a.verticalHeader()->count(), a.Count());  // as the view itself counts
        }
    }

    void entriesSurviveTheStorageBeingPacked() {
        // Enough removals that the list packs its storage, twice over.
        ListControl list(true);
        const int n = 40000;
        const QByteArray stem("/some/long/enough/folder/name/for/the/test/.file-");
        for (int i = 1; i <= n; ++i) list.Add(stem + QByteArray::number(i));
        for (int round = 0; round < 2; ++round) {
            std::vector<int> drop;
            for (int i = 1; i <= list.Count(); ++i)
                if (i % 4 != 0)
                    drop.push_back(i);
            list.RemoveAll(drop);
        }
        QCOMPARE(list.Count(), n / 16);
        for (int i = 1; i <= list.Count(); ++i)
            QCOMPARE(list.Bytes(i), stem + QByteArray::number(i * 16));
        list.Add(QByteArray("/after"));
        QCOMPARE(list.Text(list.Count()), QStringLiteral("/after"));
    }
};

QTEST_MAIN(ListControlTest)
#include "test_listcontrol.moc"
