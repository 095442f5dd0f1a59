#include "fs/sambablob.h"

namespace tarnwell {

namespace {

// Body sizes up to the last fixed field, as Samba reads them: a shorter body
// fails its parse, and it then ignores the value.
qsizetype bodySize(std::uint16_t version) {
    switch (version) {
        case 1:
            return 40;  // attrib, ea_size, size, alloc_size, create_time, change_time
        case 2:
            return 52;  // flags first, and a write_time; a name may follow
        case 3:
            return 44;  // valid_flags first
        case 4:
            return 24;  // valid_flags, attrib, itime, create_time
        case 5:
            return 16;  // valid_flags, attrib, create_time
        default:
            return -1;
    }
}

std::uint32_t loadLe(QByteArrayView raw, qsizetype at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(raw[at + i]);
    return v;
}

qsizetype alignUp(qsizetype at, qsizetype to) {
    return (at + to - 1) / to * to;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The hex text: an optional 0x, then 1 to 8 digits and nothing else.
struct HexText {
    qsizetype digitsAt = 0, digits = 0;
    std::uint32_t value = 0;
    bool upper = false;
};

std::optional<HexText> parseHex(QByteArrayView text) {
    HexText h;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        h.digitsAt = 2;
    h.digits = text.size() - h.digitsAt;
    if (h.digits < 1 || h.digits > 8)
        return std::nullopt;
    for (qsizetype i = h.digitsAt; i < text.size(); ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0)
            return std::nullopt;
        h.upper |= text[i] >= 'A' && text[i] <= 'F';
        h.value = h.value << 4 | std::uint32_t(d);
    }
    return h;
}

int digitsOf(std::uint32_t word) {
    int n = 1;
    while (word >>= 4) ++n;
    return n;
}

void writeHex(char* at, qsizetype width, std::uint32_t word, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (qsizetype i = width - 1; i >= 0; --i, word >>= 4) at[i] = digits[word & 15];
}

// Where the parts of a value lie: its text, and the word's offset in a
// binary value (-1 in the text-only form).
struct Layout {
    qsizetype textLength = 0;
    qsizetype wordAt = -1;
    SambaDosAttrib read;
};

std::optional<Layout> layoutOf(QByteArrayView raw) {
    Layout l;
    const qsizetype nul = raw.indexOf('\0');
    l.textLength = nul < 0 ? raw.size() : nul;
    qsizetype at = nul < 0 ? raw.size() : nul + 1;
    if (at >= raw.size()) {
        const auto hex = parseHex(raw.first(l.textLength));
        if (!hex)
            return std::nullopt;
        l.read.word = hex->value;
        return l;
    }
    at = alignUp(at, 2);
    if (at + 4 > raw.size())
        return std::nullopt;
    const auto version = std::uint16_t(loadLe(raw, at, 2));
    if (loadLe(raw, at + 2, 2) != version || bodySize(version) < 0)
        return std::nullopt;
    at = alignUp(at + 4, 4);
    if (at + bodySize(version) > raw.size())
        return std::nullopt;
    if (version >= 3 && !(loadLe(raw, at, 4) & 1))
        return std::nullopt;  // the value holds no word
    l.wordAt = version == 1 ? at : at + 4;
    l.read = {loadLe(raw, l.wordAt, 4), version};
    return l;
}

}  // namespace

std::optional<SambaDosAttrib> decodeSambaDosAttrib(QByteArrayView raw) {
    const auto l = layoutOf(raw);
    if (!l)
        return std::nullopt;
    return l->read;
}

std::optional<QByteArray> encodeSambaDosAttrib(QByteArrayView raw, std::uint32_t word) {
    const auto l = layoutOf(raw);
    if (!l)
        return std::nullopt;
    QByteArray out = raw.toByteArray();
    const auto hex = parseHex(raw.first(l->textLength));
    if (l->wordAt < 0) {
        // The text is the whole value: it may grow, nothing follows it.
        const qsizetype width = std::max<qsizetype>(hex->digits, digitsOf(word));
        QByteArray text = raw.first(hex->digitsAt).toByteArray() + QByteArray(width, '0');
        writeHex(text.data() + hex->digitsAt, width, word, hex->upper);
        out.replace(0, l->textLength, text);
        return out;
    }
    for (int i = 0; i < 4; ++i) out[l->wordAt + i] = char(word >> (8 * i));
    if (hex && digitsOf(word) <= hex->digits)
        writeHex(out.data() + hex->digitsAt, hex->digits, word, hex->upper);
    return out;
}

}  // namespace tarnwell
