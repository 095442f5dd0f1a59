#include "search/scan.h"

#include <QFile>

#include "errors/errortrap.h"
#include "platform/dirlisting.h"
#include "platform/yield.h"
#include "search/searchrun.h"
#include "search/walk.h"
#include "ui/dialogs.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {

constexpr qsizetype kLongestPath = 260;

int characters(QByteArrayView bytes) {
    for (char c : bytes)
        if (c & 0x80)
            return int(QFile::decodeName(bytes.toByteArray()).size());
    return int(bytes.size());
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
        isKept_ = false;
        pending_ = true;
    }
    // The walk is about to cut its path back; keep the folder still to be
    // shown if the cut would take part of it. The text is shown only at a
    // pass, so this happens for most folders: the copy reuses one buffer.
    void beforeCut(qsizetype newLength) {
        if (pending_ && !isKept_ && newLength < length_) {
            kept_.resize(0);
            kept_.append(source_->constData(), length_);
            isKept_ = true;
        }
    }
    void show() {
        if (!pending_)
            return;
        pending_ = false;
        const QByteArrayView path =
            isKept_ ? QByteArrayView(kept_) : QByteArrayView(source_->constData(), length_);
        bar_.setText(QStringLiteral("Processing ") + QFile::decodeName(path.toByteArray()));
    }

private:
    ProgressBar& bar_;
    const QByteArray* source_ = nullptr;
    qsizetype length_ = 0;
    QByteArray kept_;
    bool isKept_ = false;
    bool pending_ = false;
};

// The window's boxes, with the progress text brought up to date first, and
// counted: the window works while one is open.
class BoxesAfterProgress : public Dialogs {
public:
    BoxesAfterProgress(Dialogs& boxes, ProgressText& progress, std::uint64_t& shown)
        : boxes_(boxes), progress_(progress), shown_(shown) {}
    int msgBox(const QString& text, int style, const QString& title) override {
        before();
        return boxes_.msgBox(text, style, title);
    }
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override {
        before();
        return boxes_.inputBox(prompt, title, defaultText);
    }
    QString saveFileName(const SaveFileRequest& request) override {
        before();
        return boxes_.saveFileName(request);
    }
    QString browseForFolder(const QString& prompt, const BrowseWatcher& watcher) override {
        before();
        return boxes_.browseForFolder(prompt, watcher);
    }

private:
    void before() {
        progress_.show();
        ++shown_;
    }

    Dialogs& boxes_;
    ProgressText& progress_;
    std::uint64_t& shown_;
};

// The walk as the user sees it: the folder on the progress bar, each find
// in the ResultsList, each failure in an ErrorReport box at its statement,
// and the window's turn before every file.
class WindowSide : public WalkEvents {
public:
    WindowSide(Window& window, const SearchRunState& run)
        : window_(window),
          run_(run),
          progress_(window.ProgressBar1),
          boxes_(window.platform.dialogs, progress_, boxesShown_),
          trap_(boxes_, QStringLiteral("Search"), QStringLiteral("searchInFiles")) {}
    ~WindowSide() override { progress_.show(); }

    void folderEntered(const QByteArray& walkPath) override {
        trap_.run(10, [&] { progress_.enter(walkPath); });
    }
    void beforePathShortens(qsizetype newLength) override { progress_.beforeCut(newLength); }
    void failed(int statement, int error) override {
        trap_.report(statement, Failure::fromErrno(error).description());
    }
    bool filesFit(const QByteArray& folderPath, const DirListing& listing) override {
        return trap_.test(40, [&] {
            return !filenamesTooLong(folderPath, listing, boxes_, window_.platform.appTitle);
        });
    }
    void beforeFile() override {
        // Most files come between two passes: then the text would be set
        // for nobody to see, so it waits for the pass too.
        if (!window_.platform.yield.due())
            return;
        trap_.run(51, [&] {
            progress_.show();
            window_.platform.yield.doEvents();
        });
    }
    void fileFound(const QByteArray& path, std::uint8_t reason,
                   const FileIdentity& identity) override {
        const auto index =
            trap_.value(56, [&] { return window_.ResultsList.Add(path, reason, identity); });
        if (index)
            trap_.run(57, [&] { window_.ResultsList.EnsureVisible(*index); });
    }
    bool stopRequested() const override { return run_.stopRequested; }
    std::uint64_t turns() const override { return window_.platform.yield.passes() + boxesShown_; }
    void waitUntil(const std::function<bool()>& ready) override {
        progress_.show();
        window_.platform.yield.waitUntil(ready);
    }
    std::function<void()> waker() override { return window_.platform.yield.waker(); }

private:
    Window& window_;
    const SearchRunState& run_;
    std::uint64_t boxesShown_ = 0;
    ProgressText progress_;
    BoxesAfterProgress boxes_;
    ErrorTrap trap_;
};

}  // namespace

void searchInFiles(Window& window, const SearchRunState& run, const QByteArray& path,
                   std::int16_t& includeSubfolders) {
    WindowSide side(window, run);
    walkFolderTree(side, path, includeSubfolders);
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
        const bool slash = folderPath.endsWith('/');
        bool tooLong = false;
        const qsizetype folderLength = characters(folderPath) + (slash ? 0 : 1);
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
                               QFile::decodeName(slash ? folderPath : folderPath + '/') +
                               QStringLiteral(" is too long. ") + QStringLiteral("\r\n") +
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
