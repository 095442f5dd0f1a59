#include "results/resultactions.h"

#include <QDBusConnection>
#include <QFile>
#include <QMenu>

#include "desktop/clipboard.h"
#include "desktop/filemanager.h"
#include "desktop/shell.h"
#include "fs/hiddenreason.h"
#include "results/fileactions.h"
#include "ui/listcontrol.h"
#include "ui/pointer.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {

QString folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return QFile::decodeName(slash <= 0 ? QByteArray("/") : path.left(slash));
}

// "Unhide" and "Move to Trash" act on every selected entry, and on none
// while a command runs.
void addFileActions(Window& window, QMenu& menu) {
    ListControl& list = window.ResultsList;
    const bool idle = !window.pointer.busy();
    bool unhidable = false;
    for (int index : list.SelectedIndexes())
        if (canUnhide(list.Tag(index))) {
            unhidable = true;
            break;
        }
    menu.addSeparator();
    QAction* unhide = menu.addAction(QStringLiteral("Unhide"), &menu,
                                     [&window] { unhideSelectedResults(window); });
    unhide->setEnabled(idle && unhidable);
    if (!unhidable)
        unhide->setToolTip(QStringLiteral(
            "The name begins with a dot, which is what hides it; files are never renamed."));
    QAction* trash = menu.addAction(QStringLiteral("Move to Trash"), &menu,
                                    [&window] { moveSelectedResultsToTrash(window); });
    trash->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    trash->setEnabled(idle);
    menu.setToolTipsVisible(true);
}

}  // namespace

QString hiddenReasonText(std::uint8_t reason) {
    switch (reason & HiddenReason::KindMask) {
        case HiddenReason::DotName:
            return QStringLiteral("Hidden: name begins with a dot");
        case HiddenReason::HiddenList:
            return QStringLiteral("Hidden: listed in .hidden");
        case HiddenReason::DosAttribute: {
            QString text = reason & HiddenReason::DosSystem
                               ? QStringLiteral("Hidden: Hidden and System attributes set")
                               : QStringLiteral("Hidden: Hidden attribute set");
            if (reason & HiddenReason::DosFromShare)
                text += QStringLiteral(" on the share");
            else if (reason & HiddenReason::DosFromServer)
                text += QStringLiteral(", as this machine's Samba server stores it");
            return text;
        }
        default:
            return QString();
    }
}

void openContainingFolder(Window& window, const QByteArray& path) {
    Shell& shell = window.platform.shell;
    const QString folder = folderOf(path);
    showItemInFileManager(path, QDBusConnection::sessionBus(),
                          [&shell, folder] { shell.openFolder(folder); });
}

void copyResultPath(Window& window, const QByteArray& path) {
    window.platform.clipboard.setText(QFile::decodeName(path));
}

void showResultMenu(Window& window, const QPoint& viewportPos) {
    ListControl& list = window.ResultsList;
    // The Menu key asks at a point that need not be on an entry: it means
    // the current one.
    QModelIndex index = list.indexAt(viewportPos);
    QPoint at = viewportPos;
    if (!index.isValid() && list.currentIndex().isValid()) {
        index = list.currentIndex();
        at = list.visualRect(index).center();
    }
    if (!index.isValid())
        return;
    // The entry may be gone by the time an action is chosen (a running search
    // or a filter can change the list), so the menu keeps its own copy.
    const QByteArray path = list.Bytes(index.row() + 1);
    auto* menu = new QMenu(&list);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Open Containing Folder"), menu,
                    [&window, path] { openContainingFolder(window, path); });
    menu->addAction(QStringLiteral("Copy Path"), menu,
                    [&window, path] { copyResultPath(window, path); });
    addFileActions(window, *menu);
    menu->popup(list.viewport()->mapToGlobal(at));
}

}  // namespace tarnwell
