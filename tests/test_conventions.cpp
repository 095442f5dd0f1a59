// The shared conventions: the ErrorReport box, the error trap and the
// application title.
#include <QtTest>

#include "app/apptitle.h"
#include "errors/errortrap.h"
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
        const auto report = [](const char* description, int line) {
            return errorReportText(description, "Form1", "PushButton2_Click", line);
        };
        QCOMPARE(boxes[0].text, report("Disk full", 1));
        QCOMPARE(boxes[1].text, report("Bad", 3));
        QCOMPARE(boxes[2].text, report("Out of memory", 5));
        for (const Box& b : boxes) {
            QCOMPARE(b.style, 48);
            QCOMPARE(b.title, QStringLiteral("Application Error"));
        }
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

QTEST_MAIN(ConventionsTest)
#include "test_conventions.moc"
