// The search list: adding folders through the browse dialog, the sample
// folders, and removing entries by double-click and Delete.
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QtTest>

#include "platform/errortrap.h"
#include "platform/listcontrol.h"
#include "platform/settings.h"
#include "searchlist/editing.h"
#include "searchlist/folderpicker.h"
#include "support/fakes.h"
#include "support/searchlist_lists.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

const QString kSamplesQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");

}  // namespace

class SearchListTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

private slots:
    void initTestCase() {
        // The real settings store reads from a home of our own, never the
        // user's: set before the first QSettings of this process.
        QVERIFY(home_.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home_.path()));
    }

    void cancelChangesNothing() {
        Harness h;
        fillList(h.searchList(), {"/data"});
        h.form->pointer().set(MousePointer::Custom);
        h.form->PushButton3_Click();  // no folder scripted: the dialog is cancelled
        QCOMPARE(textsOf(h.searchList()), QStringList{"/data"});
        QCOMPARE(h.form->pointer().value(), int(MousePointer::Custom));
        QCOMPARE(h.dialogs.boxes.size(), size_t(1));
        const Box& browse = h.dialogs.boxes[0];
        QCOMPARE(browse.kind, QStringLiteral("browse"));
        QCOMPARE(browse.text, QStringLiteral("Please select folder:"));
    }

    void chosenFoldersAreAppendedAsReturned_data() {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("a drive root") << QStringList{"/"} << QStringList{"/"};
        QTest::newRow("the same folder twice")
            << QStringList{"/srv/data", "/srv/data"} << QStringList{"/srv/data", "/srv/data"};
        // Only a doubled separator right after a colon is folded, everywhere
        // in the path; a single one, or a doubled one elsewhere, stays.
        QTest::newRow("colon and two separators")
            << QStringList{"smb://host/share", "/mnt/a://b://c"}
            << QStringList{"smb:/host/share", "/mnt/a:/b:/c"};
        QTest::newRow("colon and one separator")
            << QStringList{"/mnt/c:/x"} << QStringList{"/mnt/c:/x"};
        QTest::newRow("doubled separator without colon")
            << QStringList{"/srv//data"} << QStringList{"/srv//data"};
        QTest::newRow("colon and three separators")
            << QStringList{"a:///b"} << QStringList{"a://b"};
    }
    void chosenFoldersAreAppendedAsReturned() {
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, entries);
        Harness h;
        fillList(h.searchList(), {"/first"});
        for (const QString& folder : chosen) {
            h.dialogs.folders.push_back(folder);
            h.form->PushButton3_Click();
            QCOMPARE(h.form->pointer().value(), int(MousePointer::Default));
        }
        QCOMPARE(textsOf(h.searchList()), QStringList{"/first"} + entries);
        QVERIFY(h.dialogs.messages().empty());
    }

    void lastFolderDotIsReadAtEveryClickAndNeverWritten() {
        QTemporaryDir start;
        QtSettingsStore store;
        Harness h;
        Services services{h.dialogs, h.yield, store, h.clipboard, h.shell};
        Window w{*h.form,
                 h.searchList(),
                 h.results(),
                 *h.form->PushButton1,
                 *h.form->ProgressBar1,
                 h.form->pointer(),
                 services};
        ErrorTrap trap(h.dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton3_Click"));
        const QString file = home_.path() + "/Kelvane/Tarnwell.conf";

        // Absent: the dialog is given no start folder, and nothing is stored.
        h.dialogs.folders.push_back(QStringLiteral("/picked"));
        addFolderToSearchList(w, trap);
        QCOMPARE(h.dialogs.browseStarts.back(), QString());
        QVERIFY(!QFileInfo::exists(file));

        {
            QSettings settings(QStringLiteral("Kelvane"), QStringLiteral("Tarnwell"));
            settings.beginGroup(QStringLiteral("Tarnwell"));
            settings.setValue(QStringLiteral("LastFolderDot"), start.path());
        }
        QVERIFY(QFileInfo::exists(file));
        QFile before(file);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray stored = before.readAll();
        const QDateTime modified = QFileInfo(file).lastModified();

        // Set: read afresh, handed to the dialog; the pick is not stored.
        h.dialogs.folders.push_back(QStringLiteral("/elsewhere"));
        addFolderToSearchList(w, trap);
        QCOMPARE(h.dialogs.browseStarts.back(), start.path());
        h.dialogs.folders.push_back(QStringLiteral("/again"));
        addFolderToSearchList(w, trap);
        QCOMPARE(h.dialogs.browseStarts.back(), start.path());

        QFile after(file);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), stored);
        QCOMPARE(QFileInfo(file).lastModified(), modified);
        QCOMPARE(textsOf(h.searchList()), (QStringList{"/picked", "/elsewhere", "/again"}));
        QCOMPARE(trap.reportCount(), 0);
    }

    void browseCallbackOnlyActsWhenTheDialogIsBuilt() {
        struct Browser : FolderBrowser {
            QStringList selections;
            bool fail = false;
            void setSelection(const QString& folder) override {
                selections << folder;
                if (fail)
                    throw Failure(QStringLiteral("Access denied"));
            }
        } browser;
        QCOMPARE(BrowseCallback(browser, BFFM_INITIALIZED, QStringLiteral("/srv")), 0);
        QCOMPARE(BrowseCallback(browser, 2, QStringLiteral("/other")), 0);
        QCOMPARE(browser.selections, QStringList{"/srv"});
        // A failure in the dialog is swallowed: the dialog keeps working.
        browser.fail = true;
        QCOMPARE(BrowseCallback(browser, BFFM_INITIALIZED, QStringLiteral("/srv")), 0);
    }

    void samplesAreAppendedBehindTheEntries() {
        Harness h;
        fillList(h.searchList(), {"/mine"});
        h.form->PushButton11_Click();
        h.form->PushButton11_Click();
        const QString p = h.services.programFolder;
        QCOMPARE(textsOf(h.searchList()), (QStringList{"/mine", p + "/Samples/1", p + "/Samples/2",
                                                       p + "/Samples/1", p + "/Samples/2"}));
        // Each click asks; No (the scripted default) opens nothing.
        const auto boxes = h.dialogs.messages();
        QCOMPARE(boxes.size(), size_t(2));
        QCOMPARE(boxes[0].text, kSamplesQuestion);
        QCOMPARE(boxes[0].style, int(vbYesNo));
        QCOMPARE(boxes[0].title, QStringLiteral("Tarnwell"));
        QVERIFY(h.shell.openedFolders.empty());
    }

    void yesOpensTheSamplesFolder() {
        Harness h;
        h.dialogs.answers = {vbYes};
        h.form->PushButton11_Click();
        QCOMPARE(h.shell.openedFolders,
                 std::vector<QString>{h.services.programFolder + "/Samples/"});
        QCOMPARE(h.dialogs.messages().size(), size_t(1));
    }

    void samplesUnderARootProgramFolderKeepTheDoubledSeparator() {
        Harness h(QStringLiteral("/"));
        h.form->PushButton11_Click();
        QCOMPARE(textsOf(h.searchList()), (QStringList{"//Samples/1", "//Samples/2"}));
    }

    void shippedSamplesHoldHiddenAndVisibleFiles() {
        const QString dir = qEnvironmentVariable("TARNWELL_PROGRAM_DIR");
        for (const char* tail : {"/Samples/1", "/Samples/2"}) {
            const QString sample = dir + QLatin1String(tail);
            QVERIFY2(QFileInfo(sample).isDir(), qPrintable(sample));
            const QStringList all = QDir(sample).entryList(QDir::Files | QDir::Dirs | QDir::Hidden |
                                                           QDir::NoDotAndDotDot);
            QVERIFY(all.contains(QStringLiteral(".hidden")));
            QVERIFY(std::any_of(all.begin(), all.end(),
                                [](const QString& n) { return !n.startsWith('.'); }));
        }
    }

    // Removal, driven through the window's own events, for both lists.
    void removal_data() {
        QTest::addColumn<bool>("results");
        QTest::addColumn<QString>("how");
        for (bool results : {false, true}) {
            const char* list = results ? "results" : "search";
            for (const char* how :
                 {"double-click", "Delete", "Shift+Delete", "Ctrl+Delete", "Alt+Delete"})
                QTest::addRow("%s list, %s", list, how) << results << QString::fromLatin1(how);
        }
    }
    void removal() {
        QFETCH(bool, results);
        QFETCH(QString, how);
        Harness h;
        h.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
        ListControl& list = results ? h.results() : h.searchList();
        fillList(list, {"/a", "/b", "/c", "/d", "/e"});
        clickEntry(list, 3);
        QCOMPARE(list.SelectedIndex(), 3);
        if (how == QLatin1String("double-click")) {
            doubleClickEntry(list, 3);
        } else {
            Qt::KeyboardModifiers mods;
            if (how.startsWith(QLatin1String("Shift")))
                mods = Qt::ShiftModifier;
            if (how.startsWith(QLatin1String("Ctrl")))
                mods = Qt::ControlModifier;
            if (how.startsWith(QLatin1String("Alt")))
                mods = Qt::AltModifier;
            list.setFocus();
            QTest::keyClick(&list, Qt::Key_Delete, mods);
        }
        QCOMPARE(textsOf(list), (QStringList{"/a", "/b", "/d", "/e"}));
        QVERIFY(h.dialogs.boxes.empty());
    }

    void nothingIsRemovedWhenItMustNotBe() {
        Harness h;
        h.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
        ListControl& list = h.searchList();
        Window& w = h.form->window();

        // Empty list, and a list with nothing selected.
        removeSelectedEntry(w, list);
        QCOMPARE(list.Count(), 0);
        fillList(list, {"/a", "/b", "/c"});
        removeSelectedEntry(w, list);
        removeSelectedEntryOnKey(w, list, vbKeyDelete);
        QCOMPARE(list.Count(), 3);

        // Other keys, the full stop among them (its Qt code is Delete's number).
        clickEntry(list, 2);
        list.setFocus();
        for (Qt::Key key : {Qt::Key_Period, Qt::Key_Backspace, Qt::Key_Insert, Qt::Key_D})
            QTest::keyClick(&list, key);
        QCOMPARE(list.Count(), 3);

        // Busy: neither a double-click nor Delete removes an entry.
        h.form->pointer().set(MousePointer::Busy);
        doubleClickEntry(list, 2);
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(textsOf(list), (QStringList{"/a", "/b", "/c"}));
        // Once the busy pointer is gone, the same entry goes.
        h.form->pointer().set(MousePointer::Custom);
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(textsOf(list), (QStringList{"/a", "/c"}));
        QVERIFY(h.dialogs.boxes.empty());
    }
};

QTEST_MAIN(SearchListTest)
#include "test_searchlist.moc"
