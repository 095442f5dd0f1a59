#pragma once

// A folder's ".hidden" list: the names the desktop keeps out of view there.

#include <QByteArray>
#include <QByteArrayView>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace tarnwell {

// The names a folder's ".hidden" file lists: one per line, LF or CR LF line
// ends, empty lines ignored. Names are bytes; nothing is trimmed but the CR.
using HiddenList = std::unordered_set<std::string>;
HiddenList parseHiddenList(QByteArrayView content);

// `content` without the lines whose name, read as parseHiddenList reads it,
// `drop` says yes to. Every other line stays byte for byte with its own line
// end, or none where the last line has none.
QByteArray withoutHiddenLines(QByteArrayView content,
                              const std::function<bool(std::string_view name)>& drop);

// A ".hidden" list larger than this is not a list a person keeps: the search
// reads no further, and it is not rewritten.
inline constexpr std::size_t kHiddenListLimit = 16 * 1024 * 1024;

// Reads and parses the ".hidden" list of an open folder; empty when there is
// none or it cannot be read.
HiddenList readHiddenList(int folderFd);

}  // namespace tarnwell
