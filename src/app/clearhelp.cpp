#include "app/clearhelp.h"

#include "platform/dialogs.h"
#include "platform/errortrap.h"
#include "platform/listcontrol.h"
#include "platform/pointer.h"
#include "platform/services.h"
#include "platform/window.h"

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
    trap.run(1, [&] {
        window.platform.dialogs.msgBox(helpText(), vbOKOnly, window.platform.appTitle);
    });
}

}  // namespace tarnwell
