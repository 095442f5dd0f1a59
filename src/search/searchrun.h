#pragma once

#include <QString>
#include <memory>

#include "search/readahead.h"

namespace tarnwell {

class ErrorTrap;
struct Window;

// The state a search run shares with the scan: the stop flag, the Start
// button's caption to restore, and the window's readers.
struct SearchRunState {
    explicit SearchRunState(std::shared_ptr<SambaShares> shares)
        : readers(std::make_shared<ReadAheadBoard>(std::move(shares))) {}

    bool stopRequested = false;
    QString savedStartCaption;
    // One board for every search of the window, so that a search started
    // from a handler inside another's event loop is served before it: the
    // older one cannot go on until the newer is done.
    std::shared_ptr<ReadAheadBoard> readers;
};

// "Start Finding": starts a run over the whole search list, or, while a run
// is active and the button reads "Stop", asks it to end.
void startOrStopSearch(Window& window, SearchRunState& state, ErrorTrap& trap);

}  // namespace tarnwell
