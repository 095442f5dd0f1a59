// A file system's kind decides what is hidden: DOS attributes on a real NTFS
// volume, mounted with ntfs-3g, and mounts told apart by the mount table.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include "fs/attributes.h"
#include "fs/descriptor.h"
#include "fs/doscifs.h"
#include "fs/dosntfs.h"
#include "fs/unhide.h"
#include "support/fakes.h"
#include "support/search_trees.h"

using namespace tarnwell;
using namespace tarnwell::test;

class NtfsTest : public QObject {
    Q_OBJECT
private slots:
    void dosAttributesDecideOnNtfs() {
        NtfsVolume volume;
        if (volume.mountPoint().isEmpty())
            QSKIP(qPrintable(volume.why()));
        const QString v = volume.mountPoint();
        makeTree(
            v, {"h6", "s4", "r3", "plain", ".dot", ".dot6", "sys22/h6", "sys22/.dot", "sys22/in/.x",
                "arch54/h2", "arch54/in/.y", "hiddendir/plain", "hiddendir/h2"});
        // The root of the volume, marked Hidden + System and nothing else,
        // is searched all the same.
        const std::pair<const char*, unsigned> words[] = {
            {"/h6", 0x6},         {"/s4", 0x4},           {"/r3", 0x3},        {"/.dot6", 0x6},
            {"/sys22/h6", 0x6},   {"/sys22", 0x16},       {"/arch54/h2", 0x2}, {"/arch54", 0x36},
            {"/hiddendir", 0x12}, {"/hiddendir/h2", 0x2}, {"", 0x16}};
        for (const auto& [path, word] : words) QVERIFY(volume.setAttributes(v + path, word));

        Harness h;
        const QMap<QString, int> found = h.reasonsBelow(v);
        QMap<QString, int> expected{
            {"h6", HiddenReason::DosAttribute | HiddenReason::DosSystem},
            {"r3", HiddenReason::DosAttribute},
            {".dot", HiddenReason::DotName},
            // Its name settles it; the System bit it carries is not why.
            {".dot6", HiddenReason::DotName},
            {"arch54/h2", HiddenReason::DosAttribute},
            {"arch54/in/.y", HiddenReason::DotName},
            {"hiddendir/h2", HiddenReason::DosAttribute},
        };
        QCOMPARE(found, expected);
        QCOMPARE(h.results().Count(), expected.size());
        QCOMPARE(h.dialogs.messages().size(), size_t(1));  // "Done." and no failure

        // The one-path question gives the same answers.
        expected.insert("s4", 0);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(int(hiddenTagOf(QFile::encodeName(v + '/' + it.key()), nullptr)), it.value());
    }

    void unhidingClearsHiddenAndKeepsTheRest() {
        // Archive and ReadOnly survive; System goes only with Hidden.
        const std::tuple<const char*, unsigned, unsigned> words[] = {
            {"h6", 0x6, 0x0},    {"r3", 0x3, 0x1},    {"a22", 0x22, 0x20},
            {"a26", 0x26, 0x20}, {"a27", 0x27, 0x21}, {"s4", 0x4, 0x4}};
        for (const auto& [name, before, after] : words) QCOMPARE(unhiddenWord(before), after);
        // The forms that cannot be mounted here, against their readers.
        QCOMPARE(decodeCifsDosAttrib(encodeCifsDosAttrib(0x2027)).value_or(~0u), 0x2027u);
        QCOMPARE(decodeCifsDosAttrib(encodeCifsDosAttrib(0)).value_or(~0u), kAttrNormal);
        QCOMPARE(decodeDosAttribByte(encodeDosAttribByte(0x27)).value_or(~0u), 0x27u);

        NtfsVolume volume;
        if (volume.mountPoint().isEmpty())
            QSKIP(qPrintable(volume.why()));
        const QString v = volume.mountPoint();
        // More than a byte each: ntfs-3g shows a System file of 0 or 1 bytes
        // as a FIFO or a socket.
        for (const auto& [name, before, after] : words)
            writeFile(QFile::encodeName(v + '/' + name), "data");
        const Descriptor folder(::open(QFile::encodeName(v), O_PATH | O_DIRECTORY | O_CLOEXEC));
        const auto identity = [&](const char* name) {
            return identityOf(QFile::encodeName(v + '/' + name));
        };
        for (const auto& [name, before, after] : words) {
            QVERIFY(volume.setAttributes(v + '/' + name, before));
            QCOMPARE(currentDosAttributes(folder.get(), name, identity(name), nullptr).word,
                     before);
            const UnhideOutcome done =
                clearHiddenAttribute(folder.get(), name, identity(name), nullptr);
            QCOMPARE(std::pair(done.error, done.alreadyUnhidden), std::pair(0, before == after));
            // Read back as the search reads it; ntfs-3g calls a word of no bits Normal.
            const auto read = dosAttributesOf(fsKindOf(folder.get()), folder.get(), name);
            QCOMPARE(read.value_or(~0u) & ~kAttrNormal, after);
        }
        // A name that leads to another file than the one found is left alone.
        QVERIFY(volume.setAttributes(v + "/h6", 0x6));
        QCOMPARE(clearHiddenAttribute(folder.get(), "h6", identity("r3"), nullptr).error,
                 kChangedSinceFound);
        QCOMPARE(NtfsVolume::attributes(v + "/h6"), 0x6u);
        QCOMPARE(clearHiddenAttribute(folder.get(), "gone", {}, nullptr).error, ENOENT);
    }

    // Linux gives a gone mount's id to the next mount: what the first was
    // must not stick to the second. A devtmpfs is never searched; the tmpfs
    // that takes its id is.
    void aMountIdGivenAgainGetsItsOwnKind() {
        if (::geteuid() != 0)
            QSKIP("mounting needs root");
        QTemporaryDir dir;
        const QByteArray at = QFile::encodeName(dir.path());
        const auto mountId = [&] {
            struct statx sx;
            return ::statx(AT_FDCWD, at.constData(), 0, STATX_MNT_ID, &sx) == 0 ? sx.stx_mnt_id : 0;
        };
        QCOMPARE(::mount("none", at.constData(), "devtmpfs", 0, nullptr), 0);
        const auto devtmpfs = mountId();
        QCOMPARE(Harness().search({dir.path()}), QStringList());
        QCOMPARE(::umount(at.constData()), 0);
        QCOMPARE(::mount("none", at.constData(), "tmpfs", 0, nullptr), 0);
        const auto unmount = qScopeGuard([&] { ::umount2(at.constData(), MNT_DETACH); });
        if (mountId() != devtmpfs)
            QSKIP("the kernel gave the tmpfs another mount id");
        makeTree(dir.path(), {".dot"});
        QCOMPARE(Harness().search({dir.path()}), QStringList{dir.path() + "/.dot"});
    }
};

QTEST_MAIN(NtfsTest)
#include "test_ntfs.moc"
