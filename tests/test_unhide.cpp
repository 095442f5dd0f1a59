// Unhiding files listed in a folder's ".hidden": the list loses exactly their
// lines, keeps every other byte, its owner and its mode, and the lines of
// files that are not the ones found.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/descriptor.h"
#include "platform/unhide.h"
#include "support/search_trees.h"
#include "support/trees.h"

using namespace tarnwell;
using namespace tarnwell::test;

class UnhideTest : public QObject {
    Q_OBJECT
private slots:
    void hiddenListLosesTheLinesOfItsNamesOnly() {
        QTemporaryDir dir;
        const QByteArray d = QFile::encodeName(dir.path()), list = d + "/.hidden";
        for (const char* name : {"a", "b", "caf\xe9", "swapped", "unlisted", "keep", "last", "new"})
            writeFile(d + '/' + name, "x");
        // CR LF and LF ends, "a" twice, a name that is not UTF-8, and a last
        // line without an end.
        writeFile(list, "keep\r\na\nb\r\ncaf\xe9\nswapped\r\ngone\na\r\nlast");
        if (::geteuid() == 0)
            QVERIFY(::chown(list, 65534, 65534) == 0);
        struct stat before, after;
        QVERIFY(::chmod(list, 0640) == 0 && ::stat(list, &before) == 0);
        const auto found = [&](const char* name) {
            return FoundName{name, identityOf(d + '/' + name)};
        };
        const std::vector<FoundName> names = {found("a"),       found("b"),   found("caf\xe9"),
                                              found("swapped"), {"gone", {}}, found("unlisted")};
        QVERIFY(::rename(d + "/new", d + "/swapped") == 0);  // another file under its name
        const Descriptor folder(::open(d, O_PATH | O_DIRECTORY | O_CLOEXEC));
        const auto outcomesOf = [&](const std::vector<FoundName>& names) {
            std::vector<std::pair<int, bool>> out;
            for (const UnhideOutcome& o : removeFromHiddenList(folder.get(), names))
                out.emplace_back(o.error, o.alreadyUnhidden);
            return out;
        };
        QCOMPARE(outcomesOf(names), (std::vector<std::pair<int, bool>>{{0, false},
                                                                       {0, false},
                                                                       {0, false},
                                                                       {kChangedSinceFound, false},
                                                                       {ENOENT, false},
                                                                       {0, true}}));
        QCOMPARE(readFile(list), "keep\r\nswapped\r\ngone\nlast");

        // The rest, the last line without an end among them: the list stays,
        // empty, as its owner had it, and nothing is left beside it.
        writeFile(d + "/gone", "x");
        QCOMPARE(outcomesOf({found("keep"), found("swapped"), found("gone"), found("last")}),
                 (std::vector<std::pair<int, bool>>(4, {0, false})));
        QCOMPARE(readFile(list), "");
        QVERIFY(::stat(list, &after) == 0);
        QCOMPARE(std::tuple(after.st_uid, after.st_gid, after.st_mode),
                 std::tuple(before.st_uid, before.st_gid, before.st_mode));
        QVERIFY(QDir(dir.path()).entryList({".hidden?*"}, QDir::Files | QDir::Hidden).isEmpty());
        removeTree(dir.path());  // QTemporaryDir cannot remove names that are not UTF-8
    }
};

QTEST_MAIN(UnhideTest)
#include "test_unhide.moc"
