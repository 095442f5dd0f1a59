// Windows shares as Linux machines reach them: the disk of this machine's own
// Samba server, where smbd keeps each file's DOS word in user.DOSATTRIB, and
// the same share mounted by the desktop through GIO. A real smbd on
// 127.0.0.1; attributes are set as a Windows client sets them, through
// smbclient.
#include <fcntl.h>
#include <sys/xattr.h>

#include "fs/attributes.h"
#include "fs/descriptor.h"
#include "fs/sambablob.h"
#include "fs/sambashares.h"
#include "fs/unhide.h"
#include "support/fakes.h"
#include "support/shares.h"

using namespace tarnwell;
using namespace tarnwell::test;

namespace {

constexpr int kDos = HiddenReason::DosAttribute, kSys = HiddenReason::DosSystem;

QByteArray storedBlob(const QString& path) {
    char raw[256];
    const ssize_t n = ::getxattr(QFile::encodeName(path), "user.DOSATTRIB", raw, sizeof raw);
    return n < 0 ? QByteArray() : QByteArray(raw, n);
}

}  // namespace

class SharesTest : public QObject {
    Q_OBJECT
    std::unique_ptr<SambaServer> server;
    // The words as set through smbclient, and what a search then finds.
    const QMap<QString, int> expected{{"h", kDos},
                                      {"hs", kDos | kSys},
                                      {"r", kDos},
                                      {".dot", HiddenReason::DotName},
                                      {"hd/in", kDos}};
    // The same, the DOS words marked as read by `source`.
    QMap<QString, int> expectedFrom(int source) const {
        QMap<QString, int> out = expected;
        for (int& tag : out) tag |= (tag & HiddenReason::KindMask) == kDos ? source : 0;
        return out;
    }

private slots:
    void initTestCase() {
        server = std::make_unique<SambaServer>();
        QVERIFY2(server->why().isEmpty(), qPrintable(server->why()));
        qputenv("SMB_CONF_PATH", QFile::encodeName(server->config()));
        makeTree(server->shareFolder(),
                 {"h", "hs", "r", "a", "s", "plain", ".dot", "hd/in", "hd/out"});
        const auto out = server->client(
            "setmode h +h; setmode hs +hs; setmode r +hr; setmode a +a; setmode s +s; "
            "setmode hd +h; setmode hd\\in +h");
        QVERIFY2(out && !out->contains("NT_STATUS"), out.value_or("smbclient failed").constData());
    }
    void cleanupTestCase() { server.reset(); }

    void theStoredWordIsReadWhereverItsTextEnds() {
        // The older versions, with their text, and what Samba would not read
        // a word from. smbd's own, version 5, are read in the tests below.
        const std::pair<QByteArray, std::optional<std::uint32_t>> cases[] = {
            {QByteArray::fromHex("000004000400000011000000120000") + QByteArray(17, 0), 0x12},
            {"0x22" + QByteArray::fromHex("0000030003000000010000002200") + QByteArray(40, 0),
             0x22},
            {"0x2" + QByteArray::fromHex("00010001000200") + QByteArray(38, 0), 0x2},
            {QByteArrayLiteral("0x26\0"), 0x26},
            {"0x6", 0x6},
            {QByteArray::fromHex("0000050005000000110000002200"), {}},  // cut short
            {QByteArray::fromHex("000005000400000011000000220000003bf6e56c2d86dd01"), {}},
            {QByteArray::fromHex("0000ffffffff000011000000220000003bf6e56c2d86dd01"), {}},
            {QByteArray::fromHex("000005000500000010000000220000003bf6e56c2d86dd01"), {}},
            {"0xg2", {}},
            {QByteArray(1, 0), {}},
        };
        for (const auto& [raw, word] : cases) {
            const auto read = decodeSambaDosAttrib(raw);
            QCOMPARE(read ? std::optional(read->word) : std::nullopt, word);
        }
        // Written back, only the word and the text's digits change; a text
        // alone may grow.
        QByteArray v3 = cases[1].first, want = v3;
        want.replace(0, 4, "0x20")[16] = 0x20;
        QCOMPARE(encodeSambaDosAttrib(v3, 0x20).value(), want);
        QCOMPARE(encodeSambaDosAttrib("0x6", 0x26).value(), QByteArray("0x26"));
        QVERIFY(!encodeSambaDosAttrib("0xg2", 0));
    }

    void hiddenOnTheServersDiskAsClientsSetIt() {
        const QMap<QString, int> onDisk = expectedFrom(HiddenReason::DosFromServer);
        Harness h;
        QCOMPARE(h.reasonsBelow(server->shareFolder()), onDisk);
        QCOMPARE(h.dialogs.messages().size(), size_t(1));  // "Done." and no failure
        QCOMPARE(int(hiddenTagOf(QFile::encodeName(server->shareFolder() + "/hs"),
                                 h.services.sambaShares.get())),
                 kDos | kSys | HiddenReason::DosFromServer);

        // From above the share its files are found too, but the same value on
        // a file outside any share is not read.
        const QString above = QFileInfo(server->shareFolder()).path();
        const QByteArray outside = QFile::encodeName(above + "/outside"),
                         blob = storedBlob(server->shareFolder() + "/h");
        writeFile(outside, "x");
        QVERIFY(::setxattr(outside, "user.DOSATTRIB", blob.constData(), blob.size(), 0) == 0);
        Harness h2;
        const QMap<QString, int> found = h2.reasonsBelow(above);
        for (auto it = onDisk.begin(); it != onDisk.end(); ++it)
            QCOMPARE(found.value("share/" + it.key()), it.value());
        QVERIFY(!found.contains("outside"));
    }

    void hiddenOnTheShareTheDesktopMounted() {
        GioSession session(*server);
        QVERIFY2(session.why().isEmpty(), qPrintable(session.why()));
        Harness h;
        QCOMPARE(h.reasonsBelow(session.mountedShare()), expectedFrom(HiddenReason::DosFromShare));
        QCOMPARE(h.dialogs.messages().size(), size_t(1));
    }

    void unhidingOnTheServersDiskShowsThroughSmb() {
        SambaShares shares, unlearned;
        shares.learnIfDue();
        const QByteArray d = QFile::encodeName(server->shareFolder());
        const Descriptor folder(::open(d, O_PATH | O_DIRECTORY | O_CLOEXEC));
        // Each table is its own: one that has not learned serves nothing.
        QCOMPARE(fsKindOfFolder(folder.get(), &unlearned), FsKind::Plain);
        QCOMPARE(fsKindOfFolder(folder.get(), &shares), FsKind::SambaDisk);
        // System goes with Hidden; ReadOnly stays.
        for (const auto& [name, after] : {std::pair("hs", 0u), std::pair("r", 1u)}) {
            const QByteArray before = storedBlob(d + '/' + name);
            const UnhideOutcome done =
                clearHiddenAttribute(folder.get(), name, identityOf(d + '/' + name), &shares);
            QCOMPARE(done.error, 0);
            const std::uint32_t word = unhiddenWord(decodeSambaDosAttrib(before)->word);
            QCOMPARE(storedBlob(d + '/' + name), encodeSambaDosAttrib(before, word).value());
            QCOMPARE(server->attributes(name) & 7u, after);
        }
    }
};

QTEST_MAIN(SharesTest)
#include "test_shares.moc"
