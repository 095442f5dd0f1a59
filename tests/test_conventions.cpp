// The shared conventions: the ErrorReport box, the error trap, the
// application title and FileExists.
#include <QtTest>

#include "app/apptitle.h"
#include "errors/errortrap.h"
#include "platform/files.h"
#include "support/fakes.h"

using namespace tarnwell;
using namespace tarnwell::test;

class ConventionsTest : public QObject {
    Q_OBJECT
private slots:
    void errorReportTextIsExact() {
        const QString text =
            errorReportText(QStringLiteral("Permission denied"), QStringLiteral("Search"),
                            QStringLiteral("searchInFiles"), 7);
        QCOMPARE(text.toUtf8(),
                 QByteArray("Permission denied\r\nin Quorrel2021/08/31.Search.searchInFiles at "
                            "line 7\r\rPlease email screenshot of this message to "
                            "support@example.com"));
    }

    void trapReportsOnceAndGoesOn() {
        FakeDialogs dialogs;
        ErrorTrap trap(dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
        QStringList ran;
        QVERIFY(!trap.run(1, [&] { throw Failure(QStringLiteral("Disk full")); }));
        QVERIFY(trap.run(2, [&] { ran << "2"; }));
        // A failed test counts as held.
        QVERIFY(trap.test(3, [&]() -> bool { throw Failure(QStringLiteral("Bad")); }));
        QVERIFY(!trap.test(4, [&] { return false; }));
        // A failed value leaves nothing for the statements that need it.
        std::optional<int> v = trap.value(5, [&]() -> int { throw std::bad_alloc(); });
        QVERIFY(!v);
        QCOMPARE(trap.value(6, [] { return 42; }).value(), 42);

        QCOMPARE(ran, QStringList{"2"});
        QCOMPARE(trap.reportCount(), 3);
        const auto boxes = dialogs.messages();
        QCOMPARE(boxes.size(), size_t(3));
        QVERIFY(boxes[0].text.startsWith(
            "Disk full\r\nin Quorrel2021/08/31.Form1.PushButton2_Click at line 1\r\r"));
        QVERIFY(boxes[1].text.contains("at line 3\r\r"));
        QVERIFY(boxes[2].text.startsWith("Out of memory\r\n"));
        for (const Box& b : boxes) {
            QCOMPARE(b.style, 48);
            QCOMPARE(b.title, QStringLiteral("Application Error"));
        }
    }

    void applicationTitle_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("one word") << "Tarnwell"
                                  << "Tarnwell";
        // Six words, 39 characters: the last word always goes.
        QTest::newRow("six words") << "Alpha Beta Gamma Delta Epsilon Zetaaaaa"
                                   << "Alpha Beta Gamma Delta Epsilon";
        // 60 characters: words go until 40 or fewer remain.
        QTest::newRow("sixty") << "Hidden File Finder For Every Drive And Folder Of The Machine"
                               << "Hidden File Finder For Every Drive And";
    }
    void applicationTitle() {
        QFETCH(QString, name);
        QFETCH(QString, title);
        if (name.startsWith("Alpha"))
            QCOMPARE(name.size(), 39);
        if (name.startsWith("Hidden"))
            QCOMPARE(name.size(), 60);
        const QString got = applicationTitleFor(name);
        QCOMPARE(got, title);
        QVERIFY(got.size() <= 40);
    }

    void fileExists() {
        QTemporaryDir dir;
        QVERIFY(!FileExists(QString()));
        QVERIFY(FileExists(dir.path()));
        QVERIFY(!FileExists(dir.path() + "/missing"));
        QVERIFY(!FileExists(dir.path() + "/missing/deeper/file.txt"));
    }
};

QTEST_MAIN(ConventionsTest)
#include "test_conventions.moc"
