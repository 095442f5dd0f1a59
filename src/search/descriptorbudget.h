#pragma once

#include <algorithm>

namespace tarnwell {

// How many of the walk's folders keep their descriptor open. A walk deeper
// than the budget closes the shallowest ones it will still come back to, and
// opens them again when it does; a walk 100,000 folders deep then holds no
// more descriptors than one 64 deep.
class DescriptorBudget {
public:
    explicit DescriptorBudget(int limit) : limit_(limit) {}

    // The folder at `depth` on the walk's stack now holds a descriptor.
    void opened(int depth) {
        ++open_;
        oldest_ = std::min(oldest_, depth);
    }
    void closed() { --open_; }
    // The stack is now `size` deep.
    void shrunk(int size) { oldest_ = std::min(oldest_, size); }

    // The depth whose descriptor is to be closed next, the top of the stack
    // being `top`; -1 while within the budget.
    int nextToClose(int top) {
        if (open_ <= limit_ || oldest_ >= top)
            return -1;
        return oldest_++;
    }

    int open() const { return open_; }

private:
    int limit_;
    int open_ = 0;
    int oldest_ = 0;  // no descriptor is open above this depth
};

}  // namespace tarnwell
