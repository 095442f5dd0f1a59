// Acting on found files. Moving them to the trash: what lands there can be
// put back where it was, byte for byte; whatever cannot go, or is no longer
// what was found, stays where it is and leaves nothing in the trash.
// Unhiding files listed in a folder's ".hidden": the list loses exactly their
// lines, keeps every other byte, its owner and its mode, and the lines of
// files that are not the ones found.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <optional>

#include "platform/descriptor.h"
#include "platform/trash.h"
#include "platform/unhide.h"
#include "support/results_support.h"
#include "support/search_trees.h"
#include "support/trees.h"

using namespace tarnwell;
using namespace tarnwell::test;

class FileActionsTest : public QObject {
    Q_OBJECT
    std::optional<QTemporaryDir> dir;
    QByteArray root, home;  // where the files are; the home trash, on their mount

    static int trash(const QByteArray& p) { return TrashCan().moveToTrash(p, identityOf(p)); }
    static constexpr auto kAll = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
    QStringList names(const QByteArray& f) { return QDir(QFile::decodeName(f)).entryList(kAll); }

    // The .trashinfo for `name`, its date replaced by "D" when it is now.
    static QByteArray infoOf(const QByteArray& trash, const QByteArray& name) {
        QByteArray t = readFile(trash + "/info/" + name + ".trashinfo");
        const qsizetype at = t.indexOf("DeletionDate=") + 13;
        const auto when = QDateTime::fromString(QString::fromLatin1(t.mid(at, 19)), Qt::ISODate);
        return qAbs(when.secsTo(QDateTime::currentDateTime())) < 60 ? t.replace(at, 19, "D") : t;
    }

private slots:
    void initTestCase() { QVERIFY(readAsAnOrdinaryUser()); }
    void init() {
        dir.emplace();
        root = QFile::encodeName(dir->path());
        home = root + "/data/Trash";
        qputenv("XDG_DATA_HOME", root + "/data");
        qputenv("TZ", "XYZ-5:30");  // a date in UTC is then wrong
    }
    void cleanup() { removeTree(dir->path()); }  // names that are not UTF-8, locked folders

    void trashedFilesCanBeRestored() {
        makeTree(dir->path(), {"a b/.x%y", "a b/.d/in", "c/.x%y"});
        // Not UTF-8, and too long for a name with ".trashinfo".
        const QByteArray l(199, 'l'), odd = "/." + l + QByteArray("\xc3\xa9").repeated(27) + '\xff';
        writeFile(root + odd, "x");
        QVERIFY(::symlink("c", root + "/.ln") == 0);
        for (const char* p : {"/a b/.x%y", "/c/.x%y", "/a b/.d", "/.ln", odd.data()})
            QCOMPARE(trash(root + p), 0);
        QCOMPARE(names(root), (QStringList{"a b", "c", "data"}));
        const QByteArray head = "[Trash Info]\nPath=" + root, tail = "\nDeletionDate=D\n";
        QCOMPARE(infoOf(home, ".x%y"), head + "/a%20b/.x%25y" + tail);
        QCOMPARE(infoOf(home, ".x%y.2"), head + "/c/.x%25y" + tail);
        QCOMPARE(readFile(home + "/files/.d/in"), "x");
        // Cut between characters, never within one.
        QCOMPARE(infoOf(home, odd.mid(1, 244)),
                 head + "/." + l + QByteArray("%C3%A9").repeated(27) + "%FF" + tail);
    }

    void aFileThatCannotGoStays() {
        makeTree(dir->path(), {".gone", ".swapped", "other", "locked/.f"});
        const FileIdentity gone = identityOf(root + "/.gone");
        const FileIdentity swapped = identityOf(root + "/.swapped");
        QVERIFY(::unlink(root + "/.gone") == 0 && ::chmod(root + "/locked", 0555) == 0 &&
                ::rename(root + "/other", root + "/.swapped") == 0);
        QCOMPARE(TrashCan().moveToTrash(root + "/.gone", gone), ENOENT);
        QCOMPARE(TrashCan().moveToTrash(root + "/.swapped", swapped), kChangedSinceFound);
        QCOMPARE(trash(root + "/locked/.f"), EACCES);
        QCOMPARE(names(root) + names(root + "/locked"),
                 (QStringList{".swapped", "data", "locked", ".f"}));
        QCOMPARE(names(home + "/files") + names(home + "/info"), QStringList());
    }

