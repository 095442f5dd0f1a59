// Samba's user.DOSATTRIB blob over arbitrary bytes: whatever decodes can be
// given any word back, which then decodes to that word in the same version,
// with the value's length kept where anything follows the text, and nothing
// changed but the word and the text's digits.
#include <cstddef>
#include <cstdint>

#include "fs/sambablob.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView raw(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto read = tarnwell::decodeSambaDosAttrib(raw);
    for (const std::uint32_t word : {0u, 0x20u, 0xffffffffu, std::uint32_t(size * 2654435761u)}) {
        const auto written = tarnwell::encodeSambaDosAttrib(raw, word);
        if (written.has_value() != read.has_value())
            __builtin_trap();
        if (!written)
            continue;
        const auto again = tarnwell::decodeSambaDosAttrib(*written);
        if (!again || again->word != word || again->version != read->version)
            __builtin_trap();
        if (read->version == 0)
            continue;  // the text alone: it may grow
        if (written->size() != raw.size())
            __builtin_trap();
        // After the text only the word's four bytes may change; in the text
        // only its hex digits.
        const qsizetype text = raw.indexOf('\0');
        qsizetype first = -1, last = -1;
        for (qsizetype i = text; i < raw.size(); ++i)
            if ((*written)[i] != raw[i])
                last = i, first = first < 0 ? i : first;
        if (first >= 0 && last - first >= 4)
            __builtin_trap();
        for (qsizetype i = 0; i < text; ++i) {
            const char c = raw[i];
            const bool hex =
                (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
            if ((*written)[i] != c && !hex)
                __builtin_trap();
        }
    }
    return 0;
}
