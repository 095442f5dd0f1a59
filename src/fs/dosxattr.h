#pragma once

// The sources that keep the DOS word in an extended attribute: each names
// its attributes, in the order they are asked, with how a value is read and
// made again.

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "fs/dossource.h"

namespace tarnwell {

struct XattrForm {
    DosForm form;
    const char* name;
    // Nothing for a value that holds no word.
    std::optional<std::uint32_t> (*decode)(QByteArrayView raw);
    // The value that gives the file `word`, made from the one read.
    std::optional<QByteArray> (*encode)(const DosWord& was, std::uint32_t word);
};

class XattrSource final : public DosSource {
public:
    struct Traits {
        const char* name;
        std::uint8_t origin = 0;
        bool filesWithoutFolderWord = false;
    };
    XattrSource(Traits traits, std::span<const XattrForm> forms) : traits_(traits), forms_(forms) {}

    const char* name() const override { return traits_.name; }
    std::uint8_t origin() const override { return traits_.origin; }
    bool filesWithoutFolderWord() const override { return traits_.filesWithoutFolderWord; }
    std::optional<DosWord> wordOf(int fd) const override;
    std::unique_ptr<FolderWords> filesIn(int folderFd) const override;
    int write(int fd, const DosWord& was, std::uint32_t word) const override;

    // The first of the forms that holds a word at `path`, through a link
    // there when `follow`, with the raw value when `keepRaw`; errno set when
    // none does.
    std::optional<DosWord> read(const std::string& path, bool follow, bool keepRaw) const;

private:
    Traits traits_;
    std::span<const XattrForm> forms_;
};

}  // namespace tarnwell
