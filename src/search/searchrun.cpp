#include "search/searchrun.h"

#include <QFile>
#include <QPushButton>
#include <optional>

#include "errors/errortrap.h"
#include "fs/sambashares.h"
#include "process/yield.h"
#include "search/scan.h"
#include "ui/dialogs.h"
#include "ui/listcontrol.h"
#include "ui/paintpacer.h"
#include "ui/pointer.h"
#include "ui/progressbar.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {
const QString kStopCaption = QStringLiteral("Stop");
}

void startOrStopSearch(Window& window, SearchRunState& state, ErrorTrap& trap) {
    // The caption is the run state: "Stop" exactly while a run is active, so
    // a click on it now is a Stop click.
    if (!trap.test(1, [&] { return window.StartButton.text() != kStopCaption; })) {
        trap.run(11, [&] { window.StartButton.setText(state.savedStartCaption); });
        state.stopRequested = true;
        return;
    }
    if (!trap.test(2, [&] { return window.SearchList.Count() >= 1; })) {
        trap.run(21, [&] { window.pointer.set(MousePointer::Default); });
        trap.run(22, [&] {
            window.platform.dialogs.msgBox(QStringLiteral("No folders added."), vbOKOnly,
                                           window.platform.appTitle);
        });
        state.stopRequested = true;
        return;
    }

    trap.run(31, [&] { state.savedStartCaption = window.StartButton.text(); });
    trap.run(32, [&] { window.StartButton.setText(kStopCaption); });
    state.stopRequested = false;
    BusyPointer busy(window.pointer, trap, 34, 7);
    trap.run(35, [&] { window.ResultsList.Clear(); });
    window.platform.sambaShares->relearnAtNextSearch();
    const int n = trap.value(36, [&] { return window.SearchList.Count(); }).value_or(0);

    // Entries may be removed while the run yields, so nothing is kept of the
    // list across a yield but a copy of the entry's text. While it runs, the
    // window is drawn at a steady pace, not at every yield.
    const bool includeSubfolders = true;
    std::optional<PaintPacer> pacer(std::in_place, window.form, window.platform.yield);
    for (int i = 1; i <= n; ++i) {
        trap.run(41, [&] { window.platform.yield.doEvents(); });
        if (state.stopRequested)
            break;
        const auto path = trap.value(43, [&] { return window.SearchList.Bytes(i); });
        // The list has become shorter than the run: what is left of it has
        // been scanned, and the previous entry must not be scanned again.
        if (!path)
            break;
        const auto m = trap.value(44, [&] { return window.SearchList.Count(); });
        if (m)
            trap.run(45, [&] { window.ProgressBar1.setValue(double(i) / double(*m) * 100.0); });
        trap.run(46, [&] {
            window.ProgressBar1.setText(QStringLiteral("Processing: ") + QFile::decodeName(*path));
        });
        trap.run(47, [&] { window.platform.yield.doEvents(); });
        searchInFiles(window, state.stopRequested, state.readers, *path, includeSubfolders);
    }
    pacer.reset();

    trap.run(5, [&] { window.StartButton.setText(state.savedStartCaption); });
    state.stopRequested = true;
    busy.end();
    trap.run(8, [&] { window.ProgressBar1.setValue(0.0); });
    trap.run(9, [&] { window.ProgressBar1.setText(QStringLiteral("Progress Bar")); });
    trap.run(10, [&] {
        window.platform.dialogs.msgBox(QStringLiteral("Done."), vbOKOnly, window.platform.appTitle);
    });
}

}  // namespace tarnwell
