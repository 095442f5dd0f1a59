#include "results/spreadsheetexport.h"

#include <memory>

#include "errors/errortrap.h"
#include "errors/failure.h"
#include "process/yield.h"
#include "results/columnlist.h"
#include "results/spreadsheet.h"
#include "ui/dialogs.h"
#include "ui/pointer.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {

const QString kNotInstalledCheck = QStringLiteral(
    "Excel is not installed on this computer. You need to have it installed to use this "
    "software without error.");
const QString kNotInstalledCommand = QStringLiteral(
    "Excel is not installed on this computer. You need to have it installed to use this "
    "feature.");

}  // namespace

bool ExcelInstalled(Window& window) {
    Services& platform = window.platform;
    // A session started only to see that one can be, and let go at once.
    bool present = false;
    try {
        present = platform.spreadsheet && platform.spreadsheet->createApplication() != nullptr;
    } catch (...) {
        present = false;
    }
    if (present)
        return true;
    // A box that cannot be shown is let go: the command that asked follows with its own.
    try {
        platform.dialogs.msgBox(kNotInstalledCheck, vbOKOnly, platform.appTitle);
    } catch (...) {
    }
    return false;
}

void fillWorkbook(Window& window, ErrorTrap& trap, const ColumnList& list) {
    Yield& yield = window.platform.yield;
    SpreadsheetHost* host = window.platform.spreadsheet;
    // Everything after works on this session; after a failure there is
    // nothing for them to do, and one report says all there is to say.
    auto created = trap.value(4, [&] {
        if (!host)
            throw Failure(QStringLiteral("No spreadsheet application is installed"));
        return host->createApplication();
    });
    if (!created || !*created)
        return;
    SpreadsheetApp& app = **created;
    if (!trap.run(5, [&] { app.addWorkbook(); }) || !trap.run(6, [&] { app.makeVisible(); }))
        return;
    // Set while the workbook, not the list, is being asked. A failure there
    // leaves a workbook not worth showing; one in reading the list (entries
    // removed under the export) only ends the filling early, and what was
    // written is still finished and shown.
    bool inWorkbook = false;
    bool stopped = false;
    // The header row holds the column captions.
    int nextColumn = 1;
    const int columns = list.ColumnCount();
    for (int c = 1; c <= columns && !stopped; ++c) {
        yield.doEvents();
        stopped = !trap.run(7, [&] {
            const QString caption = list.ColumnText(c);
            inWorkbook = true;
            app.setCell(1, nextColumn, caption);
            ++nextColumn;
            app.fitColumn(c);
            inWorkbook = false;
        });
    }
    // Entry r always belongs to row r + 1, so an unchecked one leaves its row
    // empty rather than pulling the later entries up.
    int nextRow = 2;
    const int n = list.Count();
    for (int r = 1; r <= n && !stopped; ++r) {
        yield.doEvents();
        stopped = !trap.run(9, [&] {
            if (!list.Checked(r))
                return;
            nextColumn = 1;
            for (int c = 1; c <= list.ColumnCount(); ++c) {
                yield.doEvents();
                QString text = list.Cell(r, c);
                if (c > 1)
                    text.remove(QLatin1Char('='));
                inWorkbook = true;
                app.setCell(nextRow, nextColumn, text);
                inWorkbook = false;
                ++nextColumn;
            }
        });
        ++nextRow;
    }
    if (inWorkbook)
        return;
    // Shown to the user only once fitted and complete.
    if (trap.run(11, [&] { app.fitAllColumns(); }))
        trap.run(11, [&] { app.finish(); });
}

void saveResultsAsWorkbook(Window& window, ErrorTrap& trap) {
    Services& platform = window.platform;
    if (!ExcelInstalled(window)) {
        trap.run(
            1, [&] { platform.dialogs.msgBox(kNotInstalledCommand, vbOKOnly, platform.appTitle); });
        return;
    }
    BusyPointer busy(window.pointer, trap, 2, 12);
    // An empty list opens no workbook at all.
    const ListControlColumns results(window.ResultsList);
    if (results.Count() > 0)
        fillWorkbook(window, trap, results);
}

}  // namespace tarnwell
