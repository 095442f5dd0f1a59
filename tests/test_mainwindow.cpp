// The main window: its frame, start-up with a bad or the shipped cursor
// file, what a screen reader hears, the progress bar and the help box.
#include <QAccessible>
#include <QFile>
#include <QFontMetrics>
#include <QPushButton>
#include <QtTest>

#include "app/clearhelp.h"
#include "support/fakes.h"
#include "support/trees.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"

using namespace tarnwell;
using namespace tarnwell::test;

class MainWindowTest : public QObject {
    Q_OBJECT
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
        QVERIFY(h.dialogs.boxes.empty());  // no cursor file: nothing to say
        QVERIFY(!h.form->pointer().hasCustomImage());
    }

    void cursorFileThatIsNoPictureIsReportedOnce() {
        QTemporaryDir dir;
        writeFile(QFile::encodeName(dir.path() + "/HAND-M.CUR"), "this is not a cursor");
        Harness h(dir.path());
        QCOMPARE(h.dialogs.boxes.size(), size_t(1));
        QCOMPARE(h.dialogs.errorReports("Form1.Form_Load", "Invalid picture"), 1);
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

    void controlsAreNamedForAccessibility() {
        Harness h;
        h.form->show();
        const auto said = [](QObject* o, QAccessible::Text what) {
            return QAccessible::queryAccessibleInterface(o)->text(what);
        };
        for (QPushButton* b : h.form->findChildren<QPushButton*>())
            QCOMPARE(said(b, QAccessible::Name), b->text());
        QCOMPARE(said(h.form->ListView1, QAccessible::Name), QStringLiteral("Folder(s)"));
        QCOMPARE(said(h.form->ListView2, QAccessible::Name), QStringLiteral("Results"));
        h.form->ProgressBar1->setText(QStringLiteral("Processing /tmp"));
        QCOMPARE(said(h.form->ProgressBar1, QAccessible::Description), "Processing /tmp");
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
        QCOMPARE(h.dialogs.boxes.size(), size_t(1));
        QCOMPARE(h.dialogs.boxes[0].text, helpText());
        QCOMPARE(h.dialogs.boxes[0].style, int(vbOKOnly));
        QCOMPARE(h.dialogs.boxes[0].title, QStringLiteral("Tarnwell"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
