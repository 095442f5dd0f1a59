// The window's look: the skin next to the program, the hand pointer, and the
// hover rules that switch the pointer as the mouse travels.
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include "platform/cursorfile.h"
#include "platform/listcontrol.h"
#include "platform/ordinaryfile.h"
#include "platform/progressbar.h"
#include "platform/skinframework.h"
#include "support/fakes.h"
#include "support/trees.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

QString shippedFolder() {
    return qEnvironmentVariable("TARNWELL_PROGRAM_DIR");
}

QColor background(const Form1& form) {
    return form.palette().color(QPalette::Window);
}

QColor buttonFace(const Form1& form) {
    return form.palette().color(QPalette::Button);
}

// A program folder holding a skin file with the given content.
void writeSkin(const QTemporaryDir& dir, const QByteArray& content) {
    QDir(dir.path()).mkpath(QStringLiteral("x"));
    writeFile(QFile::encodeName(dir.path() + "/x/o.cjs"), content);
}

const QByteArray kSmallSkin = "#Form1 { background-color: #dde; }\n";

}  // namespace

class AppearanceTest : public QObject {
    Q_OBJECT
private slots:
    void noSkinFileKeepsTheWhiteWindow() {
        Harness h;
        QCOMPARE(background(*h.form), QColor(Qt::white));
        QVERIFY(h.form->styleSheet().isEmpty());
        QVERIFY(h.dialogs.boxes.empty());
    }

    void skinFileTurnsTheFaceAndSkinsTheWindow() {
        QTemporaryDir dir;
        writeSkin(dir, kSmallSkin);
        Harness h(dir.path());
        QVERIFY(h.dialogs.boxes.empty());
        QCOMPARE(background(*h.form), buttonFace(*h.form));
        QVERIFY(background(*h.form) != QColor(Qt::white));
        QCOMPARE(h.form->styleSheet(), QString::fromUtf8(kSmallSkin));
        // The options set at start-up reach the skin as the window's properties.
        QCOMPARE(h.form->property("skinControls").toBool(), true);
        QCOMPARE(h.form->property("skinFlat").toBool(), true);
        QCOMPARE(h.form->property("skinHover").toBool(), true);
    }

