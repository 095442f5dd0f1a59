// The window's look: the skin next to the program, the hand pointer, and the
// hover rules that switch the pointer as the mouse travels.
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QtTest>

#include "support/fakes.h"
#include "support/trees.h"
#include "ui/cursorfile.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"

using namespace tarnwell;
using namespace tarnwell::test;

class AppearanceTest : public QObject {
    Q_OBJECT
    const QString shipped_ = qEnvironmentVariable("TARNWELL_PROGRAM_DIR");

private slots:
    void skin_data() {
        QTest::addColumn<QByteArray>("skin");  // what x/o.cjs is
        QTest::addColumn<bool>("faceTurned");
        QTest::addColumn<bool>("skinned");
        QTest::newRow("absent") << QByteArray() << false << false;
        QTest::newRow("shipped") << QByteArray("shipped") << true << true;
        QTest::newRow("hidden") << QByteArray("listed") << false << false;
        QTest::newRow("a folder") << QByteArray("folder") << false << false;
        QTest::newRow("unbalanced") << QByteArray("QPushButton { color: red;") << true << false;
        QTest::newRow("not UTF-8") << QByteArray("QWidget { font: \"\xff\"; }") << true << false;
    }
    void skin() {
        QFETCH(QByteArray, skin);
        QFETCH(bool, faceTurned);
        QFETCH(bool, skinned);
        QTemporaryDir dir;
        const QByteArray content =
            skin == "shipped" ? readFile(QFile::encodeName(shipped_ + "/x/o.cjs")) : skin;
        makeTree(dir.path(), {skin == "folder" ? "x/o.cjs/" : "x/"});
        if (!skin.isEmpty() && skin != "folder")
            writeFile(QFile::encodeName(dir.path() + "/x/o.cjs"), content);
        if (skin == "listed")  // hidden by the list of its folder
            writeFile(QFile::encodeName(dir.path() + "/x/.hidden"), "o.cjs\n");
        QTest::failOnWarning(QRegularExpression("(?i)style ?sheet"));

        Harness h(dir.path());
        h.form->show();
        const QPalette& p = h.form->palette();
        QCOMPARE(p.color(QPalette::Window), faceTurned ? p.color(QPalette::Button) : Qt::white);
        QCOMPARE(h.form->styleSheet(), skinned ? QString::fromUtf8(content) : QString());
        QCOMPARE(h.form->property("skinControls").toBool(), skinned);
        // A broken skin is reported once, and start-up goes on.
        QCOMPARE(h.dialogs.boxes.size(), size_t(faceTurned && !skinned));
        QCOMPARE(h.dialogs.errorReports("Form1.Form_Load", "Invalid skin file"),
                 int(faceTurned && !skinned));
        QCOMPARE(h.results().ColumnText(1), QStringLiteral("Results"));
    }

    void handHasItsHotSpotAtTheFingertip() {
        const QCursor hand = loadCursorFile(shipped_ + "/HAND-M.CUR");
        const QImage image = hand.pixmap().toImage();
        QCOMPARE(image.size(), QSize(32, 32));
        QCOMPARE(hand.hotSpot(), QPoint(13, 4));
        QCOMPARE(image.pixel(13, 4), qRgb(0x20, 0x20, 0x20));  // the outline's top
    }

    // Real moves over the shown window, as the window system sends them.
    void hoverRules() {
        Harness h;
        Form1& f = *h.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto over = [&](QWidget* w) {
            // The bare window: between the two lists.
            QTest::mouseMove(w, w == &f ? QPoint(532, 100) : w->rect().center());
            return f.pointer().value();
        };
        for (QPushButton* b : f.findChildren<QPushButton*>()) {
            QCOMPARE(over(&f), 0);
            QCOMPARE(over(b), 99);
        }
        for (QWidget* list : {f.ListView1->viewport(), f.ListView2->header()->viewport()}) {
            QCOMPARE(over(f.PushButton9), 99);
            QCOMPARE(over(list), 0);
        }
        // The progress bar has no rule: the hand stays until the bare area.
        QCOMPARE(over(f.PushButton1), 99);
        QCOMPARE(over(f.ProgressBar1), 99);
        // While busy only "Stop" changes the pointer; after that the rest acts
        // as at rest, though the command still runs.
        f.pointer().set(MousePointer::Busy);
        for (QWidget* w : {(QWidget*)f.PushButton8, f.ListView1->viewport(), (QWidget*)&f})
            QCOMPARE(over(w), 11);
        QCOMPARE(over(f.PushButton1), 99);
        QCOMPARE(over(&f), 0);
    }

    // The scroll bar and the frame are widgets apart from the rows.
    void handGoesOverEveryPartOfAList() {
        Harness h;
        for (int i = 0; i < 100; ++i) h.results().Add(QByteArray("/x/.") + QByteArray::number(i));
        h.results().entries().publish();
        h.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
        QScrollBar* bar = h.results().verticalScrollBar();
        QTRY_VERIFY(bar->isVisible());
        for (auto [w, at] : {std::pair<QWidget*, QPoint>{bar, bar->rect().center()},
                             {&h.results(), QPoint(0, 100)}}) {
            QTest::mouseMove(h.form->PushButton5);
            QCOMPARE(h.form->pointer().value(), 99);
            QTest::mouseMove(w, at);
            QCOMPARE(h.form->pointer().value(), 0);
        }
    }
};

QTEST_MAIN(AppearanceTest)
#include "test_appearance.moc"
