// The .hidden reader over arbitrary bytes: it must not crash, and what it
// gives back must be what the file says, one name per line. Lines taken out
// of the list are the named ones only.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fs/hiddenlist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView content(reinterpret_cast<const char*>(data), qsizetype(size));
    const tarnwell::HiddenList names = tarnwell::parseHiddenList(content);
    std::string written;
    for (const std::string& name : names) {
        // A name is a whole, non-empty line of the file without its end.
        if (name.empty() || name.find('\n') != std::string::npos ||
            content.indexOf(QByteArrayView(name.data(), qsizetype(name.size()))) < 0)
            __builtin_trap();
        written += name;
        written += "\r\n";
    }
    // Written back one per line with CR LF ends, the list reads the same,
    // names that end in a CR of their own included.
    if (tarnwell::parseHiddenList(QByteArrayView(written.data(), qsizetype(written.size()))) !=
        names)
        __builtin_trap();
    if (tarnwell::withoutHiddenLines(content, [](std::string_view) { return false; }) != content)
        __builtin_trap();
    const QByteArray none = tarnwell::withoutHiddenLines(
        content, [&](std::string_view name) { return names.count(std::string(name)) > 0; });
    if (!tarnwell::parseHiddenList(none).empty())
        __builtin_trap();
    return 0;
}
