// "Copy Results To Clipboard": the column-aligned text, and a clipboard that
// is busy, stale or never reached.
#include <QtTest>

#include "results/clipboardexport.h"
#include "support/fakes.h"
#include "support/results_support.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::test;

using Rows = std::vector<TableList::Row>;
Q_DECLARE_METATYPE(Rows)

class ClipboardTest : public QObject {
    Q_OBJECT
private slots:
    void columnsAreAlignedAndTrimmed_data() {
        QTest::addColumn<int>("columns");
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one column: no padding, no TAB")
            << 1 << Rows{{{"abc"}}, {{"abcdefg"}}, {{"abcde"}}} << "abc\r\nabcdefg\r\nabcde\r\n";
        QTest::newRow("padded to the widest cell")
            << 2 << Rows{{{"abcdef", "12"}}, {{"abcd", "x"}}} << "abcdef\t12\r\nabcd  \tx\r\n";
        QTest::newRow("an empty last cell keeps the TAB before it")
            << 2 << Rows{{{"abcdef", "1"}}, {{"abcd", ""}}} << "abcdef\t1\r\nabcd  \t\r\n";
        QTest::newRow("trailing spaces go, TABs stay")
            << 1 << Rows{{{"/a/b  "}}, {{" "}}, {{"/c\t "}}} << "/a/b\r\n\r\n/c\t\r\n";
        QTest::newRow("unchecked entries still set the widths")
            << 2 << Rows{{{"a", "1"}}, {{"abcdefgh", "2"}, false}} << "a       \t1\r\n";
        QTest::newRow("none checked") << 1 << Rows{{{"a"}, false}} << "";
        QTest::newRow("widths in UTF-16 units")
            << 2 << Rows{{{"\U0001F600", "a"}}, {{"xyz", "b"}}} << "\U0001F600 \ta\r\nxyz\tb\r\n";
    }
    void columnsAreAlignedAndTrimmed() {
        QFETCH(int, columns);
        QFETCH(Rows, rows);
        QFETCH(QString, expected);
        TableList list;
        list.captions = QStringList{"A", "B"}.mid(0, columns);
        list.rows = rows;
        Harness h;
        CopyListToClipboard(list, h.yield, h.clipboard);
        QCOMPARE(h.clipboard.text, expected);
    }

    void copiesAndSaysHowToPaste() {
        Harness h;
        h.form->PushButton5_Click();
        QCOMPARE(h.clipboard.text, "");  // an empty list: never the old content
        h.results().Add(QByteArray("/u/.profile"));
        h.results().Add(QByteArray("/u/.skipped"));
        h.results().SetChecked(2, false);
        h.clipboard.busyAttempts = 999;  // free at the last attempt
        h.form->PushButton5_Click();
        QCOMPARE(h.clipboard.text, "/u/.profile\r\n");
        QCOMPARE(h.clipboard.clears, 1 + 1000);
        QCOMPARE(h.dialogs.messages().size(), size_t(2));  // how to paste, each time
        QCOMPARE(h.dialogs.errorReports("Form1.PushButton5_Click"), 0);
    }

    // A clipboard busy for good, or the list cleared while the text is built:
    // one report, no success message, the old clipboard content untouched.
    void failuresAreReportedOnce() {
        for (const bool busy : {true, false}) {
            Harness h;
            for (int i = 0; i < 4; ++i) h.results().Add(QString("/x/.%1").arg(i));
            if (busy)
                h.clipboard.busyAttempts = 1 << 30;
            else
                h.yield.onYield = [&](int n) { n == 6 ? h.form->PushButton6_Click() : void(); };
            h.form->PushButton5_Click();
            QCOMPARE(h.clipboard.clears, busy ? 1000 : 0);
            QCOMPARE(h.clipboard.sets, busy ? 1000 : 0);
            QCOMPARE(h.clipboard.text, "(old clipboard content)");
            QCOMPARE(h.dialogs.errorReports("Form1.PushButton5_Click"), 1);
            QCOMPARE(h.dialogs.messages().size(), size_t(1));  // and no word of success
        }
    }
};

QTEST_MAIN(ClipboardTest)
#include "test_clipboard.moc"
