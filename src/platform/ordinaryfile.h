#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarnwell {

// DOS attribute bits, where a file system carries them.
inline constexpr unsigned kDosHidden = 2;
inline constexpr unsigned kDosSystem = 4;

// The DOS attribute word that the file system keeps for path, or nothing when
// it keeps none (every native Linux file system). Never fails.
std::optional<unsigned> dosAttributes(const QByteArray& path);

// Whether the name is listed in the .hidden file of the folder, the list that
// desktop file managers honour. Never fails.
bool listedAsHidden(const QByteArray& folder, const QByteArray& name);

// The lookup for an ordinary file that comes with the program: true when
// folder + tail is a regular file that is neither hidden (a dot name anywhere
// in the tail, a .hidden listing, the DOS Hidden attribute) nor a system file
// (the DOS System attribute). Never fails.
bool isOrdinaryFile(const QString& folder, const QString& tail);

}  // namespace tarnwell
