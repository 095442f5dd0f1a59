#pragma once

#include <QCursor>
#include <QString>

namespace tarnwell {

// Loads a Windows cursor file (.cur) with its hot spot; fails with "Invalid
// picture" when the file is not one.
QCursor loadCursorFile(const QString& path);

}  // namespace tarnwell
