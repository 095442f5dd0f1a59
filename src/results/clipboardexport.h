#pragma once

#include <QString>

namespace tarnwell {

class Clipboard;
class ColumnList;
class ErrorTrap;
class Yield;
struct Window;

// "Copy Results To Clipboard".
void copyResultsToClipboard(Window& window, ErrorTrap& trap);

// The checked entries as column-aligned, tab-separated lines, each ending in
// CR LF: every cell padded with spaces to its column's widest cell (unchecked
// entries included), the padding and TAB after a line's last cell dropped.
// Yields once per entry and per cell. No trap of its own.
QString listText(const ColumnList& list, Yield& yield);

// Puts listText on the clipboard; fails when that cannot be built or the
// clipboard stays busy.
void CopyListToClipboard(const ColumnList& list, Yield& yield, Clipboard& clipboard);

// The clipboard with a bounded retry, for while another program holds it.
// Neither fails towards its caller.
inline constexpr int kClipboardAttempts = 1000;
void ClearClipboard(Clipboard& clipboard);
// Format 0 is the platform's plain text, the only format there is here.
bool SetClipboardText(Clipboard& clipboard, const QString& text, int format = 0);

}  // namespace tarnwell
