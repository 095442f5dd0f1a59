#include "cli/findrun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "cli/output.h"
#include "fs/attributes.h"
#include "fs/sambashares.h"
#include "search/readahead.h"
#include "search/walkstream.h"

namespace tarnwell {

namespace {

using Clock = std::chrono::steady_clock;
// Finds are written out once the walk has been quiet this long, so a slow
// share shows what came before it; the progress line changes at most this
// often.
constexpr auto kQuiet = std::chrono::milliseconds(50);
constexpr auto kProgressEvery = std::chrono::milliseconds(100);

std::string_view view(QByteArrayView bytes) {
    return {bytes.data(), std::size_t(bytes.size())};
}

const char* reasonWord(std::uint8_t reason) {
    switch (reason & HiddenReason::KindMask) {
        case HiddenReason::DotName:
            return "dot-name";
        case HiddenReason::HiddenList:
            return "hidden-list";
        default:
            return reason & HiddenReason::DosSystem ? "dos-hidden-system" : "dos-hidden";
    }
}

// The PATH as the walk and the window take it: absolute, without "." or
// empty steps. ".." stays, since a link before it decides where it leads.
std::string absolutePath(const std::string& given) {
    std::string whole = given;
    if (given.empty() || given[0] != '/') {
        char* here = ::getcwd(nullptr, 0);
        whole = std::string(here ? here : "") + '/' + given;
        std::free(here);
    }
    std::string path;
    for (std::size_t at = 0; at <= whole.size();) {
        std::size_t end = whole.find('/', at);
        if (end == std::string::npos)
            end = whole.size();
        const std::string_view step(whole.data() + at, end - at);
        if (!step.empty() && step != ".")
            path.append("/").append(step);
        at = end + 1;
    }
    return path.empty() ? "/" : path;
}

struct Wakeup {
    std::mutex mutex;
    std::condition_variable woken;
    bool pending = false;
    void wake() {
        {
            std::lock_guard lock(mutex);
            pending = true;
        }
        woken.notify_one();
    }
    // False when nothing came within `wait`.
    bool waitFor(Clock::duration wait) {
        std::unique_lock lock(mutex);
        const bool came = woken.wait_for(lock, wait, [&] { return pending; });
        pending = false;
        return came;
    }
};

// The walk as a terminal shows it.
class TerminalSide {
public:
    TerminalSide(const FindOptions& options, const FindStreams& streams)
        : options_(options),
          streams_(streams),
          out_(1, streams.outTerminal),
          err_(2, streams.errTerminal) {}

    int run() {
        std::vector<std::pair<std::string, dev_t>> tops;
        for (const std::string& given : options_.paths) {
            const std::string path = absolutePath(given);
            struct stat st;
            const int error = ::stat(path.c_str(), &st) != 0 ? errno
                              : !S_ISDIR(st.st_mode)         ? ENOTDIR
                                                             : 0;
            if (error) {
                line(given, std::strerror(error));
                err_.text(kFindHelpHint);
                err_.write();
                return 2;
            }
            tops.emplace_back(path, st.st_dev);
        }
        for (const auto& [path, dev] : tops) walk(path, dev);
        eraseProgress();
        out_.write();
        err_.write();
        return failed_ ? 1 : 0;
    }

private:
    void walk(const std::string& top, dev_t dev) {
        topDev_ = dev;
        auto wakeup = std::make_shared<Wakeup>();
        // The walk may call it after it is given up, so it owns what it wakes.
        WalkThread walk(
            readers_, QByteArray(top.data(), qsizetype(top.size())), true,
            [wakeup] { wakeup->wake(); }, options_.oneFileSystem);
        for (;;) {
            std::unique_ptr<WalkBatch> batch = walk.take();
            if (!batch) {
                if (walk.ended())
                    break;
                if (!wakeup->waitFor(kQuiet)) {
                    out_.write();
                    showProgress(walk);
                }
                continue;
            }
            for (const WalkEvent& e : batch->events) take(e, view(batch->text(e)), walk);
            walk.giveBack(std::move(batch));
            showProgress(walk);
        }
    }

