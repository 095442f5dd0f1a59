#pragma once

#include <QString>

namespace tarnwell {

// The lookup for an ordinary file that comes with the program: true when
// folder + tail is a regular file that is neither hidden (a dot name anywhere
// in the tail, or hidden by the rules the search applies) nor a system file
// (the DOS System attribute). Never fails.
bool isOrdinaryFile(const QString& folder, const QString& tail);

}  // namespace tarnwell
