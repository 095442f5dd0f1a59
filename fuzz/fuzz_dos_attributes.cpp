// The three decoders of raw DOS attribute values over arbitrary bytes: a
// word only from a value of the exact size, and then the value's own bits.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fs/doscifs.h"
#include "fs/dosntfs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView raw(reinterpret_cast<const char*>(data), qsizetype(size));

    const auto ntfs = tarnwell::decodeNtfsAttribBe(raw);
    if (ntfs.has_value() != (size == 4))
        __builtin_trap();
    if (ntfs && *ntfs != (std::uint32_t(data[0]) << 24 | std::uint32_t(data[1]) << 16 |
                          std::uint32_t(data[2]) << 8 | std::uint32_t(data[3])))
        __builtin_trap();

    const auto byte = tarnwell::decodeDosAttribByte(raw);
    if (byte.has_value() != (size == 1) || (byte && *byte != data[0]))
        __builtin_trap();

    const auto cifs = tarnwell::decodeCifsDosAttrib(raw);
    if (cifs.has_value() != (size == 4))
        __builtin_trap();
    if (cifs) {
        std::uint32_t native;
        std::memcpy(&native, data, 4);
        if (*cifs != native)
            __builtin_trap();
    }
    return 0;
}
