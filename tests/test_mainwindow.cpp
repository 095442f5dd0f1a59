// The main window: start-up with a skin or cursor file next to the
// program, the help box, and the conventions every command shares: the
// ErrorReport box, the error trap, and drawing at a pace while one runs.

#include "app/clearhelp.h"
#include "errors/errortrap.h"
#include "support/fakes.h"
#include "ui/paintpacer.h"

namespace {
struct PaintCounter : QWidget {
    int paints = 0;
    void paintEvent(QPaintEvent*) override { ++paints; }
};
}  // namespace

using namespace tarnwell;
using namespace tarnwell::test;

class MainWindowTest : public QObject {
    Q_OBJECT
    const QString shipped_ = qEnvironmentVariable("TARNWELL_PROGRAM_DIR");

private slots:
    // A broken skin or cursor file is reported once, and start-up goes on.
    // A skin file that is read turns the face; only one that parses styles
    // the window.
    void startUp_data() {
        QTest::addColumn<QByteArray>("skin");    // what x/o.cjs is
        QTest::addColumn<QByteArray>("cursor");  // what HAND-M.CUR is
        QTest::addColumn<QString>("report");
        const QByteArray none;
        QTest::newRow("nothing") << none << none << "";
        QTest::newRow("shipped") << QByteArray("shipped") << none << "";
        QTest::newRow("hidden") << QByteArray("listed") << none << "";
        QTest::newRow("a folder") << QByteArray("folder") << none << "";
        QTest::newRow("unbalanced")
            << QByteArray("QPushButton { color: red;") << none << "Invalid skin file";
        QTest::newRow("not UTF-8")
            << QByteArray("QWidget { font: \"\xff\"; }") << none << "Invalid skin file";
        QTest::newRow("cursor no picture")
            << none << QByteArray("not a cursor") << "Invalid picture";
    }
    void startUp() {
        QFETCH(QByteArray, skin);
        QFETCH(QByteArray, cursor);
        QFETCH(QString, report);
        const bool faceTurned = !skin.isEmpty() && skin != "listed" && skin != "folder";
        const bool skinned = faceTurned && report.isEmpty();
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

    void helpIsOnePlainBox() {
        Harness h;
        h.form->PushButton9_Click();
        QCOMPARE(h.dialogs.boxes, (std::vector<Box>{{"msgBox", helpText(), vbOKOnly, "Tarnwell"}}));
    }

    // A failed test counts as held; a failed value leaves nothing for the
    // statements that need it. The report's text, once exactly.
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
        QCOMPARE(dialogs.boxes[0].text.toUtf8(),
                 QByteArray("Disk full\r\nin Quorrel2021/08/31.Form1.PushButton2_Click at line "
                            "1\r\rPlease email screenshot of this message to support@example.com"));
    }

    // A paint held back is drawn when its time comes or when the pacer
    // goes; Qt asks for no other until it is, so one lost would leave the
    // window undrawn for good.
    void aPaintHeldBackIsNeverLost() {
        PaintCounter w;
        w.resize(40, 40);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_VERIFY(w.paints > 0);
        ScriptedYield yield;
        // A pass as a long command makes it: the window's events, then the
        // pass's end, where the pacer draws.
        const auto drawn = [&](auto&& change) {
            const int before = w.paints;
            change();
            QCoreApplication::processEvents();
            yield.doEvents();
            return w.paints > before;
        };
        {
            PaintPacer pacer(w, yield, 60 * 1000);
            QVERIFY(drawn([&] { w.update(); }));
            QVERIFY(!drawn([&] { w.update(); }));
            QVERIFY(!drawn([&] { w.repaint(); }));
        }
        QVERIFY(drawn([] {}));
        QVERIFY(drawn([&] { w.update(); }));
        {
            // With no pass to draw it (a box is open), its timer does.
            PaintPacer pacer(w, yield, 100);
            QVERIFY(drawn([&] { w.update(); }));
            const int before = w.paints;
            w.update();
            QTRY_VERIFY(w.paints > before);
        }
        QVERIFY(drawn([&] { w.update(); }));
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
