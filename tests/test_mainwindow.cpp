// The main window as designed: layout, start-up, shutdown, accessibility.
#include <QAccessible>
#include <QFile>
#include <QFontMetrics>
#include <QPushButton>
#include <QtTest>

#include "support/fakes.h"
#include "support/trees.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"

using namespace tarnwell;
using namespace tarnwell::test;

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void layoutFollowsTheDesign() {
        Harness h;
        Form1& f = *h.form;
        QCOMPARE(f.size(), QSize(1064, 398));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(f.windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(f.palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(f.windowTitle(), QStringLiteral("Tarnwell"));
        QVERIFY(!f.windowIcon().isNull());
        QCOMPARE(f.windowIcon().availableSizes().size(), 4);

        // A few controls from each half, at their twip positions divided by 15.
        QCOMPARE(f.ListView1->geometry(), QRect(8, 8, 520, 246));
        QCOMPARE(f.ListView2->geometry(), QRect(536, 8, 520, 246));
        QCOMPARE(f.PushButton1->geometry(), QRect(8, 329, 520, 27));
        QCOMPARE(f.PushButton4->geometry(), QRect(800, 329, 256, 27));
        QCOMPARE(f.ProgressBar1->geometry(), QRect(8, 364, 1048, 27));
        QCOMPARE(f.PushButton14->text(), QStringLiteral("Save Results As Excel File"));
        QCOMPARE(f.ProgressBar1->Text(), QStringLiteral("Progress Bar"));
        QCOMPARE(f.ProgressBar1->value(), 0);

        // Every button has its designer name and a caption that fits it.
        const auto buttons = f.findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 11);  // the design table has eleven
        for (QPushButton* b : buttons) {
            QVERIFY(b->objectName().startsWith(QLatin1String("PushButton")));
            QCOMPARE(b->font().pointSizeF(), 11.25);
            QVERIFY(b->font().bold());
            QVERIFY2(QFontMetrics(b->font()).horizontalAdvance(b->text()) < b->width(),
                     qPrintable(b->text()));
            QVERIFY(b->toolTip().isEmpty());
        }
    }

    void tabOrderFollowsTheDesign() {
        Harness h;
        Form1& f = *h.form;
        const QList<QWidget*> expected = {
            f.ListView1,    f.PushButton3,  f.PushButton1, f.PushButton8, f.PushButton9,
            f.PushButton11, f.ProgressBar1, f.ListView2,   f.PushButton2, f.PushButton6,
            f.PushButton17, f.PushButton4,  f.PushButton5, f.PushButton14};
        QList<QWidget*> chain;
        QWidget* w = f.ListView1;
        do {
            if (expected.contains(w))
                chain << w;
            w = w->nextInFocusChain();
        } while (w != f.ListView1);
        QCOMPARE(chain, expected);
    }

    void startUpAddsTheColumnsAndTheTitle() {
        Harness h;
        QCOMPARE(h.searchList().ColumnCount(), 1);
        QCOMPARE(h.searchList().ColumnText(1), QStringLiteral("Folder(s)"));
        QCOMPARE(h.searchList().columnWidth(0), 6700 / 15);
        QCOMPARE(h.results().ColumnText(1), QStringLiteral("Results"));
        QCOMPARE(h.results().columnWidth(0), 7300 / 15);
        QCOMPARE(h.searchList().Count(), 0);
        QCOMPARE(h.results().Count(), 0);
        QCOMPARE(h.services.appTitle, QStringLiteral("Tarnwell"));
        const QString tip = QStringLiteral(
            "Double-click item to remove it. Move | line to right and out of window to reveal "
            "full names.");
        QCOMPARE(h.searchList().toolTip(), tip);
        QCOMPARE(h.results().toolTip(), tip);
    }

    void startUpWithoutCursorFileIsSilent() {
        Harness h;
        QVERIFY(h.dialogs.boxes.empty());
        QVERIFY(!h.form->pointer().hasCustomImage());
    }

    void cursorFileThatIsNoPictureIsReportedOnce() {
        QTemporaryDir dir;
        writeFile(QFile::encodeName(dir.path() + "/HAND-M.CUR"), "this is not a cursor");
        Harness h(dir.path());
        QCOMPARE(h.dialogs.boxes.size(), size_t(1));
        const Box& box = h.dialogs.boxes[0];
        QVERIFY(box.text.startsWith(
            QStringLiteral("Invalid picture\r\nin Quorrel2021/08/31.Form1.Form_Load at line ")));
        QCOMPARE(box.style, 48);
        QCOMPARE(box.title, QStringLiteral("Application Error"));
        QVERIFY(!h.form->pointer().hasCustomImage());
        // Start-up went on: both headers are in place.
        QCOMPARE(h.searchList().ColumnText(1), QStringLiteral("Folder(s)"));
        QCOMPARE(h.results().ColumnText(1), QStringLiteral("Results"));
    }

    void shippedCursorFileLoads() {
        const QString programDir = qEnvironmentVariable("TARNWELL_PROGRAM_DIR");
        if (!QFile::exists(programDir + "/HAND-M.CUR"))
            QSKIP("no cursor file laid out next to the program");
        Harness h(programDir);
        QVERIFY(h.form->pointer().hasCustomImage());
    }

    void closingEndsTheProgramAtOnce() {
        Harness h;
        h.form->show();
        h.form->close();
        QCOMPARE(h.endCalls, 1);
        QVERIFY(h.dialogs.boxes.empty());
    }

    void controlsAreNamedForAccessibility() {
        Harness h;
        h.form->show();
        for (QPushButton* b : h.form->findChildren<QPushButton*>()) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
            QVERIFY(a);
            QCOMPARE(a->text(QAccessible::Name), b->text());
        }
        QCOMPARE(QAccessible::queryAccessibleInterface(h.form->ListView1)->text(QAccessible::Name),
                 QStringLiteral("Folder(s)"));
        QCOMPARE(QAccessible::queryAccessibleInterface(h.form->ListView2)->text(QAccessible::Name),
                 QStringLiteral("Results"));
        h.form->ProgressBar1->setText(QStringLiteral("Processing /tmp"));
        QCOMPARE(QAccessible::queryAccessibleInterface(h.form->ProgressBar1)
                     ->text(QAccessible::Description),
                 QStringLiteral("Processing /tmp"));
    }

    void progressBarShowsTextAsGivenAndCapsAt100() {
        ProgressBar bar;
        bar.setText(QStringLiteral("Processing /data/100%p done"));
        QCOMPARE(bar.text(), QStringLiteral("Processing /data/100%p done"));
        bar.setValue(400.0 / 3);
        QCOMPARE(bar.value(), 100);
        QCOMPARE(bar.Value(), 400.0 / 3);
        bar.setValue(100.0 / 3);
        QCOMPARE(bar.value(), 33);
    }

    void pointerSettingIsTheBusyFlag() {
        Harness h;
        MousePointer& p = h.form->pointer();
        QCOMPARE(p.value(), 0);
        p.set(MousePointer::Busy);
        QVERIFY(p.busy());
        QCOMPARE(h.form->cursor().shape(), Qt::WaitCursor);
        p.set(MousePointer::Custom);  // no hand image loaded: the arrow
        QCOMPARE(h.form->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(!p.busy());
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
