#include "search/readplan.h"

#include <algorithm>
#include <cassert>

namespace tarnwell {

namespace {

using Stage = ReadPlan::Stage;

// The stages that follow one another; see the picture in the header.
[[maybe_unused]] bool mayFollow(Stage from, Stage to) {
    switch (to) {
        case Stage::Waiting:
            return from == Stage::Taken;
        case Stage::Reading:
            return from == Stage::Waiting;
        case Stage::Read:
            return from == Stage::Reading;
        case Stage::Taken:
            return from == Stage::Read;
        case Stage::Finished:
            return from == Stage::Taken;
        case Stage::Cancelled:
            return from != Stage::Cancelled;
    }
    return false;
}

void moveTo(ReadPlan::Node& n, Stage to) {
    assert(mayFollow(n.stage, to));
    n.stage = to;
}

// The stages in which a folder holds a place in the window.
bool inWindow(Stage s) {
    return s == Stage::Reading || s == Stage::Read;
}

}  // namespace

// Depth-first order of the folders two cursors stand for: the path of child
// indexes from the top, compared element by element, an ancestor first.
bool ReadPlan::DepthFirst::operator()(const Cursor& a, const Cursor& b) const {
    const Node* pa = a.parent;
    const Node* pb = b.parent;
    std::uint32_t ia = a.index, ib = b.index;
    bool bLifted = false;
    while (pa->depth > pb->depth) {
        ia = pa->index;
        pa = pa->parent;
    }
    while (pb->depth > pa->depth) {
        ib = pb->index;
        pb = pb->parent;
        bLifted = true;
    }
    while (pa != pb) {
        ia = pa->index;
        pa = pa->parent;
        ib = pb->index;
        pb = pb->parent;
    }
    // Equal indexes under one parent: one folder lies inside the other's
    // subtree, and the one lifted is the deeper.
    return ia != ib ? ia < ib : bLifted;
}

ReadPlan::~ReadPlan() {
    assert(!top_ && inWindow_ == 0 && frontier_.empty() && spent_.empty());
}

ReadPlan::Folder ReadPlan::top(std::string path) {
    assert(!top_);
    top_ = std::make_shared<Node>();
    top_->name = std::move(path);
    demand(top_);
    return top_;
}

ReadPlan::Folder ReadPlan::subfolder(const Folder& parent, std::size_t index, Taken& taken) {
    assert(parent->read && index < parent->children.size());
    Folder& slot = parent->children[index];
    if (slot) {
        taken = take(slot);
        return slot;
    }
    const auto at = std::uint32_t(index);
    Folder n = makeChild(*parent, at);
    if (parent->inFrontier && parent->nextToQueue == at)
        queueFrom(*parent, at + 1);
    demand(n);
    taken = {};
    return n;
}

ReadPlan::Taken ReadPlan::take(const Folder& folder) {
    if (folder->stage != Stage::Read) {
        // The walk never comes back to a folder it is done with.
        assert(folder->stage == Stage::Waiting || folder->stage == Stage::Reading);
        awaited_ = folder.get();
        return {};
    }
    moveTo(*folder, Stage::Taken);
    leaveWindow(*folder);
    if (awaited_ == folder.get())
        awaited_ = nullptr;
    const Descriptor* parentFd =
        folder->parent && folder->parent->fd ? folder->parent->fd.get() : nullptr;
    return {folder->read.get(), parentFd ? parentFd->get() : -1, folder->fd != nullptr,
            folder->turn};
}

bool ReadPlan::ready(const Folder& folder) const {
    return folder->stage == Stage::Read;
}

void ReadPlan::readAgain(const Folder& folder) {
    assert(folder->stage == Stage::Taken && folder->parent);
    release(*folder);
    folder->parentFd = folder->parent->fd;
    moveTo(*folder, Stage::Waiting);
    demand(folder);
}

void ReadPlan::forget(const Folder& folder) {
    release(*folder);
    spend(std::move(folder->parentFd));
    moveTo(*folder, Stage::Finished);
}

std::shared_ptr<const Descriptor> ReadPlan::descriptor(const Folder& folder) const {
    return folder->fd;
}

void ReadPlan::dropDescriptor(const Folder& folder) {
    unqueue(*folder);
    spend(std::move(folder->fd));
}

void ReadPlan::giveDescriptor(const Folder& folder, std::shared_ptr<const Descriptor> fd) {
    folder->fd = std::move(fd);
    queueFrom(*folder, folder->nextToQueue);
    wake(Wake::One);
}

ReadPlan::Folder ReadPlan::next(std::uint64_t turn, const Stuck& stuck) {
    while (!demands_.empty()) {
        Folder n = std::move(demands_.front());
        demands_.pop_front();
        assert(n->stage == Stage::Waiting);
        if (!stuck(*n))
            return dispatch(std::move(n), turn);
        parked_.push_back(std::move(n));
    }
    while (!frontier_.empty() && roomFor(*frontier_.begin())) {
        const Cursor c = *frontier_.begin();
        assert(!c.parent->children[c.index]);  // whoever fills a slot moves its cursor on
        Folder n = makeChild(*c.parent, c.index);
        queueFrom(*c.parent, c.index + 1);
        if (!stuck(*n))
            return dispatch(std::move(n), turn);
        parked_.push_back(std::move(n));
    }
    return nullptr;
}

bool ReadPlan::hasNext() const {
    return !demands_.empty() || (!frontier_.empty() && roomFor(*frontier_.begin()));
}

bool ReadPlan::done(const Folder& folder, std::shared_ptr<FolderRead>& read,
                    std::vector<Folder>& subfolders) {
    const auto it = std::find(reading_.begin(), reading_.end(), folder.get());
    assert(it != reading_.end());
    reading_.erase(it);
    if (folder->stage == Stage::Cancelled)
        return false;
    moveTo(*folder, Stage::Read);
    spend(std::move(folder->parentFd));  // the budget may close the parent now
    if (!subfolders.empty()) {
        folder->fd = std::move(read->fd);
        folder->children = std::move(subfolders);
        queueFrom(*folder, 0);
    }
    folder->read = std::move(read);
    return awaited_ == folder.get();
}

void ReadPlan::unpark() {
    for (Folder& p : parked_) demands_.push_front(std::move(p));
    parked_.clear();
}

void ReadPlan::close() {
    if (top_)
        cancel(top_);
    spend(std::move(top_));
    assert(demands_.empty() && parked_.empty() && frontier_.empty() && inWindow_ == 0);
    reading_.clear();  // their readers find the walk gone
    awaited_ = nullptr;
}

void ReadPlan::takeSpent(Spent& into) {
    assert(into.empty());
    into.swap(spent_);
}

ReadPlan::Wake ReadPlan::takeWake() {
    return std::exchange(wake_, Wake::None);
}

// A node for subfolder `index` of `parent`, in its slot.
ReadPlan::Folder ReadPlan::makeChild(Node& parent, std::uint32_t index) {
    auto n = std::make_shared<Node>();
    n->parent = &parent;
    n->index = index;
    n->depth = parent.depth + 1;
    n->parentFd = parent.fd;
    n->parentDev = parent.read->dev;
    n->parentIno = parent.read->ino;
    n->parentKind = parent.read->kind;
    const DirListing::Entry e = parent.read->listing.folders()[index];
    n->name.assign(parent.read->listing.name(e), e.length);
    n->listed = parent.read->subfolderListed[index];
    parent.children[index] = n;
    return n;
}

void ReadPlan::demand(const Folder& folder) {
    assert(folder->stage == Stage::Waiting);
    demands_.push_front(folder);
    wake(Wake::One);
}

ReadPlan::Folder ReadPlan::dispatch(Folder folder, std::uint64_t turn) {
    moveTo(*folder, Stage::Reading);
    folder->turn = turn;
    enterWindow(*folder);
    reading_.push_back(folder.get());
    return folder;
}

// Whether the folder `c` stands for may be read ahead now: the window has
// room, or the folder comes before the last one in it and the window is not
// stretched to its end.
bool ReadPlan::roomFor(const Cursor& c) const {
    if (inWindow_ < kReadWindow)
        return true;
    return inWindow_ < kStretchedReadWindow && !windowed_.empty() &&
           DepthFirst()(c, *windowed_.rbegin());
}

// Puts the first subfolder of `n` from `from` on that has no node yet into
// the frontier. Wakes nobody: a reader that queues goes on to pick, and
// wakes the next while there is more to read.
void ReadPlan::queueFrom(Node& n, std::uint32_t from) {
    unqueue(n);
    while (from < n.children.size() && n.children[from]) ++from;
    if (from == n.children.size() || !n.fd)
        return;
    assert(n.stage == Stage::Read || n.stage == Stage::Taken);
    n.nextToQueue = from;
    n.inFrontier = frontier_.insert(Cursor{&n, from}).second;
}

void ReadPlan::unqueue(Node& n) {
    if (n.inFrontier) {
        frontier_.erase(Cursor{&n, n.nextToQueue});
        n.inFrontier = false;
    }
}

void ReadPlan::enterWindow(Node& n) {
    ++inWindow_;
    if (n.parent)
        windowed_.insert(Cursor{n.parent, n.index});
    checkWindow();
}

void ReadPlan::leaveWindow(Node& n) {
    if (n.parent)
        windowed_.erase(Cursor{n.parent, n.index});
    const bool wasAbove = inWindow_ > kReadRefillMark;
    --inWindow_;
    if (wasAbove && inWindow_ <= kReadRefillMark)
        wake(Wake::All);
    checkWindow();
}

// The count in the window is the folders holding a place there: the
// subfolders among them, and the top while it does.
void ReadPlan::checkWindow() const {
    assert(inWindow_ == int(windowed_.size()) + (top_ && inWindow(top_->stage) ? 1 : 0));
}

// Lets go of what a taken folder holds and of everything read below it; the
// node itself stays, as its parent's child, so that nobody reads it again.
void ReadPlan::release(Node& n) {
    assert(n.stage == Stage::Taken);
    for (const Folder& c : n.children)
        if (c)
            cancel(c);
    n.children.clear();
    unqueue(n);
    spend(std::move(n.read));
    spend(std::move(n.fd));
}

// Cancels a node and everything below it and lets go of what they hold.
// Every cursor below it leaves the frontier and the window while all its
// nodes are still there, since comparing cursors walks up their parents;
// only then are the nodes let go, each with no children left, so that a
// long chain is never freed recursively.
void ReadPlan::cancel(const Folder& from) {
    std::vector<Folder> nodes{from};
    for (size_t i = 0; i < nodes.size(); ++i) {
        Node& n = *nodes[i];
        const Stage was = n.stage;
        moveTo(n, Stage::Cancelled);
        if (inWindow(was))
            leaveWindow(n);
        if (was == Stage::Waiting) {
            std::erase(demands_, nodes[i]);
            std::erase(parked_, nodes[i]);
        }
        unqueue(n);
        for (const Folder& c : n.children)
            if (c)
                nodes.push_back(c);
    }
    for (Folder& n : nodes) {
        spend(std::move(n->read));
        spend(std::move(n->fd));
        spend(std::move(n->parentFd));
        n->children.clear();
        if (awaited_ == n.get())
            awaited_ = nullptr;
        spend(std::move(n));
    }
}

void ReadPlan::spend(std::shared_ptr<const void> p) {
    if (p)
        spent_.push_back(std::move(p));
}

void ReadPlan::wake(Wake w) {
    wake_ = std::max(wake_, w);
}

}  // namespace tarnwell
