#include "searchlist/folderpicker.h"

#include "platform/errortrap.h"
#include "platform/window.h"

namespace tarnwell {

void addFolderToSearchList(Window& /*window*/, ErrorTrap& /*trap*/) {}

}  // namespace tarnwell
