// The list control: 1-based positions, exact bytes, batched view updates.
#include <QtTest>

#include "errors/failure.h"
#include "ui/listcontrol.h"

using namespace tarnwell;

namespace {
void fill(ListControl& list, int n) {
    for (int i = 1; i <= n; ++i) list.Add(QString("/e%1").arg(i));
}
QStringList texts(const ListControl& list) {
    QStringList out;
    for (int i = 1; i <= list.Count(); ++i) out << list.Text(i);
    return out;
}
}  // namespace

class ListControlTest : public QObject {
    Q_OBJECT
private slots:
    void positionsAreOneBased() {
        ListControl list(false);
        list.AddColumn("Folder(s)");
        fill(list, 5);
        QCOMPARE(list.Add(QString("/e6")), 6);
        list.Remove(3);
        QCOMPARE(texts(list), (QStringList{"/e1", "/e2", "/e4", "/e5", "/e6"}));
        QVERIFY_THROWS_EXCEPTION(Failure, list.Text(0));
        QVERIFY_THROWS_EXCEPTION(Failure, list.Text(6));
        QVERIFY_THROWS_EXCEPTION(Failure, list.Remove(6));
        ListControl empty(false);
        empty.Clear();  // nothing to clear, no failure
        QCOMPARE(empty.Count(), 0);
    }

    void removingASetEqualsRemovingFromTheTopDown() {
        for (int n : {5, 100}) {
            ListControl a(true), b(true);
            a.AddColumn("Results");
            b.AddColumn("Results");
            fill(a, n);
            fill(b, n);
            a.SetChecked(4, false);
            b.SetChecked(4, false);
            std::vector<int> drop;
            for (int i = 1; i <= n; ++i)
                if (i % 3 != 0)
                    drop.push_back(i);
            a.RemoveAll(drop);
            for (auto it = drop.rbegin(); it != drop.rend(); ++it) b.Remove(*it);
            QCOMPARE(texts(a), texts(b));
            for (int i = 1; i <= a.Count(); ++i) QCOMPARE(a.Checked(i), b.Checked(i));
            QCoreApplication::processEvents();
            QCOMPARE(a.model()->rowCount(), a.Count());
        }
    }

    void entriesSurviveTheStorageBeingPacked() {
        // Enough removals that the list packs its storage, twice over.
        ListControl list(true);
        const int n = 40000;
        for (int i = 1; i <= n; ++i)
            list.Add(QByteArray("/some/long/enough/folder/name/for/the/test/.file-") +
                     QByteArray::number(i));
        for (int round = 0; round < 2; ++round) {
            std::vector<int> drop;
            for (int i = 1; i <= list.Count(); ++i)
                if (i % 4 != 0)
                    drop.push_back(i);
            list.RemoveAll(drop);
        }
        QCOMPARE(list.Count(), n / 16);
        for (int i = 1; i <= list.Count(); ++i)
            QCOMPARE(list.Bytes(i),
                     QByteArray("/some/long/enough/folder/name/for/the/test/.file-") +
                         QByteArray::number(i * 16));
        list.Add(QByteArray("/after"));
        QCOMPARE(list.Text(list.Count()), QStringLiteral("/after"));
    }

    void exactBytesSurvive() {
        ListControl list(true);
        const QByteArray raw("/tmp/caf\xe9\xff.txt");  // not UTF-8
        list.Add(raw);
        QCOMPARE(list.Bytes(1), raw);
        QVERIFY(list.Checked(1));  // results entries start checked
        QVERIFY(!list.Text(1).isEmpty());
    }

    void viewCatchesUpInOneBatch() {
        ListControl list(true);
        list.AddColumn("Results");
        int inserts = 0;
        connect(list.model(), &QAbstractItemModel::rowsInserted, this, [&] { ++inserts; });
        fill(list, 1000);
        list.EnsureVisible(1000);
        QCOMPARE(list.Count(), 1000);
        QCOMPARE(list.model()->rowCount(), 0);  // not told yet
        list.Remove(10);                        // exact before the view knows
        QCOMPARE(list.Count(), 999);
        QCoreApplication::processEvents();
        QCOMPARE(inserts, 1);
        QCOMPARE(list.model()->rowCount(), 999);
        list.Clear();
        QCOMPARE(list.model()->rowCount(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(list.model()->rowCount(), 0);
    }

    void onlyResultsAreCheckable() {
        ListControl search(false), results(true);
        search.AddColumn("Folder(s)");
        results.AddColumn("Results");
        search.Add(QString("/a"));
        results.Add(QString("/a"));
        QCoreApplication::processEvents();
        QVERIFY(!search.model()->data(search.model()->index(0, 0), Qt::CheckStateRole).isValid());
        QCOMPARE(results.model()->data(results.model()->index(0, 0), Qt::CheckStateRole).toInt(),
                 int(Qt::Checked));
        results.model()->setData(results.model()->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
        QVERIFY(!results.Checked(1));
        QCOMPARE(results.SelectedIndex(), 0);
        results.setCurrentIndex(results.model()->index(0, 0));
        QCOMPARE(results.SelectedIndex(), 1);
    }
};

QTEST_MAIN(ListControlTest)
#include "test_listcontrol.moc"
