#include <QApplication>
#include <QDir>

#include "app/form1.h"
#include "desktop/clipboard.h"
#include "desktop/settings.h"
#include "desktop/shell.h"
#include "process/ending.h"
#include "process/yield.h"
#include "results/spreadsheet.h"
#include "ui/dialogs.h"
#include "ui/services.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    using namespace tarnwell;

    QtDialogs dialogs;
    EventLoopYield yield;
    QtSettingsStore settings;
    QtClipboard clipboard;
    DesktopShell shell;
    Services services{dialogs, yield, settings, clipboard, shell};
    XlsxSpreadsheetHost spreadsheet(shell);
    services.spreadsheet = &spreadsheet;
    // End: whatever is running stops where it is; nothing is saved.
    services.endProgram = endProgramAtOnce;
    services.programFolder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());

    Form1 form(services);
    dialogs.setOwner(&form);
    form.Form_Load();
    QApplication::setWindowIcon(form.windowIcon());
    form.showCentred();
    return app.exec();
}
