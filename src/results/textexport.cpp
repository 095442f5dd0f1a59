#include "results/textexport.h"

#include "platform/errortrap.h"
#include "platform/window.h"

namespace tarnwell {

void saveResultsAsTextFile(Window& /*window*/, ErrorTrap& /*trap*/) {}

}  // namespace tarnwell
