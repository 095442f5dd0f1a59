#include "searchlist/folderpicker.h"

#include <QDir>

#include "desktop/settings.h"
#include "errors/errortrap.h"
#include "ui/dialogs.h"
#include "ui/listcontrol.h"
#include "ui/pointer.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {

const QString kPrompt = QStringLiteral("Please select folder:");

// A doubled separator after a drive colon is folded into one; nothing else of
// the chosen path is touched.
QString foldDoubledSeparatorAfterColon(QString path) {
    const QChar sep = QDir::separator();
    return path.replace(QStringLiteral(":") + sep + sep, QStringLiteral(":") + sep);
}

}  // namespace

void addFolderToSearchList(Window& window, ErrorTrap& trap) {
    // Read afresh at every click and never written: the folder the user picks
    // does not become the next start folder.
    const QString startFolder =
        trap.value(2,
                   [&] {
                       return window.platform.settings.GetSetting(
                           QStringLiteral("Kelvane"), QStringLiteral("Tarnwell"),
                           QStringLiteral("LastFolderDot"), QString());
                   })
            .value_or(QString());
    const QString chosen =
        trap.value(3,
                   [&] { return BrowseForFolder(window.platform.dialogs, kPrompt, startFolder); })
            .value_or(QString());
    if (chosen.isEmpty())
        return;
    BusyPointer busy(window.pointer, trap, 5, 8);
    const QString entry = foldDoubledSeparatorAfterColon(chosen);
    trap.run(7, [&] { window.SearchList.Add(entry); });
}

QString BrowseForFolder(Dialogs& owner, const QString& prompt, const QString& startFolder) {
    const QString browseStartPath = startFolder;
    return owner.browseForFolder(prompt, [&](FolderBrowser& dialog, int message) {
        return BrowseCallback(dialog, message, browseStartPath);
    });
}

int BrowseCallback(FolderBrowser& dialog, int message, const QString& startPath) {
    // A start folder that cannot be shown must not keep the user from
    // picking another one.
    try {
        if (message == BFFM_INITIALIZED)
            dialog.setSelection(startPath);
    } catch (...) {
    }
    return 0;
}

}  // namespace tarnwell
