// "Save Results As Text File": the bytes written, and the user's file kept
// whenever the export cannot finish.
#include <sys/stat.h>
#include <QTemporaryDir>
#include <QtTest>

#include "support/fakes.h"
#include "support/results_support.h"
#include "support/trees.h"
#include "ui/listcontrol.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {
QByteArray contentOf(const QString& path) {
    return readFile(QFile::encodeName(path));
}
void save(Harness& h, const QString& path, int answer = vbYes) {
    h.dialogs.saveNames.push_back(path);
    h.dialogs.answers.push_back(answer);
    h.form->PushButton2_Click();
}
}  // namespace

class TextExportTest : public QObject {
    Q_OBJECT
private slots:
    void writesEveryEntryByteForByte() {
        QTemporaryDir dir;
        Harness h;
        h.results().Add(QByteArray("/d/.one"));
        h.results().Add(QByteArray("/d/.caf\xe9"));  // not UTF-8
        h.results().Add(QByteArray("/d/two  "));
        h.results().SetChecked(3, false);  // check marks do not matter here
        save(h, dir.path() + "/results");  // no extension: used as typed
        QCOMPARE(contentOf(dir.path() + "/results"), "/d/.one\r\n/d/.caf\xe9\r\n/d/two  \r\n");
        QCOMPARE(h.yield.count, 3);
        QCOMPARE(h.dialogs.messages().size(), size_t(1));  // a new file: no question
        QCOMPARE(h.dialogs.messages()[0].text, "Done.");
        QCOMPARE(h.form->pointer().value(), 0);
        QCOMPARE(filesUnder(dir.path()), QStringList{"results"});
    }

    void asksBeforeOverwriting() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/kept.txt";
        writeFile(QFile::encodeName(path), "old\n\xff");
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
        Harness h;
        h.results().Add(QByteArray("/n"));
        save(h, path, vbNo);
        QCOMPARE(contentOf(path), "old\n\xff");
        QCOMPARE(h.dialogs.messages().at(0).text,
                 "Are you sure you wish to overwrite " + path + " ?");
        QCOMPARE(h.dialogs.messages().at(0).style, int(vbYesNo));
        save(h, path, vbYes);
        QCOMPARE(contentOf(path), "/n\r\n");
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0640u);  // the replacement keeps the permissions
        h.form->PushButton6_Click();
        save(h, path, vbYes);
        QCOMPARE(contentOf(path), "");  // an empty list: an empty file
        QCOMPARE(h.dialogs.countContaining("Done."), 2);
    }

    // Whatever stops the export: one report, no "Done.", the old file as it
    // was, nothing else left in its folder, the pointer back to default.
    void failuresKeepTheOldFile_data() {
        QTest::addColumn<QString>("failure");
        QTest::newRow("no such folder") << "missing";
        QTest::newRow("full disk") << "full";
        QTest::newRow("entries cleared meanwhile") << "cleared";
    }
    void failuresKeepTheOldFile() {
        QFETCH(QString, failure);
        QTemporaryDir dir;
        SMALL_DISK_OR_SKIP(dir.path(), failure == "full" ? "size=64k" : nullptr);
        QString path = dir.path() + "/old.txt";
        writeFile(QFile::encodeName(path), "old\r\n");
        if (failure == "missing")
            path = dir.path() + "/missing/old.txt";
        Harness h;
        for (int i = 0; i < 1000; ++i)  // some 200 kB, beyond the tiny disk
            h.results().Add(QByteArray(200, 'n') + QByteArray::number(i));
        if (failure == "cleared")
            h.yield.onYield = [&](int n) { n == 3 ? h.form->PushButton6_Click() : void(); };
        save(h, path);
        QCOMPARE(h.dialogs.errorReports("Form1.PushButton2_Click",
                                        failure == "full" ? "No space left on device" : ""),
                 1);
        QCOMPARE(h.dialogs.countContaining("Done."), 0);
        QCOMPARE(contentOf(dir.path() + "/old.txt"), "old\r\n");
        QCOMPARE(filesUnder(dir.path()), QStringList{"old.txt"});
        QCOMPARE(h.form->pointer().value(), 0);
    }
};

QTEST_MAIN(TextExportTest)
#include "test_textexport.moc"
