// "Save Results As Excel File": the workbook as written to disk, and the
// cases where there is none to show.
#include <sys/stat.h>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/errortrap.h"
#include "platform/listcontrol.h"
#include "platform/spreadsheet.h"
#include "results/spreadsheetexport.h"
#include "support/fakes.h"
#include "support/results_disk.h"
#include "support/results_lists.h"
#include "support/results_workbook.h"
#include "support/trees.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

const QString kCheckMessage = QStringLiteral(
    "Excel is not installed on this computer. You need to have it installed to use this "
    "software without error.");
const QString kCommandMessage = QStringLiteral(
    "Excel is not installed on this computer. You need to have it installed to use this "
    "feature.");

// A harness whose spreadsheet host writes real workbooks into `folder` and
// believes an application is there; nothing is ever started.
struct WorkbookHarness {
    explicit WorkbookHarness(const QString& folder, int rowsPerSheet = 1048576)
        : host(h.shell, {folder, [] { return true; }, rowsPerSheet}) {
        h.services.spreadsheet = &host;
    }
    // The one workbook written and opened.
    Workbook opened() {
        if (h.shell.openedFiles.size() != 1)
            throw std::runtime_error("expected exactly one workbook opened");
        return readWorkbook(h.shell.openedFiles[0]);
    }
    int reports() const {
        return h.dialogs.countContaining("in Quorrel2021/08/31.Form1.PushButton14_Click at line ");
    }
    Harness h;
    XlsxSpreadsheetHost host;
};

int mode(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

}  // namespace

class SpreadsheetTest : public QObject {
    Q_OBJECT
private slots:
    void onlyCheckedEntriesFillTheirRows() {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/cache/tarnwell";
        WorkbookHarness w(folder);
        w.h.results().Add(QByteArray("/home/u/.first"));
        w.h.results().Add(QByteArray("/home/u/=SUM(A1:A2)"));
        w.h.results().Add(QByteArray("/home/u/.third"));
        w.h.results().SetChecked(1, false);
        w.h.results().SetChecked(3, false);
        PointerTrace pointer(*w.h.form, w.h.form->pointer());
        w.h.form->PushButton14_Click();

        QVERIFY(w.h.dialogs.boxes.empty());
        QCOMPARE(pointer.values, (std::vector<int>{MousePointer::Busy, MousePointer::Default}));
        const QString file = w.h.shell.openedFiles.at(0);
        QVERIFY2(QRegularExpression(R"(/Results-\d{8}-\d{6}\.xlsx$)").match(file).hasMatch(),
                 qPrintable(file));
        QCOMPARE(filesUnder(folder), QStringList{QFileInfo(file).fileName()});
        QCOMPARE(mode(folder), 0700);
        QCOMPARE(mode(file), 0600);

        const Workbook book = w.opened();
        QCOMPARE(book.sheets.size(), size_t(1));
        const auto& sheet = book.sheets[0];
        using Cells = std::map<QString, QString>;
        QCOMPARE(sheet.cells, (Cells{{"A1", "Results"}, {"A3", "/home/u/=SUM(A1:A2)"}}));
        QVERIFY(!sheet.hasFormula);  // a text that looks like a formula stays text
        QVERIFY(sheet.types.at("A3") == "s" || sheet.types.at("A3") == "inlineStr");
        // Fitted to the longest text in the column.
        QVERIFY(sheet.widths.at(1) >= 19 && sheet.widths.at(1) < 25);
        // A row per entry plus the header, one yield per entry and per cell.
        QCOMPARE(w.h.yield.count, 1 + 3 + 1);
    }

    // Column 1 keeps its "=", the columns after it lose every one.
    void onlyLaterColumnsLoseTheirEqualsSigns() {
        Harness h;
        FakeSpreadsheetHost host;
        h.services.spreadsheet = &host;
        TableList list;
        list.captions = {"Name", "Note"};
        list.rows = {{{"=a=b", "=1+2=3"}}, {{"c", ""}, false}, {{"d", "x=y"}}};
        ErrorTrap trap(h.dialogs, "Form1", "PushButton14_Click");
        fillWorkbook(h.form->window(), trap, list);
        const std::vector<QString> expected{"add",           "visible",       "cell 1 1 Name",
                                            "fit 1",         "cell 1 2 Note", "fit 2",
                                            "cell 2 1 =a=b", "cell 2 2 1+23", "cell 4 1 d",
                                            "cell 4 2 xy",   "fit all",       "finish"};
        QCOMPARE(host.calls, expected);
        QCOMPARE(trap.reportCount(), 0);
    }

