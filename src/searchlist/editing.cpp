#include "searchlist/editing.h"

#include "desktop/shell.h"
#include "errors/errortrap.h"
#include "ui/dialogs.h"
#include "ui/keycodes.h"
#include "ui/listcontrol.h"
#include "ui/pointer.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {
const QString kOpenSamplesQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");
}  // namespace

void loadSampleFolders(Window& window, ErrorTrap& trap) {
    const QString& programFolder = window.platform.programFolder;
    // Plain concatenation: the entries read exactly as the program folder is
    // spelt, and neither their existence nor repeats are checked.
    trap.run(2, [&] { window.SearchList.Add(programFolder + QStringLiteral("/Samples/1")); });
    trap.run(3, [&] { window.SearchList.Add(programFolder + QStringLiteral("/Samples/2")); });
    const std::optional<int> answer = trap.value(4, [&] {
        return window.platform.dialogs.msgBox(kOpenSamplesQuestion, vbYesNo,
                                              window.platform.appTitle);
    });
    if (answer != vbYes)
        return;
    // Whether the file manager opened is not looked at: a missing folder is
    // the file manager's to tell.
    trap.run(
        5, [&] { window.platform.shell.openFolder(programFolder + QStringLiteral("/Samples/")); });
}

void removeSelectedEntry(Window& window, ListControl& list) {
    // A running command may be reading the list; the busy pointer is the
    // only record of one.
    if (window.pointer.busy())
        return;
    if (list.Count() == 0)
        return;
    const int selected = list.SelectedIndex();
    if (selected == 0)
        return;
    list.Remove(selected);
}

void removeSelectedEntryOnKey(Window& window, ListControl& list, int keyCode) {
    if (keyCode == vbKeyDelete)
        removeSelectedEntry(window, list);
}

void restorePointerOverList(Window& window) {
    if (!window.pointer.busy())
        window.pointer.set(MousePointer::Default);
}

}  // namespace tarnwell
