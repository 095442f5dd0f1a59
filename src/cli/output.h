#pragma once

#include <string>
#include <string_view>

namespace tarnwell {

// Bytes for one descriptor, written in large pieces: a find costs no system
// call and, once the buffer has grown, no allocation.
class Output {
public:
    // `stream`: 1 for standard output, 2 for standard error.
    Output(int stream, bool toTerminal);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // A name as given, or, on a terminal, with what could command the
    // terminal spelled out.
    void name(std::string_view bytes);
    void text(std::string_view bytes) { buffer_.append(bytes); }
    void byte(char c) { buffer_.push_back(c); }
    // Writes out once enough has gathered.
    void mayWrite() {
        if (buffer_.size() >= kChunk)
            write();
    }
    void write();
    bool toTerminal() const { return toTerminal_; }

private:
    static constexpr std::size_t kChunk = 256 * 1024;
    const int stream_;
    const bool toTerminal_;
    std::string buffer_;
};

// `bytes` as a terminal may show them: printable ASCII and well-formed UTF-8
// of printable characters as they are, a backslash doubled, and every other
// byte (controls, DEL, C1 controls, bytes that are not UTF-8) as \xHH, so
// that a name cannot move the cursor, retitle the window or answer back.
void appendEscaped(std::string& out, std::string_view bytes);

}  // namespace tarnwell