    // Past the rows a sheet holds, further sheets carry on, header first.
    void longListsGoOnOverFurtherSheets() {
        QTemporaryDir dir;
        WorkbookHarness w(dir.path(), 4);
        for (int i = 1; i <= 7; ++i) w.h.results().Add(QString("/e%1").arg(i));
        w.h.results().SetChecked(4, false);
        w.h.form->PushButton14_Click();
        const Workbook book = w.opened();
        using Cells = std::map<QString, QString>;
        QCOMPARE(book.sheets.size(), size_t(3));
        QCOMPARE(book.sheets[0].cells,
                 (Cells{{"A1", "Results"}, {"A2", "/e1"}, {"A3", "/e2"}, {"A4", "/e3"}}));
        QCOMPARE(book.sheets[1].cells, (Cells{{"A1", "Results"}, {"A3", "/e5"}, {"A4", "/e6"}}));
        QCOMPARE(book.sheets[2].cells, (Cells{{"A1", "Results"}, {"A2", "/e7"}}));
        for (const auto& sheet : book.sheets) QVERIFY(sheet.widths.count(1));
    }

    void anEmptyListMakesNoWorkbook() {
        QTemporaryDir dir;
        WorkbookHarness w(dir.path() + "/cache");
        PointerTrace pointer(*w.h.form, w.h.form->pointer());
        w.h.form->PushButton14_Click();
        QVERIFY(w.h.dialogs.boxes.empty());
        QCOMPARE(pointer.values, (std::vector<int>{MousePointer::Busy, MousePointer::Default}));
        QVERIFY(w.h.shell.openedFiles.empty());
        QVERIFY(!QFileInfo::exists(dir.path() + "/cache"));
    }

    void noApplicationGivesTwoMessages() {
        Harness h;
        FakeSpreadsheetHost host;
        host.present = false;
        h.services.spreadsheet = &host;
        h.results().Add(QByteArray("/a/.b"));
        PointerTrace pointer(*h.form, h.form->pointer());
        h.form->PushButton14_Click();
        const auto boxes = h.dialogs.messages();
        QCOMPARE(boxes.size(), size_t(2));
        QCOMPARE(boxes[0].text, kCheckMessage);
        QCOMPARE(boxes[1].text, kCommandMessage);
        for (const Box& b : boxes) {
            QCOMPARE(b.style, int(vbOKOnly));
            QCOMPARE(b.title, h.services.appTitle);
        }
        QVERIFY(pointer.values.empty());
        QCOMPARE(host.applications, 1);
        QVERIFY(host.calls.empty());
    }

    // The check passed, yet no workbook can be written: one report, nothing
    // opened, nothing left behind.
    void anUnwritableFolderIsReportedOnce() {
        QTemporaryDir dir;
        writeFile(QFile::encodeName(dir.path() + "/cache"), "a file, not a folder");
        WorkbookHarness w(dir.path() + "/cache/tarnwell");
        w.h.results().Add(QByteArray("/a/.b"));
        w.h.form->PushButton14_Click();
        QCOMPARE(w.reports(), 1);
        QCOMPARE(w.h.dialogs.boxes.size(), size_t(1));
        QVERIFY(w.h.shell.openedFiles.empty());
        QCOMPARE(w.h.form->pointer().value(), int(MousePointer::Default));
    }

    void aFullDiskLeavesNoPartialWorkbook() {
        QTemporaryDir dir;
        TinyDisk disk(dir.path(), "size=64k");
        if (!disk.mounted())
            QSKIP(qPrintable(disk.whyNot()));
        WorkbookHarness w(dir.path() + "/tarnwell");
        // Some 2 MB of text that does not compress away: far beyond the disk.
        for (int i = 0; i < 5000; ++i)
            w.h.results().Add(
                QCryptographicHash::hash(QByteArray::number(i), QCryptographicHash::Sha512)
                    .toHex()
                    .prepend("/"));
        w.h.form->PushButton14_Click();
        QCOMPARE(w.reports(), 1);
        QVERIFY(w.h.shell.openedFiles.empty());
        QCOMPARE(filesUnder(dir.path()), QStringList{});
        QCOMPARE(w.h.form->pointer().value(), int(MousePointer::Default));
    }

    void entriesVanishingUnderTheLoop() {
        QTemporaryDir dir;
        WorkbookHarness w(dir.path());
        for (int i = 0; i < 5; ++i) w.h.results().Add(QString("/x/.%1").arg(i));
        w.h.yield.onYield = [&](int n) {
            if (n == 4)
                w.h.form->PushButton6_Click();  // "Clear Results"
        };
        w.h.form->PushButton14_Click();
        QCOMPARE(w.reports(), 1);
        QVERIFY(w.h.shell.openedFiles.empty());
        QCOMPARE(filesUnder(dir.path()), QStringList{});
        QCOMPARE(w.h.form->pointer().value(), int(MousePointer::Default));
    }

    void cacheFolderFollowsTheBaseDirectoryRules() {
        const QByteArray saved = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", "/var/tmp/c");
        QCOMPARE(XlsxSpreadsheetHost::defaultFolder(), QStringLiteral("/var/tmp/c/tarnwell"));
        qputenv("XDG_CACHE_HOME", "relative/c");
        QCOMPARE(XlsxSpreadsheetHost::defaultFolder(), QDir::homePath() + "/.cache/tarnwell");
        qputenv("XDG_CACHE_HOME", saved);
    }
};

QTEST_MAIN(SpreadsheetTest)
#include "test_spreadsheet.moc"
