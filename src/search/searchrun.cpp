#include "search/searchrun.h"

#include "platform/errortrap.h"
#include "platform/window.h"

namespace tarnwell {

void startOrStopSearch(Window& /*window*/, SearchRunState& /*state*/, ErrorTrap& /*trap*/) {}

}  // namespace tarnwell
