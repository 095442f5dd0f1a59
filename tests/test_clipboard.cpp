// "Copy Results To Clipboard": the column-aligned text, and a clipboard that
// is busy, stale or never reached.
#include <QClipboard>
#include <QGuiApplication>
#include <QtTest>

#include "platform/clipboard.h"
#include "platform/listcontrol.h"
#include "results/clipboardexport.h"
#include "support/fakes.h"
#include "support/results_lists.h"

using namespace tarnwell;
using namespace tarnwell::test;

Q_DECLARE_METATYPE(std::vector<TableList::Row>)

namespace {

const QString kCopied = QStringLiteral(
    "Results have been copied to the clipboard.\r\rClick a text area where you normally type "
    "and press Ctrl+V to paste the clipboard.");

TableList table(const QStringList& captions, const std::vector<TableList::Row>& rows) {
    TableList list;
    list.captions = captions;
    list.rows = rows;
    return list;
}

int reports(const Harness& h) {
    return h.dialogs.countContaining("in Quorrel2021/08/31.Form1.PushButton5_Click at line ");
}

}  // namespace

class ClipboardTest : public QObject {
    Q_OBJECT
private slots:
    void columnsAreAlignedAndTrimmed_data() {
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<std::vector<TableList::Row>>("rows");
        QTest::addColumn<QString>("expected");
        const QStringList one{"Results"};
        const QStringList two{"Name", "Size"};
        QTest::newRow("one column, no padding, no TAB")
            << one << std::vector<TableList::Row>{{{"abc"}}, {{"abcdefg"}}, {{"abcde"}}}
            << "abc\r\nabcdefg\r\nabcde\r\n";
        QTest::newRow("padded to the widest cell")
            << two << std::vector<TableList::Row>{{{"abcdef", "12"}}, {{"abcd", "x"}}}
            << "abcdef\t12\r\nabcd  \tx\r\n";
        QTest::newRow("empty last cell keeps the TAB before it")
            << two << std::vector<TableList::Row>{{{"abcdef", "12"}}, {{"abcd", ""}}}
            << "abcdef\t12\r\nabcd  \t\r\n";
        QTest::newRow("trailing spaces go")
            << one << std::vector<TableList::Row>{{{"/a/b  "}}, {{" "}}, {{"/c\t "}}}
            << "/a/b\r\n\r\n/c\t\r\n";
        QTest::newRow("unchecked entries still set the widths")
            << two
            << std::vector<TableList::Row>{{{"a", "1"}}, {{"abcdefgh", "2"}, false}, {{"ab", "3"}}}
            << "a       \t1\r\nab      \t3\r\n";
        QTest::newRow("none checked")
            << one << std::vector<TableList::Row>{{{"a"}, false}, {{"b"}, false}} << "";
        QTest::newRow("empty list") << one << std::vector<TableList::Row>{} << "";
        // Widths count UTF-16 code units, as the list's text has them.
        QTest::newRow("beyond the BMP")
            << two << std::vector<TableList::Row>{{{"\U0001F600", "a"}}, {{"xyz", "b"}}}
            << "\U0001F600 \ta\r\nxyz\tb\r\n";
    }
    void columnsAreAlignedAndTrimmed() {
        QFETCH(QStringList, captions);
        QFETCH(std::vector<TableList::Row>, rows);
        QFETCH(QString, expected);
        const TableList list = table(captions, rows);
        ScriptedYield yield;
        QCOMPARE(listText(list, yield), expected);
    }

    void copiesAndSaysHowToPaste() {
        Harness h;
        h.results().Add(QByteArray("/home/u/.profile"));
        h.results().Add(QByteArray("/home/u/.cache/x  "));
        h.results().Add(QByteArray("/home/u/.skip"));
        h.results().SetChecked(3, false);
        h.form->PushButton5_Click();
        QCOMPARE(h.clipboard.text, QStringLiteral("/home/u/.profile\r\n/home/u/.cache/x\r\n"));
        const auto boxes = h.dialogs.messages();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].text, kCopied);
        QCOMPARE(boxes[0].style, int(vbOKOnly));
        QCOMPARE(boxes[0].title, h.services.appTitle);
        // A yield per entry in each pass and per cell of a checked entry.
        QCOMPARE(h.yield.count, 3 + 3 + 2);
        QCOMPARE(h.form->pointer().value(), int(MousePointer::Default));
    }

    // The message must never stand over unrelated old content.
    void anEmptyListEmptiesTheClipboard() {
        Harness h;
        h.form->PushButton5_Click();
        QCOMPARE(h.clipboard.text, QString());
        QCOMPARE(h.dialogs.messages().size(), size_t(1));
        QCOMPARE(h.dialogs.messages()[0].text, kCopied);
    }

    void aBusyClipboardIsRetriedThenReported() {
        Harness h;
        h.results().Add(QByteArray("/a"));
        // Free again on the last attempt of each call.
        h.clipboard.busyAttempts = 999;
        h.form->PushButton5_Click();
        QCOMPARE(h.clipboard.clears, 1000);
        QCOMPARE(h.clipboard.busyAttempts, 0);
        QCOMPARE(h.clipboard.text, QStringLiteral("/a\r\n"));
        QCOMPARE(reports(h), 0);

        // Busy for good: 1000 attempts each, one report, no success message.
        Harness busy;
        busy.results().Add(QByteArray("/a"));
        busy.clipboard.busyAttempts = 1 << 30;
        busy.form->PushButton5_Click();
        QCOMPARE(busy.clipboard.clears, 1000);
        QCOMPARE(busy.clipboard.sets, 1000);
        QCOMPARE(busy.clipboard.text, QStringLiteral("(old clipboard content)"));
        QCOMPARE(reports(busy), 1);
        QCOMPARE(busy.dialogs.countContaining(kCopied), 0);
    }

    // Another command clears the results while the text is built: the old
    // clipboard stays, and one report says why.
    void entriesVanishingWhileBuilding() {
        Harness h;
        for (int i = 0; i < 4; ++i) h.results().Add(QString("/x/.%1").arg(i));
        h.yield.onYield = [&](int n) {
            if (n == 6)
                h.form->PushButton6_Click();  // "Clear Results"
        };
        h.form->PushButton5_Click();
        QCOMPARE(h.clipboard.clears, 0);
        QCOMPARE(h.clipboard.text, QStringLiteral("(old clipboard content)"));
        QCOMPARE(reports(h), 1);
        QCOMPARE(h.dialogs.countContaining("Index out of bounds"), 1);
        QCOMPARE(h.dialogs.countContaining(kCopied), 0);
    }

    void theSystemClipboardReceivesTheText() {
        QtClipboard clipboard;
        QVERIFY(SetClipboardText(clipboard, QStringLiteral("/a/.b\r\n")));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("/a/.b\r\n"));
        ClearClipboard(clipboard);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString());
    }
};

QTEST_MAIN(ClipboardTest)
#include "test_clipboard.moc"
