#include "fs/doscifs.h"

#include <cstring>

#include "fs/dosxattr.h"

namespace tarnwell {

namespace {

std::optional<QByteArray> encode(const DosWord&, std::uint32_t word) {
    return encodeCifsDosAttrib(word);
}

constexpr XattrForm kForms[] = {
    {DosForm::CifsDosAttrib, "user.cifs.dosattrib", decodeCifsDosAttrib, encode},
    {DosForm::Smb3DosAttrib, "user.smb3.dosattrib", decodeCifsDosAttrib, encode},
};

}  // namespace

std::optional<std::uint32_t> decodeCifsDosAttrib(QByteArrayView raw) {
    if (raw.size() != 4)
        return std::nullopt;
    std::uint32_t word;
    std::memcpy(&word, raw.data(), 4);
    return word;
}

QByteArray encodeCifsDosAttrib(std::uint32_t word) {
    if (word == 0)
        word = kAttrNormal;
    return QByteArray(reinterpret_cast<const char*>(&word), 4);
}

const DosSource& cifsSource() {
    static const XattrSource source({"cifs"}, kForms);
    return source;
}

}  // namespace tarnwell
