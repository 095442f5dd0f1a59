#include "search/scan.h"

#include <QFile>
#include <optional>

#include "errors/errortrap.h"
#include "process/yield.h"
#include "search/walkstream.h"
#include "ui/dialogs.h"
#include "ui/listcontrol.h"
#include "ui/progressbar.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

namespace {

// The "Processing " text of the folder last entered, drawn only when the
// window gets to paint: at a pass, behind a box, or when the scan is over.
class ProgressText {
public:
    explicit ProgressText(ProgressBar& bar) : bar_(bar) {}
    void enter(QByteArrayView path) {
        path_.resize(0);
        path_.append(path);
        pending_ = true;
    }
    void show() {
        if (!pending_)
            return;
        pending_ = false;
        bar_.setText(QStringLiteral("Processing ") + QFile::decodeName(path_));
    }

private:
    ProgressBar& bar_;
    QByteArray path_;
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

// The walk as the user sees it, taken from its stream on the window's
// thread: the folder on the progress bar, each find in the ResultsList, each
// failure in an ErrorReport box at its statement. The walk runs on a thread
// of its own; while it has nothing new, the window keeps working.
class WindowSide {
public:
    WindowSide(Window& window, const bool& stopRequested)
        : window_(window),
          stopRequested_(stopRequested),
          progress_(window.ProgressBar1),
          boxes_(window.platform.dialogs, progress_, boxesShown_),
          trap_(boxes_, QStringLiteral("Search"), QStringLiteral("searchInFiles")) {}
    ~WindowSide() { progress_.show(); }

    void run(const std::shared_ptr<ReadAheadBoard>& readers, const QByteArray& path,
             bool includeSubfolders) {
        Yield& yield = window_.platform.yield;
        WalkThread walk(readers, path, includeSubfolders, yield.waker());
        walk_ = &walk;
        while (!stopRequested_) {
            std::unique_ptr<WalkBatch> batch = walk.take();
            if (!batch) {
                if (walk.ended())
                    break;
                progress_.show();
                trap_.run(51,
                          [&] { yield.waitUntil([&] { return stopRequested_ || walk.ready(); }); });
                walk.wantFolderPath();
            } else {
                for (const WalkEvent& e : batch->events) {
                    // After a Stop nothing more is shown, whatever the batch holds.
                    if (stopRequested_)
                        break;
                    show(e, batch->text(e));
                }
                walk.giveBack(std::move(batch));
                scrollToLastFind();
                if (yield.due()) {
                    trap_.run(51, [&] {
                        progress_.show();
                        yield.doEvents();
                    });
                    walk.wantFolderPath();
                }
            }
            walk.noteTurns(turns());
        }
        walk_ = nullptr;
    }

private:
    std::uint64_t turns() const { return window_.platform.yield.turns() + boxesShown_; }

    void show(const WalkEvent& e, QByteArrayView text) {
        switch (e.kind) {
            case WalkEvent::Kind::FolderEntered:
                trap_.run(10, [&] { progress_.enter(text); });
                break;
            case WalkEvent::Kind::Found: {
                const QByteArray path = QByteArray::fromRawData(text.data(), text.size());
                if (const auto index = trap_.value(
                        56, [&] { return window_.ResultsList.Add(path, e.reason, e.identity); }))
                    lastFind_ = *index;
                break;
            }
            case WalkEvent::Kind::Failed:
                scrollToLastFind();
                progress_.enter(text);
                trap_.report(e.statement, Failure::fromErrno(e.error).description());
                answer();
                break;
            case WalkEvent::Kind::NamesTooLong:
                scrollToLastFind();
                progress_.enter(text);
                trap_.run(40, [&] {
                    showNamesTooLong(text.toByteArray(), boxes_, window_.platform.appTitle);
                });
                answer();
                break;
        }
    }

    // Only the last find of a batch is scrolled to: the view shows one
    // place at a time, and a scroll per find costs the window's thread more
    // than the find itself.
    void scrollToLastFind() {
        if (lastFind_)
            trap_.run(57, [&] { window_.ResultsList.EnsureVisible(*lastFind_); });
        lastFind_.reset();
    }

    // The walk waits behind the box; it goes on knowing that the box was a
    // turn, in which the user may have changed anything.
    void answer() {
        walk_->noteTurns(turns());
        walk_->answered();
    }

    Window& window_;
    const bool& stopRequested_;
    std::uint64_t boxesShown_ = 0;
    ProgressText progress_;
    BoxesAfterProgress boxes_;
    ErrorTrap trap_;
    WalkThread* walk_ = nullptr;
    std::optional<int> lastFind_;
};

}  // namespace

void searchInFiles(Window& window, const bool& stopRequested,
                   const std::shared_ptr<ReadAheadBoard>& readers, const QByteArray& path,
                   bool includeSubfolders) {
    WindowSide(window, stopRequested).run(readers, path, includeSubfolders);
}

void showNamesTooLong(const QByteArray& folderPath, Dialogs& dialogs, const QString& title) {
    dialogs.msgBox(
        QStringLiteral("The length of filenames in folder ") + QFile::decodeName(folderPath) +
            QStringLiteral(" is too long. ") + QStringLiteral("\r\n") +
            QStringLiteral("The maximum folder length is 260 symbols. ") + QStringLiteral("\r\n") +
            QStringLiteral("Please move subfolders to a small folder."),
        vbOKOnly, title);
}

}  // namespace tarnwell
