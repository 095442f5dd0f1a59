#include "search/walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cassert>
#include <cerrno>
#include <memory>
#include <vector>

#include "fs/folderread.h"
#include "search/deepopen.h"
#include "search/descriptorbudget.h"
#include "search/readahead.h"

namespace tarnwell {

namespace {

constexpr int kOpenFolderBudget = 64;

// The folder's path as the file system reports it: no trailing "/" except
// for "/" itself.
QByteArray folderPathOf(const QByteArray& text) {
    QByteArray path = text;
    while (path.size() > 1 && path.endsWith('/')) path.chop(1);
    return path;
}

// One walk. Its stack stands in for recursion, which a chain of folders
// 100,000 deep would overflow: each frame is a folder whose subfolders are
// still to come, and the walk always goes on with the deepest, so folders
// are entered in the order a recursive scan enters them.
class Walk {
public:
    Walk(WalkEvents& events, std::shared_ptr<ReadAheadBoard> readers, bool includeSubfolders,
         bool oneFileSystem)
        : events_(events),
          includeSubfolders_(includeSubfolders),
          readAhead_(std::move(readers), includeSubfolders, events.waker(), oneFileSystem) {}

    ~Walk() {
        // Deepest first: each folder is then let go with nothing below it.
        while (!stack_.empty()) pop();
        events_.beforePathShortens(0);  // the path goes with the walk
    }

    void run(const QByteArray& top) {
        path_ = folderPathOf(top);
        if (enterFolder(-1, readAhead_.top(path_), {}, "", false) == Outcome::Stopped)
            return;
        while (!stack_.empty()) {
            const int index = int(stack_.size()) - 1;
            Frame& frame = stack_.back();
            const size_t count = frame.read->listing.folders().size();
            assert(frame.next <= count);
            if (frame.next == count) {
                pop();
                continue;
            }
            if (events_.stopRequested())
                return;
            if (!frame.open && !reopen(index)) {
                frame.next = count;
                continue;
            }
            const size_t i = frame.next++;
            const bool last = frame.next == count;
            const DirListing::Entry entry = frame.read->listing.folders()[i];
            const char* name = frame.read->listing.name(entry);  // NUL-terminated
            ReadAhead::Taken taken;
            readAhead_.noteTurn(events_.turns());
            const ReadAhead::Folder child = readAhead_.subfolder(frame.node, i, taken);
            events_.beforePathShortens(frame.pathLength);
            path_.truncate(frame.pathLength);
            if (!path_.endsWith('/'))
                path_ += '/';
            path_.append(name, entry.length);
            if (enterFolder(index, child, taken, name, last) == Outcome::Stopped)
                return;
        }
    }

private:
    enum class Outcome { Done, Stopped };

    struct Frame {
        ReadAhead::Folder node;
        const FolderRead* read = nullptr;  // its subfolders; the pool's until forgotten
        qsizetype pathLength = 0;
        size_t next = 0;
        bool open = false;  // holds its descriptor
    };

    // Enters the folder whose path is path_: shows it, takes its read, and
    // looks at its own files. A folder with subfolders to come is left on
    // the stack; run() takes them in order from there.
    Outcome enterFolder(int parent, const ReadAhead::Folder& folder, ReadAhead::Taken taken,
                        const char* name, bool lastChild) {
        events_.folderEntered(path_);
        taken = await(parent, folder, taken, name);
        if (!taken.read)
            return Outcome::Stopped;
        const FolderRead* read = taken.read;
        if (read->openError) {
            events_.failed(kOpenStatement, read->openError);
            if (parent >= 0)
                giveUpIfLost(stack_[size_t(parent)]);
        } else {
            lostFolder_ = false;
        }
        if (parent >= 0 && lastChild)  // nothing more is opened from there
            closeDescriptor(stack_[size_t(parent)]);
        if (read->openError || !read->searched)
            return leave(folder);
        if (read->listError) {
            // One failure, one report: neither the files nor the subfolders
            // of a folder that cannot be listed are looked at.
            events_.failed(kListStatement, read->listError);
            return leave(folder);
        }
        if (events_.filesFit(path_, read->listing) && scanFiles(*read) == Outcome::Stopped)
            return Outcome::Stopped;
        if (!includeSubfolders_ || read->listing.folders().empty())
            return leave(folder);
        Frame frame;
        frame.node = folder;
        frame.read = read;
        frame.pathLength = path_.size();
        frame.open = taken.open;
        stack_.push_back(std::move(frame));
        if (stack_.back().open)
            budget_.opened(int(stack_.size()) - 1);
        keepWithinBudget();
        return Outcome::Done;
    }

    Outcome leave(const ReadAhead::Folder& folder) {
        readAhead_.forget(folder);
        return Outcome::Done;
    }

