#include "fs/hiddenlist.h"

#include "fs/files.h"

namespace tarnwell {

namespace {

// Each line of a .hidden list: the name it gives (without its CR and LF), and
// the whole line with its end.
template <typename Visit>
void forEachHiddenLine(QByteArrayView content, Visit&& visit) {
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        const qsizetype next = end < 0 ? content.size() : end + 1;
        if (end < 0)
            end = content.size();
        qsizetype stop = end;
        if (stop > start && content[stop - 1] == '\r')
            --stop;
        visit(std::string_view(content.data() + start, size_t(stop - start)),
              content.sliced(start, next - start));
        start = next;
    }
}

}  // namespace

HiddenList parseHiddenList(QByteArrayView content) {
    HiddenList names;
    forEachHiddenLine(content, [&](std::string_view name, QByteArrayView) {
        if (!name.empty())
            names.emplace(name);
    });
    return names;
}

QByteArray withoutHiddenLines(QByteArrayView content,
                              const std::function<bool(std::string_view name)>& drop) {
    QByteArray kept;
    kept.reserve(content.size());
    forEachHiddenLine(content, [&](std::string_view name, QByteArrayView line) {
        if (name.empty() || !drop(name))
            kept.append(line);
    });
    return kept;
}

HiddenList readHiddenList(int folderFd) {
    return parseHiddenList(readSmallFile(folderFd, ".hidden", kHiddenListLimit, true));
}

}  // namespace tarnwell
