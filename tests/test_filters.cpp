// Narrowing the results list by a typed text.
#include <QtTest>

#include "support/fakes.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::test;

class FiltersTest : public QObject {
    Q_OBJECT
private slots:
    void bothFilters_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("leftByContaining");
        QTest::addColumn<QStringList>("leftByNotContaining");
        const QStringList thumbs{"/c/A/Thumbs.db", "/c/B/desktop.ini"};
        QTest::newRow("cancel or empty") << "" << thumbs << thumbs << thumbs;
        QTest::newRow("letter case") << "THUMBS" << thumbs << thumbs.mid(1) << thumbs.mid(0, 1);
        QTest::newRow("in every entry") << "/c/" << thumbs << QStringList() << thumbs;
        QTest::newRow("spaces only")
            << "  " << QStringList{"/a  b", "/ab"} << QStringList{"/ab"} << QStringList{"/a  b"};
        QTest::newRow("beyond ASCII") << "ÜBER" << QStringList{"/.über", "/.uber"}
                                      << QStringList{"/.uber"} << QStringList{"/.über"};
        QTest::newRow("1, 2, 4 of five")
            << "hit" << QStringList{"/hit1", "/HIT2", "/3", "/Hit4", "/5"}
            << QStringList{"/3", "/5"} << QStringList{"/hit1", "/HIT2", "/Hit4"};
        QTest::newRow("empty list") << "x" << QStringList() << QStringList() << QStringList();
    }
    void bothFilters() {
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, leftByContaining);
        QFETCH(QStringList, leftByNotContaining);
        for (const bool containing : {true, false}) {
            Harness h;
            for (const QString& e : entries) h.results().Add(e);
            h.form->pointer().set(MousePointer::Custom);
            h.dialogs.inputs.push_back(text);
            containing ? h.form->PushButton17_Click() : h.form->PushButton4_Click();
            QStringList left;
            for (int i = 1; i <= h.results().Count(); ++i) left << h.results().Text(i);
            QCOMPARE(left, containing ? leftByContaining : leftByNotContaining);
            // Nothing typed leaves even the pointer alone.
            QCOMPARE(h.form->pointer().value(), text.isEmpty() ? 99 : 0);
            QCOMPARE(h.dialogs.boxes.size(), size_t(1));  // the input box, no message
            QCOMPARE(h.dialogs.boxes[0].text, containing ? "Remove entries containing: "
                                                         : "Remove entries not containing: ");
            QCOMPARE(h.dialogs.boxes[0].title, h.services.appTitle);
        }
    }
};

QTEST_MAIN(FiltersTest)
#include "test_filters.moc"
