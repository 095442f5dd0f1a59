#include "fs/dossambadisk.h"

#include "fs/dosxattr.h"
#include "fs/hiddenreason.h"
#include "fs/sambablob.h"

namespace tarnwell {

namespace {

std::optional<std::uint32_t> decode(QByteArrayView raw) {
    const auto read = decodeSambaDosAttrib(raw);
    return read ? std::optional(read->word) : std::nullopt;
}

// Rewritten in place from the value read: its version and every other
// field stay as the server wrote them.
std::optional<QByteArray> encode(const DosWord& was, std::uint32_t word) {
    return encodeSambaDosAttrib(QByteArrayView(was.raw.data(), qsizetype(was.raw.size())), word);
}

constexpr XattrForm kForms[] = {
    {DosForm::SambaDosAttrib, "user.DOSATTRIB", decode, encode},
};

}  // namespace

const DosSource& sambaDiskSource() {
    static const XattrSource source({"samba-disk", HiddenReason::DosFromServer, true}, kForms);
    return source;
}

}  // namespace tarnwell
