#include "results/fileactions.h"

#include <fcntl.h>

#include <QFile>
#include <QHash>
#include <algorithm>
#include <cerrno>
#include <map>
#include <utility>
#include <vector>

#include "desktop/trash.h"
#include "errors/failure.h"
#include "errors/messagebox.h"
#include "fs/attributes.h"
#include "fs/descriptor.h"
#include "fs/fileidentity.h"
#include "fs/hiddenreason.h"
#include "fs/unhide.h"
#include "process/yield.h"
#include "ui/dialogs.h"
#include "ui/listcontrol.h"
#include "ui/pointer.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {

// A box that names ten thousand files helps nobody; past this many the rest
// are counted.
constexpr int kNamedAtMost = 20;

const QString kLineEnd = QStringLiteral("\r\n");

struct Kept {
    QByteArray path;
    int error;
};

QString why(int error) {
    if (error == kChangedSinceFound)
        return QStringLiteral("it is no longer the file the search found");
    return Failure::fromErrno(error).description();
}

// `heading`, then a line for each of the first kNamedAtMost items, then
// how many more there are.
template <typename Item, typename Line>
QString namedList(const QString& heading, const std::vector<Item>& items, Line line) {
    QString text = heading;
    for (size_t i = 0; i < items.size() && i < kNamedAtMost; ++i) text += kLineEnd + line(items[i]);
    if (items.size() > kNamedAtMost)
        text += kLineEnd + QStringLiteral("and %1 more.").arg(items.size() - kNamedAtMost);
    return text;
}

// One box for the whole action, naming each file that kept its state.
void reportKept(Window& window, const QString& heading, const std::vector<Kept>& kept) {
    if (kept.empty())
        return;
    const QString text = namedList(heading, kept, [](const Kept& k) {
        return QFile::decodeName(k.path) + QStringLiteral(": ") + why(k.error);
    });
    window.platform.dialogs.msgBox(text, vbExclamation, window.platform.appTitle);
}

bool confirmed(Window& window, const QString& question) {
    return window.platform.dialogs.msgBox(question, vbYesNo, window.platform.appTitle) == vbYes;
}

QString trashQuestion(const ListControl& list, const std::vector<int>& selected) {
    const QString first = list.Text(selected.front());
    if (selected.size() == 1)
        return QStringLiteral("Move %1 to the Trash?").arg(first);
    return QStringLiteral("Move the %1 selected entries to the Trash?").arg(selected.size()) +
           kLineEnd + QStringLiteral("The first is %1.").arg(first);
}

// A result, also split where its folder ends, as the unhide calls take it.
struct Found {
    int index;
    QByteArray path;
    QByteArray folder;
    QByteArray name;
    FileIdentity identity;
};

Found splitPath(const ListControl& list, int index) {
    QByteArray path = list.Bytes(index);
    const qsizetype slash = path.lastIndexOf('/');
    QByteArray folder = slash <= 0 ? QByteArray("/") : path.left(slash);
    QByteArray name = path.mid(slash + 1);
    return {index, std::move(path), std::move(folder), std::move(name), list.Identity(index)};
}

// An action's calls on the files, beside the window: a share that died
// under ten thousand selected files then holds up the action, not the
// window, which can still be closed. The pointer says the window is busy
// meanwhile, which keeps the commands that change the results out.
void onTheFiles(Window& window, const std::function<void()>& calls) {
    const int pointer = window.pointer.value();
    window.pointer.set(MousePointer::Busy);
    runBesideTheWindow(window.platform.yield, calls);
    window.pointer.set(pointer);
}

// Of the entries an action dealt with, those still in the list where they
// were: a search started meanwhile may have filled it anew.
std::vector<int> stillListed(const ListControl& list,
                             std::vector<std::pair<int, QByteArray>> done) {
    std::vector<int> indexes;
    for (const auto& [index, path] : done)
        if (index <= list.Count() && list.Bytes(index) == path)
            indexes.push_back(index);
    std::sort(indexes.begin(), indexes.end());
    return indexes;
}

