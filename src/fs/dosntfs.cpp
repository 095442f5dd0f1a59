#include "fs/dosntfs.h"

#include "fs/dosxattr.h"

namespace tarnwell {

namespace {

std::optional<QByteArray> encodeBe(const DosWord&, std::uint32_t word) {
    return encodeNtfsAttribBe(word);
}

std::optional<QByteArray> encodeByte(const DosWord&, std::uint32_t word) {
    return encodeDosAttribByte(word);
}

constexpr XattrForm kForms[] = {
    {DosForm::NtfsAttribBe, "system.ntfs_attrib_be", decodeNtfsAttribBe, encodeBe},
    {DosForm::DosAttribByte, "system.dos_attrib", decodeDosAttribByte, encodeByte},
};

}  // namespace

std::optional<std::uint32_t> decodeNtfsAttribBe(QByteArrayView raw) {
    if (raw.size() != 4)
        return std::nullopt;
    const auto* b = reinterpret_cast<const unsigned char*>(raw.data());
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 |
           std::uint32_t(b[3]);
}

QByteArray encodeNtfsAttribBe(std::uint32_t word) {
    const char raw[4] = {char(word >> 24), char(word >> 16), char(word >> 8), char(word)};
    return QByteArray(raw, 4);
}

std::optional<std::uint32_t> decodeDosAttribByte(QByteArrayView raw) {
    if (raw.size() != 1)
        return std::nullopt;
    return std::uint32_t(static_cast<unsigned char>(raw[0]));
}

QByteArray encodeDosAttribByte(std::uint32_t word) {
    return QByteArray(1, char(word));
}

const DosSource& ntfsSource() {
    static const XattrSource source({"ntfs"}, kForms);
    return source;
}

const DosSource& fuseNtfsSource() {
    static const XattrSource source({"ntfs"}, std::span(kForms).first(1));
    return source;
}

}  // namespace tarnwell
