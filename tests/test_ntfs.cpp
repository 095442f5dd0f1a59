// DOS attributes on a real NTFS volume, mounted with ntfs-3g.

#include "platform/attributes.h"
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
        h.searchList().Add(v);
        h.form->PushButton1_Click();

        QMap<QString, int> found;
        for (int i = 1; i <= h.results().Count(); ++i)
            found.insert(h.results().Text(i), h.results().Tag(i));
        QMap<QString, int> expected{
            {v + "/h6", HiddenReason::DosAttribute | HiddenReason::DosSystem},
            {v + "/r3", HiddenReason::DosAttribute},
            {v + "/.dot", HiddenReason::DotName},
            // Its name settles it; the System bit it carries is not why.
            {v + "/.dot6", HiddenReason::DotName},
            {v + "/arch54/h2", HiddenReason::DosAttribute},
            {v + "/arch54/in/.y", HiddenReason::DotName},
            {v + "/hiddendir/h2", HiddenReason::DosAttribute},
        };
        QCOMPARE(found, expected);
        QCOMPARE(h.results().Count(), expected.size());
        QCOMPARE(h.dialogs.messages().size(), size_t(1));  // "Done." and no failure

        // The one-path question gives the same answers.
        QCOMPARE(int(hiddenTagOf(QFile::encodeName(v + "/h6"))),
                 HiddenReason::DosAttribute | HiddenReason::DosSystem);
        QCOMPARE(int(hiddenTagOf(QFile::encodeName(v + "/.dot6"))), HiddenReason::DotName);
        QCOMPARE(int(hiddenTagOf(QFile::encodeName(v + "/s4"))), 0);
    }
};

QTEST_MAIN(NtfsTest)
#include "test_ntfs.moc"
