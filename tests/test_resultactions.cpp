// Acting on the results: removing those that contain a typed text or not,
// and on one result: its folder in the file manager, its path on the
// clipboard.
#include <QMenu>

#include "platform/filemanager.h"
#include "platform/hiddenreason.h"
#include "results/resultactions.h"
#include "support/fakes.h"

using namespace tarnwell;
using namespace tarnwell::test;

class ResultActionsTest : public QObject {
    Q_OBJECT
private slots:
    // Letter case is ignored, beyond ASCII too; the text is taken as typed,
    // spaces and all, and Cancel or nothing typed changes nothing.
    void removeResultsContainingOrNot_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("leftByContaining");
        QTest::addColumn<QStringList>("leftByNotContaining");
        const QStringList thumbs{"/c/A/Thumbs.db", "/c/B/desktop.ini"};
        QTest::newRow("cancel or empty") << "" << thumbs << thumbs << thumbs;
        QTest::newRow("letter case") << "THUMBS" << thumbs << thumbs.mid(1) << thumbs.mid(0, 1);
        QTest::newRow("spaces only")
            << "  " << QStringList{"/a  b", "/ab"} << QStringList{"/ab"} << QStringList{"/a  b"};
        QTest::newRow("beyond ASCII") << "ÜBER" << QStringList{"/.über", "/.uber"}
                                      << QStringList{"/.uber"} << QStringList{"/.über"};
        QTest::newRow("1, 2, 4 of five")
            << "hit" << QStringList{"/hit1", "/HIT2", "/3", "/Hit4", "/5"}
            << QStringList{"/3", "/5"} << QStringList{"/hit1", "/HIT2", "/Hit4"};
    }
    void removeResultsContainingOrNot() {
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
            QCOMPARE(textsOf(h.results()), containing ? leftByContaining : leftByNotContaining);
            // Nothing typed leaves even the pointer alone.
            QCOMPARE(h.form->pointer().value(), text.isEmpty() ? 99 : 0);
            QCOMPARE(h.dialogs.boxes.size(), size_t(1));  // the input box, no message
            QCOMPARE(h.dialogs.boxes[0].text, containing ? "Remove entries containing: "
                                                         : "Remove entries not containing: ");
        }
    }

    void fileUriKeepsTheExactBytes() {
        QCOMPARE(fileUri("/data/caf\xe9/a b.txt"), QStringLiteral("file:///data/caf%E9/a%20b.txt"));
    }

    // Without a file manager on the session bus the folder opens in the
    // shell's way; the tests' session bus is one that does not exist.
    void openContainingFolderWithoutAFileManager() {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        Harness h;
        tarnwell::openContainingFolder(h.form->window(), QByteArray("/home/u/docs/.secret"));
        QTRY_COMPARE(h.shell.openedFolders, std::vector<QString>{QStringLiteral("/home/u/docs")});
    }

    void menuActsOnTheEntryUnderThePointer() {
        Harness h;
        h.form->show();
        h.results().Add(QByteArray("/a/.one"), HiddenReason::DotName);
        h.results().Add(QByteArray("/a/caf\xe9/.two"), HiddenReason::DotName);
        h.results().entries().publish();
        const QPoint second = h.results().visualRect(h.results().model()->index(1, 0)).center();
        h.form->ListView2_ContextMenu(second);
        auto* menu = h.results().findChild<QMenu*>();
        QVERIFY(menu);
        const QString shown = h.results().Text(2);
        h.results().Clear();               // the entry may vanish while the menu is open
        menu->actions().at(1)->trigger();  // Copy Path
        QCOMPARE(h.clipboard.text, shown);
        QCOMPARE(h.clipboard.sets, 1);
    }
};

QTEST_MAIN(ResultActionsTest)
#include "test_resultactions.moc"
