#include "searchlist/editing.h"

#include "platform/errortrap.h"
#include "platform/listcontrol.h"
#include "platform/window.h"

namespace tarnwell {

void loadSampleFolders(Window& /*window*/, ErrorTrap& /*trap*/) {}
void removeSelectedEntry(Window& /*window*/, ListControl& /*list*/) {}
void removeSelectedEntryOnKey(Window& /*window*/, ListControl& /*list*/, int /*keyCode*/) {}
void restorePointerOverList(Window& /*window*/) {}

}  // namespace tarnwell
