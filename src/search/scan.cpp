#include "search/scan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include "errors/errortrap.h"
#include "platform/attributes.h"
#include "platform/dirlisting.h"
#include "platform/yield.h"
#include "search/searchrun.h"
#include "ui/dialogs.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {

constexpr qsizetype kLongestPath = 260;
// A folder that is Hidden + System + Directory and nothing else is the
// system's own (a recycle bin, volume information) and is not searched.
constexpr std::uint32_t kExcludedFolderWord = kAttrHidden | kAttrSystem | kAttrDirectory;
// Folders still to be returned to keep their descriptor open, up to this
// many; deeper in a tree the oldest are closed and opened again when needed.
constexpr int kOpenFolderBudget = 64;

bool hasDosAttributes(FsKind kind) {
    return kind == FsKind::Ntfs || kind == FsKind::Fuse || kind == FsKind::Fat ||
           kind == FsKind::Cifs;
}

int characters(QByteArrayView bytes) {
    for (char c : bytes)
        if (c & 0x80)
            return int(QFile::decodeName(bytes.toByteArray()).size());
    return int(bytes.size());
}

// The folder's path as the file system reports it: no trailing "/" except
// for "/" itself.
QByteArray folderPathOf(const QByteArray& text) {
    QByteArray path = text;
    while (path.size() > 1 && path.endsWith('/')) path.chop(1);
    return path;
}

// The "Processing " text of the folder last entered is drawn only when the
// window gets to paint: at a yield, behind a box, or when the scan is over.
// Until then it is kept as bytes, so that entering folder after folder
// without a file (a chain thousands of levels deep) does not decode every
// ever longer path.
class ProgressText {
public:
    explicit ProgressText(ProgressBar& bar) : bar_(bar) {}
    // Only the walk's path and its length are noted: a copy per folder would
    // cost a chain 100,000 levels deep the square of its path length.
    void enter(const QByteArray& walkPath) {
        source_ = &walkPath;
        length_ = walkPath.size();
        kept_.clear();
        pending_ = true;
    }
    // The walk is about to cut its path back; keep the folder still to be
    // shown if the cut would take part of it.
    void beforeCut(qsizetype newLength) {
        if (pending_ && kept_.isNull() && newLength < length_)
            kept_ = source_->left(length_);
    }
    void show() {
        if (!pending_)
            return;
        pending_ = false;
        const QByteArray path = kept_.isNull() ? source_->left(length_) : kept_;
        bar_.setText(QStringLiteral("Processing ") + QFile::decodeName(path));
    }

private:
    ProgressBar& bar_;
    const QByteArray* source_ = nullptr;
    qsizetype length_ = 0;
    QByteArray kept_;
    bool pending_ = false;
};

// The window's boxes, with the progress text brought up to date first.
class BoxesAfterProgress : public Dialogs {
public:
    BoxesAfterProgress(Dialogs& boxes, ProgressText& progress)
        : boxes_(boxes), progress_(progress) {}
    int msgBox(const QString& text, int style, const QString& title) override {
        progress_.show();
        return boxes_.msgBox(text, style, title);
    }
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override {
        progress_.show();
        return boxes_.inputBox(prompt, title, defaultText);
    }
    QString saveFileName(const SaveFileRequest& request) override {
        progress_.show();
        return boxes_.saveFileName(request);
    }
    QString browseForFolder(const QString& prompt, const BrowseWatcher& watcher) override {
        progress_.show();
        return boxes_.browseForFolder(prompt, watcher);
    }

private:
    Dialogs& boxes_;
    ProgressText& progress_;
};

// One scan. Its stack stands in for recursion, which a chain of folders
// 100,000 deep would overflow: each frame is a folder whose subfolders are
// still to come, and the walk always goes on with the deepest, so folders
// are entered in the order a recursive scan enters them.
class Walk {
public:
    Walk(Window& window, const SearchRunState& run, std::int16_t& includeSubfolders)
        : window_(window),
          run_(run),
          includeSubfolders_(includeSubfolders),
          progress_(window.ProgressBar1),
          boxes_(window.platform.dialogs, progress_),
          trap_(boxes_, QStringLiteral("Search"), QStringLiteral("searchInFiles")) {}

    ~Walk() {
        progress_.show();
        for (Frame& f : stack_)
            if (f.fd >= 0)
                ::close(f.fd);
    }