    // The trash at the top of the file's own mount, and never one that
    // another user could have planted or can empty.
    void anotherMountHasItsOwnTrash() {
        const QByteArray top = root + "/mnt", uid = QByteArray::number(::geteuid());
        QVERIFY(::mkdir(top, 0700) == 0);
        SMALL_DISK_OR_SKIP(QFile::decodeName(top), "size=1m");
        // .Trash lacks the sticky bit, .Trash-uid is a link: the file stays.
        makeTree(QFile::decodeName(top), {"d/.a", "d/.b", ".Trash/"});
        QVERIFY(::symlink(root, top + "/.Trash-" + uid) == 0);
        QCOMPARE(trash(top + "/d/.a"), ENOTDIR);
        QVERIFY(::unlink(top + "/.Trash-" + uid) == 0);
        QCOMPARE(trash(top + "/d/.a"), 0);
        QCOMPARE(infoOf(top + "/.Trash-" + uid, ".a"), "[Trash Info]\nPath=d/.a\nDeletionDate=D\n");
        QVERIFY(::chmod(top + "/.Trash", 01777) == 0);
        QCOMPARE(trash(top + "/d/.b"), 0);
        QCOMPARE(readFile(top + "/.Trash/" + uid + "/files/.b"), "x");
    }

    void hiddenListLosesTheLinesOfItsNamesOnly() {
        const QByteArray list = root + "/.hidden";
        for (const char* name : {"a", "b", "caf\xe9", "swapped", "unlisted", "keep", "last", "new"})
            writeFile(root + '/' + name, "x");
        // CR LF and LF ends, "a" twice, a name that is not UTF-8, and a last
        // line without an end.
        writeFile(list, "keep\r\na\nb\r\ncaf\xe9\nswapped\r\ngone\na\r\nlast");
        // Another's list, with a mode of its own that root, reading as anyone,
        // may still read.
        if (::geteuid() == 0)
            QVERIFY(::chown(list, 65534, 65534) == 0);
        struct stat before, after;
        QVERIFY(::chmod(list, 0604) == 0 && ::stat(list, &before) == 0);
        const auto found = [&](const char* name) {
            return FoundName{name, identityOf(root + '/' + name)};
        };
        const std::vector<FoundName> names = {found("a"),       found("b"),   found("caf\xe9"),
                                              found("swapped"), {"gone", {}}, found("unlisted")};
        QVERIFY(::rename(root + "/new", root + "/swapped") == 0);  // another file under its name
        const Descriptor folder(::open(root, O_PATH | O_DIRECTORY | O_CLOEXEC));
        // Each name's error, or "already" when it was not listed.
        const auto outcomesOf = [&](const std::vector<FoundName>& names) {
            QStringList out;
            for (const UnhideOutcome& o : removeFromHiddenList(folder.get(), names))
                out << (o.alreadyUnhidden ? QString("already") : QString::number(o.error));
            return out;
        };
        QCOMPARE(outcomesOf(names), QStringList({"0", "0", "0", QString::number(kChangedSinceFound),
                                                 QString::number(ENOENT), "already"}));
        QCOMPARE(readFile(list), "keep\r\nswapped\r\ngone\nlast");

        // The rest, the last line without an end among them: the list stays,
        // empty, as its owner had it, and nothing is left beside it.
        writeFile(root + "/gone", "x");
        QCOMPARE(outcomesOf({found("keep"), found("swapped"), found("gone"), found("last")}),
                 QStringList(4, "0"));
        QCOMPARE(readFile(list), "");
        QVERIFY(::stat(list, &after) == 0);
        QCOMPARE(std::tuple(after.st_uid, after.st_gid, after.st_mode),
                 std::tuple(before.st_uid, before.st_gid, before.st_mode));
        QVERIFY(QDir(dir->path()).entryList({".hidden?*"}, QDir::Files | QDir::Hidden).isEmpty());
    }
};

QTEST_MAIN(FileActionsTest)
#include "test_fileactions.moc"
