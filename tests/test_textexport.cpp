// "Save Results As Text File": the bytes written, and the user's file kept
// safe whenever the export cannot finish.
#include <sys/stat.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/listcontrol.h"
#include "support/fakes.h"
#include "support/results_disk.h"
#include "support/trees.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

QByteArray bytesOf(const QString& path) {
    return readFile(QFile::encodeName(path));
}

int mode(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Saving to `path`, answering the overwrite question with `answer`.
void save(Harness& h, const QString& path, int answer = vbYes) {
    h.dialogs.saveNames.push_back(path);
    h.dialogs.answers.push_back(answer);
    h.form->PushButton2_Click();
}

int reports(const Harness& h) {
    return h.dialogs.countContaining("in Quorrel2021/08/31.Form1.PushButton2_Click at line ");
}

int dones(const Harness& h) {
    return h.dialogs.countContaining("Done.");
}

}  // namespace

class TextExportTest : public QObject {
    Q_OBJECT
private slots:
    void writesEveryEntryByteForByte() {
        QTemporaryDir dir;
        Harness h;
        // A name that is not UTF-8, one ending in spaces, one unchecked:
        // every entry goes out exactly as the file system named it.
        const QByteArray latin1 = "/data/.caf\xe9";
        h.results().Add(QByteArray("/data/.one"));
        h.results().Add(latin1);
        h.results().Add(QByteArray("/data/two  "));
        h.results().SetChecked(3, false);
        const QString path = dir.path() + "/results";  // no extension, used as typed
        save(h, path);

        QCOMPARE(bytesOf(path), QByteArray("/data/.one\r\n/data/.caf\xe9\r\n/data/two  \r\n"));
        QCOMPARE(h.yield.count, 3);
        const SaveFileRequest& request = h.dialogs.saveRequests.at(0);
        QCOMPARE(request.title, QStringLiteral("Save"));
        QCOMPARE(request.filters, QStringList({"Text Files (*.txt)", "All Files (*)"}));
        QCOMPARE(request.fileName, QString());
        // A new file: no question, just "Done.".
        const auto boxes = h.dialogs.messages();
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].text, QStringLiteral("Done."));
        QCOMPARE(boxes[0].style, int(vbOKOnly));
        QCOMPARE(boxes[0].title, h.services.appTitle);
        QCOMPARE(h.form->pointer().value(), int(MousePointer::Default));
        QCOMPARE(filesUnder(dir.path()), QStringList{"results"});  // no temporary left over
    }

    void emptyListGivesAnEmptyFile() {
        QTemporaryDir dir;
        Harness h;
        const QString path = dir.path() + "/empty.txt";
        writeFile(QFile::encodeName(path), "old content\r\n");
        save(h, path, vbYes);
        QCOMPARE(bytesOf(path), QByteArray());
        QCOMPARE(dones(h), 1);
    }

    void cancelWritesNothing() {
        QTemporaryDir dir;
        Harness h;
        h.results().Add(QByteArray("/x/.y"));
        h.form->PushButton2_Click();  // the fake dialog cancels
        QVERIFY(h.dialogs.messages().empty());
        QCOMPARE(filesUnder(dir.path()), QStringList{});
        QCOMPARE(h.form->pointer().value(), int(MousePointer::Default));
    }

    void asksBeforeOverwriting() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/kept.txt";
        const QByteArray old = "first line\nsecond\r\n\xff";
        writeFile(QFile::encodeName(path), old);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);

        Harness h;
        h.results().Add(QByteArray("/n/.new"));
        save(h, path, vbNo);
        QCOMPARE(bytesOf(path), old);
        QCOMPARE(h.dialogs.messages().size(), size_t(1));
        QCOMPARE(h.dialogs.messages()[0].text,
                 QStringLiteral("Are you sure you wish to overwrite ") + path + " ?");
        QCOMPARE(h.dialogs.messages()[0].style, int(vbYesNo));
        QCOMPARE(h.yield.count, 0);

        save(h, path, vbYes);
        QCOMPARE(bytesOf(path), QByteArray("/n/.new\r\n"));
        QCOMPARE(mode(path), 0640);  // the replacement keeps the file's permissions
        QCOMPARE(dones(h), 1);
    }

    void anUnopenableTargetIsReportedOnce() {
        QTemporaryDir dir;
        Harness h;
        for (int i = 0; i < 5; ++i) h.results().Add(QString("/x/.%1").arg(i));
        save(h, dir.path() + "/no such folder/out.txt");
        QCOMPARE(reports(h), 1);
        QCOMPARE(dones(h), 0);
        QCOMPARE(h.form->pointer().value(), int(MousePointer::Default));
        QCOMPARE(h.dialogs.boxes.back().style, int(vbExclamation));
    }

    // A target the program may not write (a read-only mount, or a folder
    // closed to this user): one report, and the old file stays.
    void aReadOnlyTargetKeepsTheOldFile() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/old.txt";
        std::unique_ptr<TinyDisk> disk;
        if (::geteuid() == 0) {
            disk = std::make_unique<TinyDisk>(dir.path(), "size=64k");
            if (!disk->mounted())
                QSKIP(qPrintable(disk->whyNot()));
            writeFile(QFile::encodeName(path), "old\r\n");
            QVERIFY(disk->makeReadOnly());
        } else {
            writeFile(QFile::encodeName(path), "old\r\n");
            QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0555) == 0);
        }
        Harness h;
        h.results().Add(QByteArray("/x/.new"));
        save(h, path);
        QCOMPARE(bytesOf(path), QByteArray("old\r\n"));
        QCOMPARE(reports(h), 1);
        QCOMPARE(dones(h), 0);
        QCOMPARE(h.form->pointer().value(), int(MousePointer::Default));
        ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    }

    void aFullDiskKeepsTheOldFile() {
        QTemporaryDir dir;
        TinyDisk disk(dir.path(), "size=64k");
        if (!disk.mounted())
            QSKIP(qPrintable(disk.whyNot()));
        const QString path = dir.path() + "/old.txt";
        writeFile(QFile::encodeName(path), "old\r\n");
        Harness h;
        const QByteArray longName = "/" + QByteArray(200, 'n');
        for (int i = 0; i < 1000; ++i)  // some 200 kB, three times the disk
            h.results().Add(longName + QByteArray::number(i));
        save(h, path);
        QCOMPARE(bytesOf(path), QByteArray("old\r\n"));
        QCOMPARE(reports(h), 1);
        QCOMPARE(h.dialogs.countContaining("No space left on device"), 1);
        QCOMPARE(dones(h), 0);
        QCOMPARE(filesUnder(dir.path()), QStringList{"old.txt"});
    }

    // Another command empties the list while the export yields.
    void entriesVanishingUnderTheLoop() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/old.txt";
        writeFile(QFile::encodeName(path), "old\r\n");
        Harness h;
        for (int i = 0; i < 5; ++i) h.results().Add(QString("/x/.%1").arg(i));
        h.yield.onYield = [&](int n) {
            if (n == 3)
                h.form->PushButton6_Click();  // "Clear Results"
        };
        save(h, path);
        QCOMPARE(reports(h), 1);
        QVERIFY(h.dialogs.countContaining("Index out of bounds") == 1);
        QCOMPARE(dones(h), 0);
        QCOMPARE(bytesOf(path), QByteArray("old\r\n"));
        QCOMPARE(filesUnder(dir.path()), QStringList{"old.txt"});
        QCOMPARE(h.form->pointer().value(), int(MousePointer::Default));
    }
};

QTEST_MAIN(TextExportTest)
#include "test_textexport.moc"
