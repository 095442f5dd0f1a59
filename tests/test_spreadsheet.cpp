// "Save Results As Excel File": the workbook as written to disk, and the
// cases where there is none to show. No spreadsheet application is started:
// the tests tell the backend one is there and record what it would open.

#include <sys/statvfs.h>

#include "errors/errortrap.h"
#include "results/spreadsheet.h"
#include "results/spreadsheetexport.h"
#include "support/fakes.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

using Cells = QStringList;

// Sheet n's string cells ("A1=text") and column widths ("width 1=20"), sorted.
Cells sheet(const QString& workbook, int n) {
    QXmlStreamReader xml(unzipped(workbook, QString("xl/worksheets/sheet%1.xml").arg(n)));
    std::map<QString, QString> cells;
    QString ref;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = xml.attributes();
        if (xml.name() == u"col")  // whole characters: the file adds padding
            cells["width " + a.value("min").toString()] =
                QString::number(int(a.value("width").toDouble()));
        if (xml.name() == u"c" && a.value("t") == u"inlineStr")
            ref = a.value("r").toString();
        if (xml.name() == u"f" || xml.name() == u"v")
            cells[ref] = "not a string cell";
        if (xml.name() == u"t")
            cells[ref] = xml.readElementText();
    }
    if (xml.hasError())
        cells["error"] = xml.errorString();
    Cells out;
    for (const auto& [key, text] : cells) out << key + '=' + text;
    return out;
}

// The window's pointer values, one per change.
struct PointerTrace : QObject {
    Harness& h;
    std::vector<int> values;
    explicit PointerTrace(Harness& h) : h(h) { h.form->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::CursorChange)
            values.push_back(h.form->pointer().value());
        return false;
    }
};

// Workbooks go into `folder`, written by the writer as built; the application
// is there unless told otherwise.
struct WorkbookHarness : Harness {
    XlsxSpreadsheetHost host;
    explicit WorkbookHarness(const QString& folder, int rowsPerSheet = 1048576, bool present = true,
                             const QString& writer = TARNWELL_WORKBOOK_WRITER)
        : host(shell, {folder, [present] { return present; }, rowsPerSheet, writer}) {
        services.spreadsheet = &host;
    }
    QString opened() const { return shell.openedFiles.size() == 1 ? shell.openedFiles[0] : ""; }
};

}  // namespace

class SpreadsheetTest : public QObject {
    Q_OBJECT
private slots:
    void checkedEntriesFillTheirRows() {
        QTemporaryDir dir;
        WorkbookHarness h(dir.path() + "/cache/tarnwell");
        for (const char* e :
             {"/u/.first", "/u/=SUM(A1:A2)", "/u/.third", "/t/a<b&c\n\x01", "/t/caf\xe9"})
            h.results().Add(QByteArray(e));
        h.results().SetChecked(1, false);
        h.results().SetChecked(3, false);
        PointerTrace pointer(h);
        h.form->PushButton14_Click();
        QVERIFY(h.dialogs.boxes.empty());
        QCOMPARE(pointer.values, (std::vector<int>{11, 0}));
        QVERIFY(h.opened().contains(
            QRegularExpression(R"(/cache/tarnwell/Results-\d{8}-\d{6}\.xlsx$)")));
        QCOMPARE(QFileInfo(dir.path() + "/cache/tarnwell").permissions() & 0x0777, 0x0700);
        QCOMPARE(QFileInfo(h.opened()).permissions() & 0x0777, 0x0600);
        // A text that looks like a formula stays a string; an unchecked entry
        // leaves its row empty; odd bytes still make well-formed XML.
        QCOMPARE(sheet(h.opened(), 1),
                 (Cells{"A1=Results", "A3=/u/=SUM(A1:A2)", "A5=/t/a<b&c\n_x0001_",
                        "A6=" + QFile::decodeName("/t/caf\xe9"), "width 1=15"}));
    }

    // Column 1 keeps its "=", later columns lose every one. Past the rows a
    // sheet holds (here 3), further sheets carry on, headed again.
    void equalsSignsAndFurtherSheets() {
        QTemporaryDir dir;
        WorkbookHarness h(dir.path(), 3);
        TableList list;
        list.captions = {"Name", "Note"};
        list.rows = {{{"=a=b", "=1+2=3"}}, {{"b", "b"}, false}, {{"c", "x=y"}}};
        ErrorTrap trap(h.dialogs, "Form1", "PushButton14_Click");
        fillWorkbook(h.form->window(), trap, list);
        const Cells widths{"width 1=5", "width 2=5"};
        QCOMPARE(sheet(h.opened(), 1),
                 Cells({"A1=Name", "A2==a=b", "B1=Note", "B2=1+23"}) + widths);
        QCOMPARE(sheet(h.opened(), 2), Cells({"A1=Name", "A2=c", "B1=Note", "B2=xy"}) + widths);
    }

