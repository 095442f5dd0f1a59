#pragma once

#include <QString>

namespace tarnwell {

// True when the platform can read the path's date and time: an existing file
// or folder. Never fails and never reports.
bool FileExists(const QString& path);

}  // namespace tarnwell
