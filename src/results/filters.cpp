#include "results/filters.h"

#include <QString>
#include <vector>

#include "errors/errortrap.h"
#include "ui/dialogs.h"
#include "ui/listcontrol.h"
#include "ui/pointer.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {

enum class Remove { Containing, NotContaining };

void removeResults(ListControl& list, const QString& filterText, Remove which) {
    // Both sides lowercased (not case-folded); the text once, not per entry.
    const QString needle = filterText.toLower();
    const bool removeWhenFound = which == Remove::Containing;
    std::vector<int> doomed;
    const int n = list.Count();
    for (int i = 1; i <= n; ++i) {
        if (list.Text(i).toLower().contains(needle) == removeWhenFound)
            doomed.push_back(i);
    }
    // One pass: removing a million entries one by one would move the tail
    // of the list once per entry.
    list.RemoveAll(doomed);
}

void askAndRemove(Window& window, ErrorTrap& trap, const QString& prompt, Remove which) {
    Services& platform = window.platform;
    const QString filterText =
        trap.value(1,
                   [&] { return platform.dialogs.inputBox(prompt, platform.appTitle, QString()); })
            .value_or(QString());
    // Nothing typed, or Cancel: everything stays as it is.
    if (filterText.isEmpty())
        return;
    BusyPointer busy(window.pointer, trap, 3, 5);
    trap.run(4, [&] { removeResults(window.ResultsList, filterText, which); });
}

}  // namespace

void removeResultsContaining(ListControl& list, const QString& filterText) {
    removeResults(list, filterText, Remove::Containing);
}

void removeResultsNotContaining(ListControl& list, const QString& filterText) {
    removeResults(list, filterText, Remove::NotContaining);
}

void askAndRemoveResultsContaining(Window& window, ErrorTrap& trap) {
    askAndRemove(window, trap, QStringLiteral("Remove entries containing: "), Remove::Containing);
}

void askAndRemoveResultsNotContaining(Window& window, ErrorTrap& trap) {
    askAndRemove(window, trap, QStringLiteral("Remove entries not containing: "),
                 Remove::NotContaining);
}

}  // namespace tarnwell
