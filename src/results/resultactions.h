#pragma once

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <cstdint>

namespace tarnwell {

struct Window;

// A results entry's own menu ("Open Containing Folder", "Copy Path"), opened
// for the entry at a point of the list's viewport. Neither action yields, so
// both are safe while a search runs.
void showResultMenu(Window& window, const QPoint& viewportPos);

// Shows the file selected in the desktop's file manager, or, when no file
// manager answers, opens its folder.
void openContainingFolder(Window& window, const QByteArray& path);
// Puts the one path on the clipboard as text.
void copyResultPath(Window& window, const QByteArray& path);

// Why a file counts as hidden, from the reason its entry recorded; empty
// when none was recorded.
QString hiddenReasonText(std::uint8_t reason);

}  // namespace tarnwell
