#pragma once

// The DOS attribute word as a Samba server keeps it on its own disk, in the
// extended attribute "user.DOSATTRIB". The value is NDR-encoded and its
// layout has changed over Samba's versions:
//   - a NUL-terminated ASCII text, "0x22" in versions 1 to 3, empty since;
//   - padding to 2 bytes, a little-endian uint16 version, and a uint16 union
//     level equal to it;
//   - padding to 4 bytes, then the body: version 1 starts with the word;
//     version 2 with flags, then the word; versions 3 to 5 with valid_flags,
//     then the word, which counts only when valid_flags has bit 1.
// A value that ends with its text, or has no NUL, is the oldest form: the
// text alone, in hex. The text's length varies, so the word has no fixed
// offset.

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

namespace tarnwell {

struct SambaDosAttrib {
    std::uint32_t word = 0;
    std::uint16_t version = 0;  // 0 for the text-only form
};

// Nothing for a value that Samba itself would not read a word from, or whose
// text is not plain hex: no word rather than a guess.
std::optional<SambaDosAttrib> decodeSambaDosAttrib(QByteArrayView raw);

// `raw` with its word set to `word`, in the same form and version. Every
// other byte stays; the hex text of the older versions is rewritten in its
// own width and case when the word fits there (it always does for a word
// with bits taken away). Nothing when `raw` does not decode.
std::optional<QByteArray> encodeSambaDosAttrib(QByteArrayView raw, std::uint32_t word);

}  // namespace tarnwell
