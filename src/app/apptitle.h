#pragma once

#include <QString>

namespace tarnwell {

inline const QString kProductName = QStringLiteral("Tarnwell");

// The application title made from a product name: its last word goes, and
// further words while it is longer than 40 characters. A name of one word
// is its own title.
QString applicationTitleFor(const QString& productName);

}  // namespace tarnwell