    // No workbook: for an empty list; without the application (the check's
    // box and the command's, the pointer untouched); or when the check passed
    // yet the workbook cannot be finished, its writer is missing or dies
    // under it (one report saying why). Nothing is opened, left behind or
    // left open (after a full disk the space is free again), and the pointer
    // is back to default.
    void noWorkbook_data() {
        QTest::addColumn<int>("entries");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<QString>("says");
        QTest::newRow("an empty list") << 0 << true << "" << 0 << "";
        QTest::newRow("no spreadsheet application") << 1 << false << "" << 2 << "";
        QTest::newRow("folder not writable")
            << 5000 << true << "unwritable" << 1 << "Not a directory";
        QTest::newRow("full disk") << 5000 << true << "full" << 1 << "No space left on device";
        QTest::newRow("writer missing")
            << 5000 << true << "missing" << 1 << "/missing could not be started: No such file";
        QTest::newRow("writer killed mid-stream") << 5000 << true << "killed" << 1 << "signal 9";
    }
    void noWorkbook() {
        QFETCH(int, entries);
        QFETCH(bool, present);
        QFETCH(QString, failure);
        QFETCH(int, boxes);
        QFETCH(QString, says);
        QTemporaryDir dir, programs;
        SMALL_DISK_OR_SKIP(dir.path(), failure == "full" ? "size=64k" : nullptr);
        if (failure == "unwritable")  // a file where the folder should be, even for root
            writeFile(QFile::encodeName(dir.path() + "/cache"), "");
        QString writer = TARNWELL_WORKBOOK_WRITER;
        if (failure == "missing")
            writer = programs.path() + "/missing";
        if (failure == "killed") {  // takes a few cells first
            writer = programs.path() + "/killed";
            writeFile(QFile::encodeName(writer),
                      "#!/bin/sh\nhead -c 1000 >/dev/null\nkill -9 $$\n");
            QFile::setPermissions(writer, QFile::ReadOwner | QFile::ExeOwner);
        }
        WorkbookHarness h(dir.path() + "/cache/tarnwell", 1048576, present, writer);
        for (int i = 0; i < entries; ++i)  // some 2 MB that does not compress away
            h.results().Add(
                QCryptographicHash::hash(QByteArray::number(i), QCryptographicHash::Sha512)
                    .toHex());
        PointerTrace pointer(h);
        const auto descriptors = QDir("/proc/self/fd").count();
        struct statvfs disk, diskAfter;
        QCOMPARE(::statvfs(QFile::encodeName(dir.path()), &disk), 0);
        h.form->PushButton14_Click();
        // A dropped workbook closes what it had open.
        QCOMPARE(QDir("/proc/self/fd").count(), descriptors);
        QCOMPARE(h.dialogs.boxes.size(), size_t(boxes));
        QCOMPARE(h.dialogs.errorReports("Form1.PushButton14_Click"), int(!failure.isEmpty()));
        if (!says.isEmpty())
            QVERIFY2(h.dialogs.boxes.back().text.contains(says),
                     qPrintable(h.dialogs.boxes.back().text));
        QCOMPARE(pointer.values, (present ? std::vector<int>{11, 0} : std::vector<int>{}));
        QVERIFY(h.shell.openedFiles.empty());
        QCOMPARE(filesUnder(dir.path()),
                 failure == "unwritable" ? QStringList{"cache"} : QStringList{});
        if (failure.isEmpty())
            QVERIFY(!QFileInfo::exists(dir.path() + "/cache"));
        QCOMPARE(::statvfs(QFile::encodeName(dir.path()), &diskAfter), 0);
        if (failure == "full")
            QCOMPARE(diskAfter.f_bfree, disk.f_bfree);
    }

    // "Clear Results" while the sheet fills: one report, then the rows
    // written so far are finished and shown. Workbooks of this program a week
    // old go at this export as at any; younger ones and anything not named as
    // the program names them stay.
    void clearedMidExportShowsWhatWasWritten() {
        QTemporaryDir dir;
        const QStringList aged{"Results-20231224-000000.xlsx", "Results-20231224-000000-2.xlsx",
                               "notes.xlsx", "Results-20240101-000000.xlsx"};
        for (const QString& name : aged) {  // the last one six days old, the rest eight
            QFile f(dir.path() + '/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly) &&
                    f.setFileTime(QDateTime::currentDateTime().addDays(name == aged[3] ? -6 : -8),
                                  QFileDevice::FileModificationTime));
        }
        WorkbookHarness h(dir.path());
        for (const char* e : {"/a/.1", "/a/.2", "/a/.3"}) h.results().Add(QByteArray(e));
        // Yields: the header, then entry 1 and its cell, then entry 2.
        h.yield.onYield = [&](int n) { n == 4 ? h.form->PushButton6_Click() : void(); };
        h.form->PushButton14_Click();
        QCOMPARE(h.dialogs.boxes.size(), size_t(1));
        QVERIFY(h.dialogs.boxes[0].text.startsWith("Index out of bounds\r\n"));
        QCOMPARE(sheet(h.opened(), 1), (Cells{"A1=Results", "A2=/a/.1", "width 1=8"}));
        QCOMPARE(h.form->pointer().value(), 0);
        QCOMPARE(filesUnder(dir.path()),
                 (QStringList{aged[3], QFileInfo(h.opened()).fileName(), aged[2]}));
    }
};

QTEST_MAIN(SpreadsheetTest)
#include "test_spreadsheet.moc"
