// The results as text: "Save Results As Text File", its bytes, the user's
// file kept whenever the export cannot finish and kept as its owner had it
// when it can; and "Copy Results To
// Clipboard", its column-aligned text, and a clipboard that is busy, stale or
// never reached.
#include <sys/stat.h>
#include <unistd.h>

#include "results/clipboardexport.h"
#include "support/fakes.h"

using namespace tarnwell;
using namespace tarnwell::test;

using Rows = std::vector<TableList::Row>;
Q_DECLARE_METATYPE(Rows)

namespace {
// While it lives, the process is the user "nobody" (root keeps the saved ID
// to come back): permissions hold as for anyone, access() included, which
// judges by the real ID and so ignores a mere loss of capabilities.
struct AsNobody {
    const bool root = ::geteuid() == 0;
    const bool active =
        root && ::setresgid(65534, 65534, 0) == 0 && ::setresuid(65534, 65534, 0) == 0;
    ~AsNobody() {
        if (root && (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0))
            std::abort();  // the rest of the suite would run as nobody
    }
};

void save(Harness& h, const QString& path, int answer = vbYes) {
    h.dialogs.saveNames.push_back(path);
    h.dialogs.answers.push_back(answer);
    h.form->PushButton2_Click();
}
}  // namespace

class TextExportTest : public QObject {
    Q_OBJECT
private slots:
    void writesEveryEntryByteForByteAndAsksBeforeOverwriting() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/results";  // no extension: used as typed
        Harness h;
        h.results().Add(QByteArray("/d/.one"));
        h.results().Add(QByteArray("/d/.caf\xe9"));  // not UTF-8
        h.results().Add(QByteArray("/d/two  "));
        h.results().SetChecked(3, false);  // check marks do not matter here
        save(h, path);
        const QByteArray written = "/d/.one\r\n/d/.caf\xe9\r\n/d/two  \r\n";
        QCOMPARE(readFile(QFile::encodeName(path)), written);
        QCOMPARE(h.yield.count, 3);
        QCOMPARE(h.dialogs.messages().size(), size_t(1));  // a new file: no question
        QCOMPARE(h.dialogs.messages()[0].text, "Done.");
        QCOMPARE(h.form->pointer().value(), 0);
        QCOMPARE(filesUnder(dir.path()), QStringList{"results"});
        h.dialogs.answers.clear();  // the answer no question took
        h.results().Remove(1);
        save(h, path, vbNo);
        QCOMPARE(readFile(QFile::encodeName(path)), written);
        QCOMPARE(h.dialogs.messages().at(1).text,
                 "Are you sure you wish to overwrite " + path + " ?");
        QCOMPARE(h.dialogs.messages().at(1).style, int(vbYesNo));
        // Replaced, another user's file stays theirs, with its group and mode.
        const QByteArray file = QFile::encodeName(path);
        struct stat before, after;
        QVERIFY((::geteuid() != 0 || ::chown(file, 65534, 65534) == 0) &&
                ::chmod(file, 0640) == 0 && ::stat(file, &before) == 0);
        save(h, path, vbYes);
        QCOMPARE(readFile(QFile::encodeName(path)), written.mid(9));
        QVERIFY(::stat(file, &after) == 0);
        QCOMPARE(std::tuple(after.st_uid, after.st_gid, after.st_mode),
                 std::tuple(before.st_uid, before.st_gid, before.st_mode));
        h.form->PushButton6_Click();
        save(h, path, vbYes);
        QCOMPARE(readFile(QFile::encodeName(path)), "");  // an empty list: an empty file
        QCOMPARE(h.dialogs.countContaining("Done."), 3);
    }

    // A file the user may write in a folder they may not is written in place.
    void writtenInPlaceWhereTheFolderRefusesANewFile() {
        QTemporaryDir dir;
        const QByteArray target = QFile::encodeName(dir.path() + "/target.txt");
        writeFile(target, "old\r\n");
        QVERIFY(::chmod(target, 0666) == 0 && ::chmod(QFile::encodeName(dir.path()), 0555) == 0);
        Harness h;
        h.results().Add(QByteArray("/x/.n"));
        h.dialogs.saveNames = {QFile::decodeName(target)};
        h.dialogs.answers = {vbYes};
        {
            AsNobody nobody;
            if (!nobody.active)
                QSKIP("cannot become an ordinary user here");
            h.form->PushButton2_Click();
        }
        QCOMPARE(readFile(target), "/x/.n\r\n");
        QCOMPARE(h.dialogs.messages().size(), size_t(2));  // the question and "Done."
        QCOMPARE(filesUnder(dir.path()), QStringList{"target.txt"});
    }

    // Whatever stops the export: one report, no "Done.", the old file as it
    // was, nothing else left in its folder, the pointer back to default.
    void failuresKeepTheOldFile_data() {
        QTest::addColumn<QString>("failure");
        QTest::newRow("no such folder") << "missing";
        QTest::newRow("full disk") << "full";
        QTest::newRow("entries cleared meanwhile") << "cleared";
    }
    void failuresKeepTheOldFile() {
        QFETCH(QString, failure);
        QTemporaryDir dir;
        SMALL_DISK_OR_SKIP(dir.path(), failure == "full" ? "size=64k" : nullptr);
        QString path = dir.path() + "/old.txt";
        writeFile(QFile::encodeName(path), "old\r\n");
        if (failure == "missing")
            path = dir.path() + "/missing/old.txt";
        Harness h;
        for (int i = 0; i < 1000; ++i)  // some 200 kB, beyond the tiny disk
            h.results().Add(QByteArray(200, 'n') + QByteArray::number(i));
        if (failure == "cleared")
            h.yield.onYield = [&](int n) { n == 3 ? h.form->PushButton6_Click() : void(); };
        save(h, path);
        const QString why = failure == "full" ? "No space left on device" : "";
        QCOMPARE(h.dialogs.errorReports("Form1.PushButton2_Click", why), 1);
        QCOMPARE(h.dialogs.countContaining("Done."), 0);
        QCOMPARE(readFile(QFile::encodeName(dir.path() + "/old.txt")), "old\r\n");
        QCOMPARE(filesUnder(dir.path()), QStringList{"old.txt"});
        QCOMPARE(h.form->pointer().value(), 0);
    }
    void columnsAreAlignedAndTrimmed_data() {
        QTest::addColumn<Rows>("rows");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one column: no padding, no TAB")
            << Rows{{{"abc"}}, {{"abcdefg"}}, {{"abcde"}}} << "abc\r\nabcdefg\r\nabcde\r\n";
        QTest::newRow("padded to the widest cell")
            << Rows{{{"abcdef", "12"}}, {{"abcd", "x"}}} << "abcdef\t12\r\nabcd  \tx\r\n";
        QTest::newRow("an empty last cell keeps the TAB before it")
            << Rows{{{"abcdef", "1"}}, {{"abcd", ""}}} << "abcdef\t1\r\nabcd  \t\r\n";
        QTest::newRow("trailing spaces go, TABs stay")
            << Rows{{{"/a/b  "}}, {{" "}}, {{"/c\t "}}} << "/a/b\r\n\r\n/c\t\r\n";
        QTest::newRow("unchecked entries still set the widths")
            << Rows{{{"a", "1"}}, {{"abcdefgh", "2"}, false}} << "a       \t1\r\n";
        QTest::newRow("none checked") << Rows{{{"a"}, false}} << "";
        QTest::newRow("widths in UTF-16 units")
            << Rows{{{"\U0001F600", "a"}}, {{"xyz", "b"}}} << "\U0001F600 \ta\r\nxyz\tb\r\n";
    }
    void columnsAreAlignedAndTrimmed() {
        QFETCH(Rows, rows);
        QFETCH(QString, expected);
        TableList list;
        list.captions = QStringList{"A", "B"}.mid(0, rows[0].cells.size());
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

QTEST_MAIN(TextExportTest)
#include "test_textexport.moc"
