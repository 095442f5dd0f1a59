// The main window: its frame, start-up with a skin or cursor file next to the
// program, the hand pointer and the rules that switch it as the mouse
// travels, the help box, and the conventions every command shares: the
// ErrorReport box, the error trap and the application title.
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QtTest>

#include "app/apptitle.h"
#include "app/clearhelp.h"
#include "errors/errortrap.h"
#include "support/fakes.h"
#include "support/trees.h"
#include "ui/cursorfile.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"

using namespace tarnwell;
using namespace tarnwell::test;

class MainWindowTest : public QObject {
    Q_OBJECT
    const QString shipped_ = qEnvironmentVariable("TARNWELL_PROGRAM_DIR");

private slots:
    // The layout is fixed, so the window must not resize, and every caption
    // must fit its button in the font it is drawn with.
    void fixedWindowWithIconAndFittingCaptions() {
        Harness h;
        QCOMPARE(h.form->minimumSize(), h.form->maximumSize());
        QCOMPARE(h.form->windowIcon().availableSizes().size(), 4);
        for (QPushButton* b : h.form->findChildren<QPushButton*>())
            QVERIFY2(QFontMetrics(b->font()).horizontalAdvance(b->text()) < b->width(),
                     qPrintable(b->text()));
    }

    // A broken skin or cursor file is reported once, and start-up goes on.
    void startUp_data() {
        QTest::addColumn<QByteArray>("skin");  // what x/o.cjs is
        QTest::addColumn<QByteArray>("cursor");
        QTest::addColumn<bool>("faceTurned");
        QTest::addColumn<bool>("skinned");
        QTest::addColumn<QString>("report");
        const QString badSkin = "Invalid skin file";
        QTest::newRow("nothing") << QByteArray() << QByteArray() << false << false << "";
        QTest::newRow("shipped") << QByteArray("shipped") << QByteArray() << true << true << "";
        QTest::newRow("hidden") << QByteArray("listed") << QByteArray() << false << false << "";
        QTest::newRow("a folder") << QByteArray("folder") << QByteArray() << false << false << "";
        QTest::newRow("unbalanced")
            << QByteArray("QPushButton { color: red;") << QByteArray() << true << false << badSkin;
        QTest::newRow("not UTF-8") << QByteArray("QWidget { font: \"\xff\"; }") << QByteArray()
                                   << true << false << badSkin;
        QTest::newRow("cursor no picture")
            << QByteArray() << QByteArray("not a cursor") << false << false << "Invalid picture";
    }
    void startUp() {
        QFETCH(QByteArray, skin);
        QFETCH(QByteArray, cursor);
        QFETCH(bool, faceTurned);
        QFETCH(bool, skinned);
        QFETCH(QString, report);
        QTemporaryDir dir;
        const bool shipped = skin == "shipped";
        if (shipped)
            skin = readFile(QFile::encodeName(shipped_ + "/x/o.cjs"));
        makeTree(dir.path(), {skin == "folder" ? "x/o.cjs/" : "x/"});
        if (!skin.isEmpty() && skin != "folder")
            writeFile(QFile::encodeName(dir.path() + "/x/o.cjs"), skin);
        if (skin == "listed")  // hidden by the list of its folder
            writeFile(QFile::encodeName(dir.path() + "/x/.hidden"), "o.cjs\n");
        if (!cursor.isEmpty())
            writeFile(QFile::encodeName(dir.path() + "/HAND-M.CUR"), cursor);
        QTest::failOnWarning(QRegularExpression("(?i)style ?sheet"));

        Harness h(shipped ? shipped_ : dir.path());
        h.form->show();
        const QPalette& p = h.form->palette();
        QCOMPARE(p.color(QPalette::Window), faceTurned ? p.color(QPalette::Button) : Qt::white);
        QCOMPARE(h.form->styleSheet(), skinned ? QString::fromUtf8(skin) : QString());
        QCOMPARE(h.form->property("skinControls").toBool(), skinned);
        QCOMPARE(h.form->pointer().hasCustomImage(), shipped);
        QCOMPARE(h.dialogs.boxes.size(), size_t(!report.isEmpty()));
        QCOMPARE(h.dialogs.errorReports("Form1.Form_Load", report), int(!report.isEmpty()));
        QCOMPARE(h.searchList().ColumnText(1), QStringLiteral("Folder(s)"));
        QCOMPARE(h.results().ColumnText(1), QStringLiteral("Results"));
    }

    void handHasItsHotSpotAtTheFingertip() {
        const QCursor hand = loadCursorFile(shipped_ + "/HAND-M.CUR");
        const QImage image = hand.pixmap().toImage();
        QCOMPARE(image.size(), QSize(32, 32));
        QCOMPARE(hand.hotSpot(), QPoint(13, 4));
        QCOMPARE(image.pixel(13, 4), qRgb(0x20, 0x20, 0x20));  // the outline's top
    }

