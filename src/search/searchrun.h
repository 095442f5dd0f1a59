#pragma once

#include <QString>

namespace tarnwell {

class ErrorTrap;
struct Window;

// The state a search run shares with the scan: the stop flag, and the Start
// button's caption to restore.
struct SearchRunState {
    bool stopRequested = false;
    QString savedStartCaption;
};

// "Start Finding": starts a run over the whole search list, or, while a run
// is active and the button reads "Stop", asks it to end.
void startOrStopSearch(Window& window, SearchRunState& state, ErrorTrap& trap);

}  // namespace tarnwell
