// Acting on the results: removing those that contain a typed text or not;
// on one result: its folder in the file manager, its path on the clipboard;
// and on the selected ones: dragging, unhiding, moving to the trash.
#include <QMenu>
#include <QMimeData>

#include "platform/filemanager.h"
#include "platform/hiddenreason.h"
#include "results/fileactions.h"
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

    // Without a file manager on the session bus the folder opens in the
    // shell's way; the tests' session bus is one that does not exist.
    void openContainingFolderWithoutAFileManager() {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        Harness h;
        tarnwell::openContainingFolder(h.form->window(), QByteArray("/home/u/docs/.secret"));
        QTRY_COMPARE(h.shell.openedFolders, std::vector<QString>{QStringLiteral("/home/u/docs")});
    }

    // Both carry a path's bytes as they are, whatever the names' encoding.
    void dragAndMenuActOnTheExactBytes() {
        Harness h;
        h.form->show();
        h.results().Add(QByteArray("/a/.one"), HiddenReason::DotName);
        h.results().Add(QByteArray("/a/caf\xe9/.t wo"), HiddenReason::DotName);
        h.results().entries().publish();
        h.results().setFocus();
        QTest::keyClick(&h.results(), Qt::Key_A, Qt::ControlModifier);
        const std::unique_ptr<QMimeData> data(
            h.results().model()->mimeData(h.results().selectionModel()->selectedIndexes()));
        QCOMPARE(data->data("text/uri-list"), "file:///a/.one\r\nfile:///a/caf%E9/.t%20wo\r\n");
        QCOMPARE(data->data("text/plain"), "/a/.one\n/a/caf\xe9/.t wo\n");

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

    // Found by a real search, so each entry carries the identity and reason
    // the actions check; every action leaves what it could not do in place.
    void actionsOnTheSelectedFiles() {
        QTemporaryDir dir, data;
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
        const QByteArray d = QFile::encodeName(dir.path());
        makeTree(dir.path(), {".dot", "listed", "also", "gone"});
        writeFile(d + "/.hidden", "listed\nalso\r\ngone\n");
        Harness h;
        h.form->show();
        QCOMPARE(h.search({dir.path()}).size(), 5);  // .dot, .hidden and the three listed
        const auto select = [&](std::initializer_list<const char*> names) {
            h.results().clearSelection();
            for (int i = 1; i <= h.results().Count(); ++i)
                for (const char* name : names)
                    if (h.results().Bytes(i) == d + '/' + name)
                        h.results().selectionModel()->select(
                            h.results().model()->index(i - 1, 0),
                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
        };
        h.results().entries().publish();
        const auto unhideAction = [&] {
            const int row = h.results().SelectedIndex() - 1;
            h.form->ListView2_ContextMenu(
                h.results().visualRect(h.results().model()->index(row, 0)).center());
            auto* menu = h.results().findChildren<QMenu*>().constLast();
            return menu->actions().at(3);
        };
        h.dialogs.boxes.clear();

        select({".dot"});
        QVERIFY(!unhideAction()->isEnabled());
        QVERIFY(unhideAction()->toolTip().contains("dot"));
        select({".dot", "listed"});
        QVERIFY(unhideAction()->isEnabled());
        unhideSelectedResults(h.form->window());
        QCOMPARE(readFile(d + "/.hidden"), "also\r\ngone\n");
        QCOMPARE(h.results().Count(), 4);  // the dot name stays

        h.form->pointer().set(MousePointer::Busy);  // a command runs: nothing is done
        select({"also"});
        QTest::keyClick(&h.results(), Qt::Key_Delete, Qt::ShiftModifier);
        h.form->pointer().set(MousePointer::Default);
        QVERIFY(h.dialogs.boxes.empty());

        QVERIFY(QFile::remove(dir.path() + "/gone"));
        select({"also", "gone"});
        h.dialogs.answers = {vbYes};
        QTest::keyClick(&h.results(), Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(h.dialogs.messages().size(), size_t(2));
        QVERIFY(
            h.dialogs.messages()[0].text.startsWith("Move the 2 selected entries to the Trash?"));
        QVERIFY(h.dialogs.messages()[1].text.endsWith("/gone: No such file or directory"));
        QVERIFY(QFile::exists(data.path() + "/Trash/files/also"));
        QCOMPARE(h.results().Count(), 3);
    }
};

QTEST_MAIN(ResultActionsTest)
#include "test_resultactions.moc"