// The folders of one action, each opened once: ten thousand files in one
// folder should not cost ten thousand opens.
class Folders {
public:
    // The folder open for *at calls, or -1 with errno set.
    int open(const QByteArray& folder) {
        auto it = open_.find(folder);
        if (it == open_.end()) {
            Descriptor fd(::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            const int error = fd ? 0 : errno;
            it = open_.emplace(folder, std::make_pair(std::move(fd), error)).first;
        }
        errno = it->second.second;
        return it->second.first.get();
    }

private:
    std::map<QByteArray, std::pair<Descriptor, int>> open_;
};

// Clears the DOS Hidden bit of each entry, and System with it where both are
// set, after one question naming every entry that carries System: Windows
// may need it on a system file. Entries the user keeps are left alone.
void unhideByAttribute(Window& window, Folders& folders, const std::vector<Found>& found,
                       std::vector<const Found*>& unhidden, std::vector<Kept>& kept) {
    if (found.empty())
        return;
    const SambaShares* shares = window.platform.sambaShares.get();
    std::vector<const Found*> plain, system;
    onTheFiles(window, [&] {
        for (const Found& f : found) {
            const int fd = folders.open(f.folder);
            const DosWordNow now =
                fd < 0 ? DosWordNow{errno, 0}
                       : currentDosAttributes(fd, f.name.constData(), f.identity, shares);
            if (now.error)
                kept.push_back({f.path, now.error});
            else
                ((now.word & kAttrHidden) && (now.word & kAttrSystem) ? system : plain)
                    .push_back(&f);
        }
    });
    if (!system.empty()) {
        const QString question =
            namedList(
                QStringLiteral("These entries carry the System attribute as well as Hidden, which "
                               "Windows may need:"),
                system, [](const Found* f) { return QFile::decodeName(f->path); }) +
            kLineEnd + QStringLiteral("Clear both on them?");
        if (confirmed(window, question))
            plain.insert(plain.end(), system.begin(), system.end());
    }
    onTheFiles(window, [&] {
        for (const Found* f : plain) {
            const UnhideOutcome outcome = clearHiddenAttribute(
                folders.open(f->folder), f->name.constData(), f->identity, shares);
            if (outcome.error)
                kept.push_back({f->path, outcome.error});
            else
                unhidden.push_back(f);
        }
    });
}

// Takes the entries' lines out of their folders' ".hidden" lists, each list
// rewritten once.
void unhideByList(Folders& folders, const std::vector<Found>& found,
                  std::vector<const Found*>& unhidden, std::vector<Kept>& kept) {
    QHash<QByteArray, std::vector<const Found*>> byFolder;
    for (const Found& f : found) byFolder[f.folder].push_back(&f);
    for (auto it = byFolder.cbegin(); it != byFolder.cend(); ++it) {
        const std::vector<const Found*>& inFolder = it.value();
        const int fd = folders.open(it.key());
        std::vector<FoundName> names;
        for (const Found* f : inFolder) names.push_back({f->name, f->identity});
        const std::vector<UnhideOutcome> outcomes =
            fd < 0 ? std::vector<UnhideOutcome>(names.size(), UnhideOutcome{errno, false})
                   : removeFromHiddenList(fd, names);
        for (size_t i = 0; i < inFolder.size(); ++i) {
            if (outcomes[i].error)
                kept.push_back({inFolder[i]->path, outcomes[i].error});
            else
                unhidden.push_back(inFolder[i]);
        }
    }
}

// The selection an action works on, or nothing while a command runs: the
// busy pointer is the only record of one, and the command may be reading
// the list.
std::vector<int> selectionToActOn(Window& window) {
    if (window.pointer.busy())
        return {};
    return window.ResultsList.SelectedIndexes();
}

}  // namespace

bool canUnhide(std::uint8_t reason) {
    const std::uint8_t kind = reason & HiddenReason::KindMask;
    return kind == HiddenReason::HiddenList || kind == HiddenReason::DosAttribute;
}

void moveSelectedResultsToTrash(Window& window) {
    ListControl& list = window.ResultsList;
    const std::vector<int> selected = selectionToActOn(window);
    if (selected.empty() || !confirmed(window, trashQuestion(list, selected)))
        return;
    std::vector<Found> chosen;
    for (int index : selected)
        chosen.push_back({index, list.Bytes(index), {}, {}, list.Identity(index)});
    std::vector<std::pair<int, QByteArray>> trashed;
    std::vector<Kept> kept;
    onTheFiles(window, [&] {
        TrashCan trash;
        for (const Found& f : chosen) {
            if (const int error = trash.moveToTrash(f.path, f.identity))
                kept.push_back({f.path, error});
            else
                trashed.emplace_back(f.index, f.path);
        }
    });
    list.RemoveAll(stillListed(list, std::move(trashed)));
    reportKept(
        window,
        QStringLiteral("These entries could not be moved to the Trash and stay where they are:"),
        kept);
}

void unhideSelectedResults(Window& window) {
    ListControl& list = window.ResultsList;
    std::vector<Found> listed, byAttribute;
    for (int index : selectionToActOn(window)) {
        const std::uint8_t kind = list.Tag(index) & HiddenReason::KindMask;
        if (kind == HiddenReason::HiddenList)
            listed.push_back(splitPath(list, index));
        else if (kind == HiddenReason::DosAttribute)
            byAttribute.push_back(splitPath(list, index));
    }
    Folders folders;
    std::vector<const Found*> unhidden;
    std::vector<Kept> kept;
    unhideByAttribute(window, folders, byAttribute, unhidden, kept);
    if (!listed.empty())
        onTheFiles(window, [&] { unhideByList(folders, listed, unhidden, kept); });
    std::vector<std::pair<int, QByteArray>> done;
    for (const Found* f : unhidden) done.emplace_back(f->index, f->path);
    list.RemoveAll(stillListed(list, std::move(done)));
    reportKept(window, QStringLiteral("These entries kept their state:"), kept);
}

}  // namespace tarnwell