    // The folder's read as of now. One read ahead is checked against the
    // folder as it is on entry, and read again if it changed meanwhile, so
    // the walk sees what a walk that read it only now would see. A read
    // begun since the consumer's last turn is taken as it is: no handler
    // and no box has run since, so it was read within the same stretch of
    // the walk as a read on entry would be. The check is a system call on
    // the searched file system, and is made here, on the walk's thread.
    // `taken`: what the walk took with the folder's place, if it was read.
    ReadAhead::Taken await(int parent, const ReadAhead::Folder& folder, ReadAhead::Taken taken,
                           const char* name) {
        bool fresh = parent < 0;
        for (;;) {
            if (!taken.read)
                taken = readAhead_.take(folder);
            if (!taken.read) {
                events_.waitUntil(
                    [&] { return events_.stopRequested() || readAhead_.ready(folder); });
                if (events_.stopRequested())
                    return {};
                readAhead_.noteTurn(events_.turns());
                continue;
            }
            if (fresh || taken.turn == events_.turns() ||
                (taken.parentFd >= 0 && stillAsRead(*taken.read, taken.parentFd, name)))
                return taken;
            readAhead_.readAgain(folder);
            taken = {};
            fresh = true;
        }
    }

    // The folder's own files. A folder may hold hundreds of thousands, so a
    // stop is looked for at each.
    Outcome scanFiles(const FolderRead& read) {
        // One buffer for every find: the results list copies the bytes, so
        // a find costs no allocation of its own.
        filePath_.resize(0);
        filePath_.append(path_);
        if (!filePath_.endsWith('/'))
            filePath_ += '/';
        const qsizetype folderLength = filePath_.size();
        const std::vector<DirListing::Entry>& files = read.listing.files();
        for (size_t i = 0; i < files.size(); ++i) {
            if (events_.stopRequested())
                return Outcome::Stopped;
            const std::uint8_t reason = read.fileTags[i];
            if (!reason)
                continue;
            filePath_.resize(folderLength);
            filePath_.append(read.listing.name(files[i]), files[i].length);
            events_.fileFound(filePath_, reason, {read.dev, files[i].ino, files[i].type});
        }
        return Outcome::Done;
    }

    // A subfolder could not be opened. When the reason is its folder, gone
    // or no longer searchable, every other subfolder would fail the same
    // way: one report is enough, and the rest are given up.
    void giveUpIfLost(Frame& frame) {
        const auto fd = readAhead_.descriptor(frame.node);
        struct stat st;
        if (fd && (::fstat(fd->get(), &st) != 0 || st.st_nlink == 0 ||
                   ::faccessat(fd->get(), ".", X_OK, AT_EACCESS) != 0))
            frame.next = frame.read->listing.folders().size();
    }

    // A folder the budget closed, opened again to go on with its
    // subfolders. When it cannot be, it is given up after one report; the
    // folders above it, which then often fail in the same way on the way
    // up, are given up without another.
    bool reopen(int index) {
        const int error = reopenDescriptor(index);
        if (!error) {
            lostFolder_ = false;
            return true;
        }
        if (!lostFolder_)
            events_.failed(kOpenStatement, error);
        lostFolder_ = true;
        return false;
    }

    int reopenDescriptor(int index) {
        Frame& frame = stack_[size_t(index)];
        int above = index - 1;
        while (above >= 0 && !stack_[size_t(above)].open) --above;
        std::shared_ptr<const Descriptor> base;
        if (above >= 0)
            base = readAhead_.descriptor(stack_[size_t(above)].node);
        Descriptor fd = DeepOpen::open(path_, frame.pathLength, base ? base->get() : -1,
                                       above >= 0 ? stack_[size_t(above)].pathLength : 0);
        if (!fd)
            return errno;
        // The path may lead elsewhere by now (renamed, or swapped for a
        // link): a folder that is not the one listed is as good as gone.
        struct stat st;
        if (::fstat(fd.get(), &st) != 0 || st.st_dev != frame.read->dev ||
            st.st_ino != frame.read->ino)
            return ENOENT;
        readAhead_.giveDescriptor(frame.node, std::move(fd));
        frame.open = true;
        budget_.opened(index);
        keepWithinBudget();
        return 0;
    }

    void keepWithinBudget() {
        const int top = int(stack_.size()) - 1;
        for (int depth; (depth = budget_.nextToClose(top)) >= 0;)
            closeDescriptor(stack_[size_t(depth)]);
    }

    void closeDescriptor(Frame& frame) {
        if (!frame.open)
            return;
        assert(readAhead_.descriptor(frame.node) && "an open frame holds its descriptor");
        readAhead_.dropDescriptor(frame.node);
        frame.open = false;
        budget_.closed();
    }

    void pop() {
        assert(!stack_.empty());
        Frame& frame = stack_.back();
        if (frame.open)
            budget_.closed();
        readAhead_.forget(frame.node);
        stack_.pop_back();
        budget_.shrunk(int(stack_.size()));
    }

    WalkEvents& events_;
    const bool includeSubfolders_;
    ReadAhead readAhead_;
    DescriptorBudget budget_{kOpenFolderBudget};
    QByteArray path_;      // the path of the folder being entered or scanned
    QByteArray filePath_;  // the file being found, in the folder being scanned
    std::vector<Frame> stack_;
    bool lostFolder_ = false;  // the last folder come back to could not be opened
};

}  // namespace

void walkFolderTree(WalkEvents& events, std::shared_ptr<ReadAheadBoard> readers,
                    const QByteArray& top, bool includeSubfolders, bool oneFileSystem) {
    Walk(events, std::move(readers), includeSubfolders, oneFileSystem).run(top);
}

}  // namespace tarnwell
