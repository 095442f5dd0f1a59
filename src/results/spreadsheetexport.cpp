#include "results/spreadsheetexport.h"

#include "platform/errortrap.h"
#include "platform/window.h"

namespace tarnwell {

void saveResultsAsWorkbook(Window& /*window*/, ErrorTrap& /*trap*/) {}

}  // namespace tarnwell