    // Real moves over the shown window, as the window system sends them. The
    // scroll bar and the frame are widgets apart from a list's rows.
    void hoverRules() {
        Harness h;
        Form1& f = *h.form;
        for (int i = 0; i < 100; ++i) h.results().Add(QByteArray("/x/.") + QByteArray::number(i));
        h.results().entries().publish();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QScrollBar* bar = h.results().verticalScrollBar();
        QTRY_VERIFY(bar->isVisible());
        const auto over = [&](QWidget* w, QPoint at = {}) {
            QTest::mouseMove(w, at.isNull() ? w->rect().center() : at);
            return f.pointer().value();
        };
        const QPoint betweenTheLists(532, 100);
        const std::pair<QWidget*, QPoint> bare[] = {{&f, betweenTheLists},
                                                    {f.ListView1->viewport(), {}},
                                                    {f.ListView2->header()->viewport(), {}},
                                                    {bar, {}},
                                                    {f.ListView2, {0, 100}}};
        for (QPushButton* b : f.findChildren<QPushButton*>())
            for (auto [w, at] : bare) {
                QCOMPARE(over(b), 99);
                QCOMPARE(over(w, at), 0);
            }
        // The progress bar has no rule: the hand stays until the bare area.
        QCOMPARE(over(f.PushButton1), 99);
        QCOMPARE(over(f.ProgressBar1), 99);
        // While busy only "Stop" changes the pointer; after that the rest acts
        // as at rest, though the command still runs.
        f.pointer().set(MousePointer::Busy);
        for (QWidget* w : {(QWidget*)f.PushButton8, f.ListView1->viewport(), (QWidget*)&f})
            QCOMPARE(over(w, w == &f ? betweenTheLists : QPoint()), 11);
        QCOMPARE(over(f.PushButton1), 99);
        QCOMPARE(over(&f, betweenTheLists), 0);
    }

    // The text is a path, not a format: "%p" stays as it is.
    void progressBarShowsTextAsGivenAndCapsAt100() {
        ProgressBar bar;
        bar.setText(QStringLiteral("Processing /data/100%p done"));
        QCOMPARE(bar.text(), QStringLiteral("Processing /data/100%p done"));
        bar.setValue(400.0 / 3);
        QCOMPARE(bar.value(), 100);
        QCOMPARE(bar.Value(), 400.0 / 3);
    }

    void helpIsOnePlainBox() {
        Harness h;
        h.form->PushButton9_Click();
        QCOMPARE(h.dialogs.boxes, (std::vector<Box>{{"msgBox", helpText(), vbOKOnly, "Tarnwell"}}));
    }

    void errorReportTextIsExact() {
        QCOMPARE(errorReportText("Permission denied", "Search", "searchInFiles", 7).toUtf8(),
                 QByteArray("Permission denied\r\nin Quorrel2021/08/31.Search.searchInFiles at "
                            "line 7\r\rPlease email screenshot of this message to "
                            "support@example.com"));
    }

    // A failed test counts as held; a failed value leaves nothing for the
    // statements that need it.
    void trapReportsOnceAndGoesOn() {
        FakeDialogs dialogs;
        ErrorTrap trap(dialogs, "Form1", "PushButton2_Click");
        QStringList ran;
        QVERIFY(!trap.run(1, [&] { throw Failure("Disk full"); }));
        QVERIFY(trap.run(2, [&] { ran << "2"; }));
        QVERIFY(trap.test(3, [&]() -> bool { throw Failure("Bad"); }));
        QVERIFY(!trap.test(4, [&] { return false; }));
        QVERIFY(!trap.value(5, [&]() -> int { throw std::bad_alloc(); }));
        QCOMPARE(trap.value(6, [] { return 42; }).value(), 42);
        QCOMPARE(ran, QStringList{"2"});
        QCOMPARE(trap.reportCount(), 3);
        const auto report = [](const char* description, int line) {
            return Box{"msgBox", errorReportText(description, "Form1", "PushButton2_Click", line),
                       48, "Application Error"};
        };
        QCOMPARE(dialogs.boxes, (std::vector<Box>{report("Disk full", 1), report("Bad", 3),
                                                  report("Out of memory", 5)}));
    }

    // A one-word name stays whole; otherwise the last word always goes, and
    // more go until 40 characters or fewer remain.
    void applicationTitle() {
        QCOMPARE(applicationTitleFor("Tarnwell"), "Tarnwell");
        QCOMPARE(applicationTitleFor("Alpha Beta Gamma Delta Epsilon Zetaaaaa"),  // 39
                 "Alpha Beta Gamma Delta Epsilon");
        QCOMPARE(
            applicationTitleFor("Hidden File Finder For Every Drive And Folder Of The Machine"),
            "Hidden File Finder For Every Drive And");
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