    void take(const WalkEvent& e, std::string_view text, WalkThread& walk) {
        switch (e.kind) {
            case WalkEvent::Kind::FolderEntered:
                folder_.assign(text);
                break;
            case WalkEvent::Kind::Found:
                out_.name(text);
                if (options_.why) {
                    out_.byte('\t');
                    out_.text(reasonWord(e.reason));
                    if ((e.reason & HiddenReason::KindMask) == HiddenReason::DosAttribute) {
                        out_.byte('\t');
                        out_.text(dosSource(e.reason, e.identity.dev, text));
                    }
                }
                out_.byte(options_.print0 ? '\0' : '\n');
                out_.mayWrite();
                break;
            case WalkEvent::Kind::Failed:
                failure(text, std::strerror(e.error));
                walk.answered();
                break;
            case WalkEvent::Kind::NamesTooLong:
                failure(text, "file names longer than 260 characters; its files are left out");
                walk.answered();
                break;
        }
    }

    // Where a find's DOS word came from. A word read from the volume itself
    // is told apart by the volume, asked once for each device.
    const char* dosSource(std::uint8_t reason, dev_t dev, std::string_view path) {
        if (reason & HiddenReason::DosFromShare)
            return "gvfs";
        if (reason & HiddenReason::DosFromServer)
            return "samba-disk";
        for (const auto& [known, source] : sources_)
            if (known == dev)
                return source;
        const std::string folder(path.substr(0, path.rfind('/') + 1));
        const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const DosSource* found = dosSourceFor(fd >= 0 ? fsKindOf(fd) : FsKind::Plain);
        if (fd >= 0)
            ::close(fd);
        const char* source = found ? found->name() : "ntfs";
        sources_.emplace_back(dev, source);
        return source;
    }

    void failure(std::string_view folder, const char* reason) {
        // The finds before it come first, where both go to one terminal.
        out_.write();
        line(folder, reason);
        err_.write();
        failed_ = true;
    }

    void line(std::string_view path, const char* reason) {
        eraseProgress();
        err_.text("tarnwell-find: ");
        err_.name(path);
        err_.text(": ");
        err_.text(reason);
        err_.byte('\n');
    }

    void showProgress(WalkThread& walk) {
        if (!streams_.progress || Clock::now() - lastProgress_ < kProgressEvery)
            return;
        lastProgress_ = Clock::now();
        walk.wantFolderPath();
        if (folder_.empty())
            return;
        std::string shown;
        appendEscaped(shown, folder_);
        folder_.clear();
        std::string bar = "\rProcessing ";
        int room = streams_.columns - 1 - int(bar.size() - 1);
        for (char c : shown) {
            // A character begins at any byte but a UTF-8 continuation byte.
            if ((c & 0xC0) != 0x80 && --room < 0)
                break;
            bar.push_back(c);
        }
        bar.append("\x1b[K");
        err_.text(bar);
        err_.write();
        progressShown_ = true;
    }

    void eraseProgress() {
        if (progressShown_)
            err_.text("\r\x1b[K");
        progressShown_ = false;
    }

    const FindOptions& options_;
    const FindStreams& streams_;
    Output out_, err_;
    // The paths given are walked one after another by the same readers.
    const std::shared_ptr<ReadAheadBoard> readers_ =
        std::make_shared<ReadAheadBoard>(std::make_shared<SambaShares>());
    dev_t topDev_ = 0;
    bool failed_ = false;
    std::vector<std::pair<dev_t, const char*>> sources_;
    std::string folder_;  // the folder last entered, for the progress line
    Clock::time_point lastProgress_{};
    bool progressShown_ = false;
};

}  // namespace

int findHidden(const FindOptions& options, const FindStreams& streams) {
    return TerminalSide(options, streams).run();
}

}  // namespace tarnwell