    void run(const QByteArray& top) {
        path_ = folderPathOf(top);
        const QByteArray topName = path_.mid(path_.lastIndexOf('/') + 1);
        if (enterFolder(-1, topName, false, false) == Outcome::Stopped)
            return;
        while (!stack_.empty()) {
            const int index = int(stack_.size()) - 1;
            Frame& frame = stack_.back();
            if (frame.next == frame.listing.folders().size()) {
                closeFd(frame);
                stack_.pop_back();
                oldestOpen_ = std::min(oldestOpen_, int(stack_.size()));
                continue;
            }
            if (run_.stopRequested)
                return;
            if (frame.fd < 0 && !reopen(index)) {
                frame.next = frame.listing.folders().size();
                continue;
            }
            const DirListing::Entry entry = frame.listing.folders()[frame.next++];
            const bool last = frame.next == frame.listing.folders().size();
            // A copy: entering the subfolder may move the frame, names and all.
            const QByteArray name(frame.listing.name(entry), entry.length);
            const bool listed =
                !frame.hiddenList.empty() && frame.hiddenList.count(name.toStdString()) > 0;
            progress_.beforeCut(frame.pathLength);
            path_.truncate(frame.pathLength);
            if (!path_.endsWith('/'))
                path_ += '/';
            path_ += name;
            if (last)  // nothing more is opened from here
                frame.hiddenList.clear();
            if (enterFolder(index, name, listed, last) == Outcome::Stopped)
                return;
        }
    }

private:
    enum class Outcome { Done, Stopped };

    struct Frame {
        int fd = -1;
        qsizetype pathLength = 0;
        DirListing listing;  // its subfolders
        HiddenList hiddenList;
        size_t next = 0;
        // Which folder it was, kept when the budget closes its descriptor.
        dev_t dev = 0;
        ino_t ino = 0;
    };

    struct OpenFolder {
        int fd;
        int listError;  // why it could be opened only to be looked at
    };

    // Enters the folder whose Path is path_: shows it, decides whether it is
    // searched, lists it and looks at its own files. A folder with subfolders
    // to come is left on the stack; run() takes them in order from there.
    Outcome enterFolder(int parent, const QByteArray& name, bool listedHidden, bool lastChild) {
        trap_.run(10, [&] { progress_.enter(path_); });
        const auto opened = trap_.value(20, [&] { return open(parent, name); });
        if (opened)
            lostFolder_ = false;
        else if (parent >= 0)
            giveUpIfLost(stack_[size_t(parent)]);
        if (parent >= 0 && lastChild)
            closeFd(stack_[size_t(parent)]);
        if (!opened)
            return Outcome::Done;
        const int fd = opened->fd;
        const FsKind kind = fsKindOf(fd);
        std::optional<std::uint32_t> dos;
        const bool notExcluded = trap_.test(30, [&] {
            if (kind == FsKind::Pseudo)
                return false;  // read as Hidden + System + Directory, and never a root
            std::uint32_t word = kAttrDirectory;
            if (hasDosAttributes(kind) && (dos = dosAttributesOfFolder(kind, fd)))
                word |= *dos;
            if (name.startsWith('.') || listedHidden)
                word |= kAttrHidden;
            return word != kExcludedFolderWord || isMountRoot(fd);
        });
        if (notExcluded) {
            DirListing listing;
            if (opened->listError)
                listing.fail(opened->listError);
            else
                listing.read(fd);
            if (listing.error()) {
                // One failure, one report: neither the files nor the
                // subfolders of a folder that cannot be listed are looked at.
                trap_.report(50, Failure::fromErrno(listing.error()).description());
                ::close(fd);
                return Outcome::Done;
            }
            HiddenList hiddenList = listing.hasHiddenList() ? readHiddenList(fd) : HiddenList();
            if (trap_.test(40, [&] {
                    return !filenamesTooLong(path_, listing, boxes_, window_.platform.appTitle);
                })) {
                // Where the folder itself carries no DOS word, its files do
                // not either: asking would be a wasted round trip per file.
                const FsKind filesKind = dos ? kind : FsKind::Plain;
                if (scanFiles(fd, filesKind, listing, hiddenList) == Outcome::Stopped) {
                    ::close(fd);
                    return Outcome::Stopped;
                }
            }
            if (trap_.test(60, [&] { return includeSubfolders_ != 0; })) {
                if (!listing.folders().empty()) {
                    listing.keepFoldersOnly();
                    Frame frame;
                    frame.fd = fd;
                    frame.pathLength = path_.size();
                    frame.listing = std::move(listing);
                    frame.hiddenList = std::move(hiddenList);
                    stack_.push_back(std::move(frame));
                    ++openFds_;
                    keepWithinBudget();
                    return Outcome::Done;
                }
            }
        }
        ::close(fd);
        return Outcome::Done;
    }

