#include "cli/output.h"

#include "cli/relay.h"

namespace tarnwell {

Output::Output(int stream, bool toTerminal) : stream_(stream), toTerminal_(toTerminal) {
    buffer_.reserve(kChunk + 64 * 1024);
}

void Output::name(std::string_view bytes) {
    if (toTerminal_)
        appendEscaped(buffer_, bytes);
    else
        buffer_.append(bytes);
}

void Output::write() {
    if (buffer_.empty())
        return;
    writeStream(stream_, buffer_.data(), buffer_.size());
    buffer_.clear();
}

namespace {

// The length of the well-formed UTF-8 sequence at the start of `s` that
// encodes a character at or above U+00A0, or 0.
std::size_t printableSequence(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = b(0);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4 || s.size() < length)
        return 0;
    char32_t c = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((b(i) & 0xC0) != 0x80)
            return 0;
        c = c << 6 | (b(i) & 0x3F);
    }
    const char32_t least[] = {0, 0, 0xA0, 0x800, 0x10000};
    if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

void appendEscaped(std::string& out, std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F) {
            if (c == '\\')
                out.push_back('\\');
            out.push_back(char(c));
            ++i;
        } else if (const std::size_t n = c >= 0x80 ? printableSequence(bytes.substr(i)) : 0) {
            out.append(bytes.substr(i, n));
            i += n;
        } else {
            out.append({'\\', 'x', kHex[c >> 4], kHex[c & 15]});
            ++i;
        }
    }
}

}  // namespace tarnwell
