#pragma once

// The real main window, offscreen, over scripted boxes and the real yield:
// what every end-to-end benchmark clicks through.

#include <QCoreApplication>
#include <memory>

#include "app/form1.h"
#include "platform/yield.h"
#include "results/spreadsheet.h"
#include "support/fakes.h"

namespace tarnwell::bench {

struct BenchWindow {
    test::FakeDialogs dialogs;
    EventLoopYield yield;
    test::FakeSettings settings;
    test::FakeClipboard clipboard;
    test::FakeShell shell;
    Services services{dialogs, yield, settings, clipboard, shell};
    std::unique_ptr<SpreadsheetHost> spreadsheet;
    std::unique_ptr<Form1> form;

    // workbookFolder: where workbooks go (written, never opened); none: no
    // spreadsheet backend.
    explicit BenchWindow(const QString& workbookFolder = QString()) {
        if (!workbookFolder.isEmpty()) {
            XlsxSpreadsheetHost::Options options;
            options.folder = workbookFolder;
            options.applicationPresent = [] { return true; };
            spreadsheet = std::make_unique<XlsxSpreadsheetHost>(shell, options);
            services.spreadsheet = spreadsheet.get();
        }
        services.endProgram = [] {};
        form = std::make_unique<Form1>(services);
        form->Form_Load();
        form->show();
        QCoreApplication::processEvents();
    }
};

}  // namespace tarnwell::bench