    // The folder's own files, one yield each, since a folder may hold
    // hundreds of thousands and the window must stay responsive.
    Outcome scanFiles(int fd, FsKind kind, const DirListing& listing,
                      const HiddenList& hiddenList) {
        QByteArray folderPart = path_;
        if (!folderPart.endsWith('/'))
            folderPart += '/';
        for (const DirListing::Entry& file : listing.files()) {
            trap_.run(51, [&] {
                progress_.show();
                window_.platform.yield.doEvents();
            });
            if (run_.stopRequested)
                return Outcome::Stopped;
            const char* name = listing.name(file);
            std::uint8_t tag = 0;
            if (name[0] == '.') {
                tag = HiddenReason::DotName;
            } else if (!hiddenList.empty() && hiddenList.count(std::string(name, file.length))) {
                tag = HiddenReason::HiddenList;
            } else if (hasDosAttributes(kind)) {
                // Asked last: through FUSE every word costs two round trips
                // to the driver, wasted on a file its name already hides.
                const std::uint32_t dos = dosAttributesOf(kind, fd, name).value_or(0);
                if (dos & kAttrHidden)
                    tag = dos & kAttrSystem ? HiddenReason::DosAttribute | HiddenReason::DosSystem
                                            : HiddenReason::DosAttribute;
            }
            if (!tag)
                continue;
            QByteArray entry;
            entry.reserve(folderPart.size() + file.length);
            entry.append(folderPart).append(name, file.length);
            const auto index = trap_.value(56, [&] { return window_.ResultsList.Add(entry, tag); });
            if (index)
                trap_.run(57, [&] { window_.ResultsList.EnsureVisible(*index); });
        }
        return Outcome::Done;
    }

    // GetFolder: a folder that may not be listed can still be looked at, as
    // a folder whose listing then fails.
    OpenFolder open(int parent, const QByteArray& name) {
        const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        int base = AT_FDCWD;
        const char* relative = path_.constData();
        int extra = 0;
        if (parent >= 0) {
            base = fdOf(parent);
            relative = name.constData();
            extra = O_NOFOLLOW;  // listed as a folder: never go through a link
        }
        int fd = ::openat(base, relative, flags | extra);
        if (fd >= 0)
            return {fd, 0};
        const int error = errno;
        if (error == EACCES) {
            fd = ::openat(base, relative, O_PATH | O_DIRECTORY | O_CLOEXEC | extra);
            if (fd >= 0)
                return {fd, error};
        }
        throw Failure::fromErrno(error);
    }

    // A subfolder could not be opened. When the reason is its folder, gone
    // or no longer searchable, every other subfolder would fail the same
    // way: one report is enough, and the rest are given up.
    void giveUpIfLost(Frame& frame) {
        struct stat st;
        if (frame.fd >= 0 && (::fstat(frame.fd, &st) != 0 || st.st_nlink == 0 ||
                              ::faccessat(frame.fd, ".", X_OK, AT_EACCESS) != 0))
            frame.next = frame.listing.folders().size();
    }

    // A folder the budget closed, opened again to go on with its
    // subfolders. When it cannot be, it is given up after one report; the
    // folders above it, which then often fail in the same way on the way
    // up, are given up without another.
    bool reopen(int index) {
        try {
            fdOf(index);
            lostFolder_ = false;
            return true;
        } catch (const Failure& failure) {
            if (!lostFolder_)
                trap_.report(20, failure.description());
            lostFolder_ = true;
            return false;
        }
    }

