#include "app/clearhelp.h"

#include "errors/errortrap.h"
#include "ui/dialogs.h"
#include "ui/listcontrol.h"
#include "ui/pointer.h"
#include "ui/services.h"
#include "ui/window.h"

namespace tarnwell {

QString helpText() {
    return QStringLiteral("Questions? Please contact Team Kelvane at ") +
           QStringLiteral("https://www.example.com/contact");
}

void clearSearchList(Window& window, ErrorTrap& trap) {
    if (window.pointer.busy())
        return;
    trap.run(3, [&] { window.SearchList.Clear(); });
}

void clearResults(Window& window, ErrorTrap& trap) {
    trap.run(1, [&] { window.ResultsList.Clear(); });
}

void showHelp(Window& window, ErrorTrap& trap) {
    trap.run(
        1, [&] { window.platform.dialogs.msgBox(helpText(), vbOKOnly, window.platform.appTitle); });
}

}  // namespace tarnwell