    void onlyAnOrdinaryFileIsASkin_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("hidden by its folder's list") << "listed";
        QTest::newRow("a folder of that name") << "folder";
        QTest::newRow("a link to nowhere") << "dangling";
    }
    void onlyAnOrdinaryFileIsASkin() {
        QFETCH(QString, how);
        QTemporaryDir dir;
        const QString skin = dir.path() + "/x/o.cjs";
        if (how == QLatin1String("listed")) {
            writeSkin(dir, kSmallSkin);
            writeFile(QFile::encodeName(dir.path() + "/x/.hidden"), "other\no.cjs\n");
        } else if (how == QLatin1String("folder")) {
            QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("x/o.cjs")));
        } else {
            QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("x")));
            QVERIFY(QFile::link(dir.path() + "/missing.cjs", skin));
        }
        Harness h(dir.path());
        QCOMPARE(background(*h.form), QColor(Qt::white));
        QVERIFY(h.form->styleSheet().isEmpty());
        QVERIFY(h.dialogs.boxes.empty());
    }

    void ordinaryFileRules() {
        QTemporaryDir dir;
        makeTree(dir.path(), {"a/", "a/f.txt", ".b/", ".b/f.txt", "a/.g"});
        writeFile(QFile::encodeName(dir.path() + "/a/.hidden"), "f.txt.bak\r\n");
        QVERIFY(isOrdinaryFile(dir.path(), "/a/f.txt"));
        QVERIFY(!isOrdinaryFile(dir.path(), "/.b/f.txt"));  // a dot name in the tail
        QVERIFY(!isOrdinaryFile(dir.path(), "/a/.g"));
        QVERIFY(!isOrdinaryFile(dir.path(), "/a"));
        QVERIFY(!isOrdinaryFile(dir.path(), "/a/missing"));
        // A listing matches whole names only, CR LF line ends included.
        QVERIFY(!listedAsHidden(QFile::encodeName(dir.path() + "/a"), "f.txt"));
        QVERIFY(listedAsHidden(QFile::encodeName(dir.path() + "/a"), "f.txt.bak"));
        // Native Linux file systems keep no DOS attributes.
        QVERIFY(!dosAttributes(QFile::encodeName(dir.path() + "/a/f.txt")));
    }

    void brokenSkinIsReportedOnceAndStartUpGoesOn_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("unbalanced") << QByteArray("QPushButton { color: red;\n");
        QTest::newRow("not text") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
        QTest::newRow("not UTF-8") << QByteArray("QWidget { font-family: \"\xff\xfe\"; }");
    }
    void brokenSkinIsReportedOnceAndStartUpGoesOn() {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        writeSkin(dir, content);
        Harness h(dir.path());
        QCOMPARE(h.dialogs.boxes.size(), size_t(1));
        const Box& box = h.dialogs.boxes[0];
        QVERIFY2(box.text.startsWith(QStringLiteral(
                     "Invalid skin file\r\nin Quorrel2021/08/31.Form1.Form_Load at line ")),
                 qPrintable(box.text));
        QCOMPARE(box.style, 48);
        // The face turned before the skin was loaded, and stays.
        QCOMPARE(background(*h.form), buttonFace(*h.form));
        QVERIFY(h.form->styleSheet().isEmpty());
        QCOMPARE(h.form->windowTitle(), QStringLiteral("Tarnwell"));
        QCOMPARE(h.searchList().ColumnText(1), QStringLiteral("Folder(s)"));
        QCOMPARE(h.results().ColumnText(1), QStringLiteral("Results"));
    }

    void styleSheetCheck_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << QByteArray() << true;
        QTest::newRow("nested") << QByteArray("a { b { c: d; } }") << true;
        QTest::newRow("braces in a comment") << QByteArray("/* { */ a { }") << true;
        QTest::newRow("braces in a string") << QByteArray("a { b: \"}{\\\"}\"; }") << true;
        QTest::newRow("closing first") << QByteArray("} a {") << false;
        QTest::newRow("open comment") << QByteArray("a { } /* ") << false;
        QTest::newRow("open string") << QByteArray("a { b: 'c; }") << false;
        QTest::newRow("NUL") << QByteArray("a { }\0", 6) << false;
    }
    void styleSheetCheck() {
        QFETCH(QByteArray, content);
        QFETCH(bool, accepted);
        QCOMPARE(looksLikeStyleSheet(content), accepted);
    }

    void shippedSkinParsesAndKeepsTheLayout() {
        if (!QFile::exists(shippedFolder() + "/x/o.cjs"))
            QSKIP("no skin laid out next to the program");
        QTest::failOnWarning(QRegularExpression(QStringLiteral("(?i)style ?sheet")));
        Harness plain;
        Harness skinned(shippedFolder());
        QVERIFY(skinned.dialogs.boxes.empty());
        QVERIFY(!skinned.form->styleSheet().isEmpty());
        skinned.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(skinned.form.get()));
        QCOMPARE(skinned.form->size(), plain.form->size());
        const auto plainChildren = plain.form->findChildren<QWidget*>();
        for (QWidget* w : plainChildren) {
            if (w->objectName().isEmpty() || w->parentWidget() != plain.form.get())
                continue;
            auto* twin = skinned.form->findChild<QWidget*>(w->objectName());
            QVERIFY(twin);
            QCOMPARE(twin->geometry(), w->geometry());
            QCOMPARE(twin->font(), w->font());
        }
        // The skin's border and padding still leave room for every caption.
        for (QPushButton* b : skinned.form->findChildren<QPushButton*>())
            QVERIFY2(QFontMetrics(b->font()).horizontalAdvance(b->text()) <= b->width() - 2 * 3,
                     qPrintable(b->text()));
    }

    void shippedHandHasItsHotSpotAtTheFingertip() {
        const QString file = shippedFolder() + "/HAND-M.CUR";
        if (!QFile::exists(file))
            QSKIP("no cursor file laid out next to the program");
        const QCursor hand = loadCursorFile(file);
        const QImage image = hand.pixmap().toImage();
        QCOMPARE(image.size(), QSize(32, 32));
        const QPoint tip = hand.hotSpot();
        QCOMPARE(tip, QPoint(13, 4));
        // The hot spot is the topmost drawn pixel, and it is the dark outline.
        QCOMPARE(qAlpha(image.pixel(tip)), 255);
        QVERIFY(qGray(image.pixel(tip)) < 64);
        for (int y = 0; y < tip.y(); ++y)
            for (int x = 0; x < 32; ++x) QCOMPARE(qAlpha(image.pixel(x, y)), 0);

        // Pointer 99 shows it over the window.
        Harness h(shippedFolder());
        h.form->pointer().set(MousePointer::Custom);
        QCOMPARE(h.form->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(h.form->cursor().hotSpot(), tip);
    }

    void truncatedCursorIsNoPicture() {
        const QString file = shippedFolder() + "/HAND-M.CUR";
        if (!QFile::exists(file))
            QSKIP("no cursor file laid out next to the program");
        QTemporaryDir dir;
        const QByteArray whole = readFile(QFile::encodeName(file));
        writeFile(QFile::encodeName(dir.path() + "/HAND-M.CUR"), whole.left(40));
        Harness h(dir.path());
        QCOMPARE(h.dialogs.boxes.size(), size_t(1));
        QVERIFY(h.dialogs.boxes[0].text.startsWith(QStringLiteral("Invalid picture\r\n")));
        QVERIFY(!h.form->pointer().hasCustomImage());
    }

    // Real mouse moves over the shown window, as the window system sends them.
    void hoverRules() {
        Harness h;
        Form1& f = *h.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        MousePointer& pointer = f.pointer();
        const QPoint bare(532, 100);  // between the two lists
        QVERIFY(!f.childAt(bare));
        auto over = [&](QWidget* w, QPoint at = QPoint()) {
            QTest::mouseMove(w, at.isNull() ? w->rect().center() : at);
            return pointer.value();
        };

        for (QPushButton* b : f.findChildren<QPushButton*>()) {
            QCOMPARE(over(&f, bare), 0);
            QVERIFY2(over(b) == 99, qPrintable(b->text()));
        }
        QCOMPARE(over(f.ListView1->viewport()), 0);
        QCOMPARE(over(f.PushButton9), 99);
        QCOMPARE(over(f.ListView2->viewport()), 0);
        QCOMPARE(over(f.PushButton2), 99);
        QCOMPARE(over(f.ListView1->header()), 0);
        // The progress bar has no rule: the hand stays until the bare area.
        QCOMPARE(over(f.PushButton1), 99);
        QCOMPARE(over(f.ProgressBar1), 99);
        QCOMPARE(over(&f, bare), 0);
        QCOMPARE(over(f.ProgressBar1), 0);

        // While busy only "Stop" changes the pointer; after that the rest
        // acts as at rest, though the command still runs.
        pointer.set(MousePointer::Busy);
        QCOMPARE(over(f.PushButton8), 11);
        QCOMPARE(over(f.PushButton3), 11);
        QCOMPARE(over(f.ListView1->viewport()), 11);
        QCOMPARE(over(f.ListView2->viewport()), 11);
        QCOMPARE(over(&f, bare), 11);
        QCOMPARE(f.cursor().shape(), Qt::WaitCursor);
        QCOMPARE(over(f.PushButton1), 99);
        QCOMPARE(over(&f, bare), 0);
        QCOMPARE(over(f.PushButton8), 99);
    }
};

QTEST_MAIN(AppearanceTest)
#include "test_appearance.moc"