    // The descriptor of a folder on the stack, opened again if the budget
    // closed it: through its path, or, past the path limit, from the
    // nearest folder above it that is still open.
    int fdOf(int index) {
        Frame& frame = stack_[size_t(index)];
        if (frame.fd >= 0)
            return frame.fd;
        int fd = -1;
        if (frame.pathLength < PATH_MAX) {
            fd = ::open(path_.left(frame.pathLength).constData(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        } else {
            int above = index - 1;
            while (above >= 0 && stack_[size_t(above)].fd < 0) --above;
            int base = above >= 0 ? stack_[size_t(above)].fd : AT_FDCWD;
            qsizetype start = above >= 0 ? stack_[size_t(above)].pathLength : 0;
            if (above >= 0 && path_[start] == '/')
                ++start;
            // AT_FDCWD is negative: the walk's own descriptor is `at`.
            int at = base;
            while (start < frame.pathLength) {
                qsizetype end = frame.pathLength;
                if (end - start >= PATH_MAX)
                    end = path_.lastIndexOf('/', start + PATH_MAX - 1);
                const int next = end <= start
                                     ? -1
                                     : ::openat(at, path_.mid(start, end - start).constData(),
                                                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                const int error = end <= start ? ENAMETOOLONG : errno;
                if (at != base)
                    ::close(at);
                at = next;
                if (at < 0) {
                    errno = error;
                    break;
                }
                start = end + 1;
            }
            fd = at;
        }
        if (fd < 0)
            throw Failure::fromErrno(errno);
        // The path may lead elsewhere by now (renamed, or swapped for a
        // link): a folder that is not the one listed is as good as gone.
        struct stat st;
        if (::fstat(fd, &st) != 0 || st.st_dev != frame.dev || st.st_ino != frame.ino) {
            ::close(fd);
            throw Failure::fromErrno(ENOENT);
        }
        frame.fd = fd;
        ++openFds_;
        if (index < oldestOpen_)
            oldestOpen_ = index;
        keepWithinBudget();
        return fd;
    }

    void keepWithinBudget() {
        const int top = int(stack_.size()) - 1;
        while (openFds_ > kOpenFolderBudget && oldestOpen_ < top) {
            Frame& frame = stack_[size_t(oldestOpen_)];
            struct stat st;
            if (frame.fd >= 0 && ::fstat(frame.fd, &st) == 0) {
                frame.dev = st.st_dev;
                frame.ino = st.st_ino;
            }
            closeFd(frame);
            ++oldestOpen_;
        }
    }

    void closeFd(Frame& frame) {
        if (frame.fd < 0)
            return;
        ::close(frame.fd);
        frame.fd = -1;
        --openFds_;
    }

    Window& window_;
    const SearchRunState& run_;
    std::int16_t& includeSubfolders_;
    ProgressText progress_;
    BoxesAfterProgress boxes_;
    ErrorTrap trap_;
    QByteArray path_;  // the Path of the folder being entered or scanned
    std::vector<Frame> stack_;
    int openFds_ = 0;
    int oldestOpen_ = 0;
    bool lostFolder_ = false;  // the last folder come back to could not be opened
};

}  // namespace

void searchInFiles(Window& window, const SearchRunState& run, const QByteArray& path,
                   std::int16_t& includeSubfolders) {
    Walk(window, run, includeSubfolders).run(path);
}

bool filenamesTooLong(const QByteArray& folderPath, const DirListing& listing, Dialogs& dialogs,
                      const QString& title) {
    try {
        // A folder that cannot be listed is reported by the scan itself; its
        // files are withheld without a second box for the same failure.
        if (listing.error())
            return true;
        // Nothing to measure: most folders of a deep tree end here, without
        // counting the characters of their long paths.
        if (listing.files().empty())
            return false;
        QByteArray folder = folderPath;
        if (!folder.endsWith('/'))
            folder += '/';
        bool tooLong = false;
        const qsizetype folderLength = characters(folder);
        // Bytes bound characters from above, so most folders need no count.
        if (folderLength + qsizetype(listing.longestFileName()) > kLongestPath) {
            for (const DirListing::Entry& file : listing.files()) {
                if (folderLength + characters(QByteArrayView(listing.name(file), file.length)) >
                    kLongestPath) {
                    tooLong = true;
                    break;
                }
            }
        }
        if (tooLong)
            dialogs.msgBox(QStringLiteral("The length of filenames in folder ") +
                               QFile::decodeName(folder) + QStringLiteral(" is too long. ") +
                               QStringLiteral("\r\n") +
                               QStringLiteral("The maximum folder length is 260 symbols. ") +
                               QStringLiteral("\r\n") +
                               QStringLiteral("Please move subfolders to a small folder."),
                           vbOKOnly, title);
        return tooLong;
    } catch (...) {
        return true;
    }
}

}  // namespace tarnwell
