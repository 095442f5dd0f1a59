#include "results/clipboardexport.h"

#include <algorithm>
#include <vector>

#include "desktop/clipboard.h"
#include "errors/errortrap.h"
#include "errors/failure.h"
#include "process/yield.h"
#include "results/columnlist.h"
#include "ui/dialogs.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {

// Each clipboard call may throw as well as return false; both are a busy
// clipboard to the retry.
template <typename F>
bool attempt(F&& call) {
    try {
        return call();
    } catch (...) {
        return false;
    }
}

}  // namespace

QString listText(const ColumnList& list, Yield& yield) {
    QString text;
    if (list.Count() <= 0)
        return text;

    // The widest cell of each column, over every entry, checked or not.
    std::vector<qsizetype> widths;
    qsizetype cellsLength = 0;
    const int columns = list.ColumnCount();
    for (int c = 1; c <= columns; ++c) {
        qsizetype widest = 0;
        for (int r = 1; r <= list.Count(); ++r) {
            yield.doEvents();
            const qsizetype length = list.Cell(r, c).size();
            widest = std::max(widest, length);
            cellsLength += length;
        }
        widths.push_back(widest);
    }
    // Room for every line at once: growing a text of a million lines step by
    // step would copy it over and over.
    qsizetype padding = 0;
    for (size_t c = 0; c + 1 < widths.size(); ++c) padding += widths[c] + 1;
    text.reserve(cellsLength + (padding + 2) * qsizetype(list.Count()));

    const int n = list.Count();
    for (int r = 1; r <= n; ++r) {
        yield.doEvents();
        if (!list.Checked(r))
            continue;
        const int cells = list.ColumnCount();
        for (int c = 1; c <= cells; ++c) {
            yield.doEvents();
            const QString cell = list.Cell(r, c);
            text += cell;
            // The last cell's padding and TAB would only be trimmed off again.
            if (c == cells)
                break;
            // A cell that grew during a yield no longer fits its column and
            // goes unpadded. A column added since the widths pass has none.
            const qsizetype width = size_t(c) <= widths.size() ? widths[size_t(c - 1)] : 0;
            if (width > cell.size())
                text.append(QString(width - cell.size(), QLatin1Char(' ')));
            text += QLatin1Char('\t');
        }
        // Everything before this line ends in LF, so only this line's
        // trailing spaces go.
        qsizetype end = text.size();
        while (end > 0 && text.at(end - 1) == QLatin1Char(' ')) --end;
        text.truncate(end);
        text += QLatin1String("\r\n");
    }
    return text;
}

void CopyListToClipboard(const ColumnList& list, Yield& yield, Clipboard& clipboard) {
    // Built in full first: a failure while building leaves the clipboard as
    // it was. An empty list gives the empty text, so the clipboard never
    // holds something unrelated under the success message.
    const QString text = listText(list, yield);
    ClearClipboard(clipboard);
    if (!SetClipboardText(clipboard, text, 0))
        throw Failure(QStringLiteral("The clipboard is in use by another program"));
}

void ClearClipboard(Clipboard& clipboard) {
    for (int attempts = 1; attempts <= kClipboardAttempts; ++attempts) {
        if (attempt([&] { return clipboard.clear(); }))
            return;
    }
}

bool SetClipboardText(Clipboard& clipboard, const QString& text, int /*format*/) {
    for (int attempts = 1; attempts <= kClipboardAttempts; ++attempts) {
        if (attempt([&] { return clipboard.setText(text); }))
            return true;
    }
    return false;
}

void copyResultsToClipboard(Window& window, ErrorTrap& trap) {
    Services& platform = window.platform;
    // A failure has been reported; a success message after it would
    // contradict the report.
    const ListControlColumns results(window.ResultsList);
    if (!trap.run(1, [&] { CopyListToClipboard(results, platform.yield, platform.clipboard); }))
        return;
    // Two bare CRs between the sentences, as the box has always shown them.
    trap.run(2, [&] {
        platform.dialogs.msgBox(
            QStringLiteral("Results have been copied to the clipboard.\r\rClick a text area where "
                           "you normally type and press Ctrl+V to paste the clipboard."),
            vbOKOnly, platform.appTitle);
    });
}

}  // namespace tarnwell
