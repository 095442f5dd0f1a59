#pragma once

// The real main window, offscreen, over scripted boxes and the real yield:
// what every end-to-end benchmark clicks through.

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/form1.h"
#include "process/yield.h"
#include "results/spreadsheet.h"
#include "support/fakes.h"
#include "ui/listcontrol.h"

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
            options.writer = TARNWELL_WORKBOOK_WRITER;
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

// One search of `root` in a fresh window, "Start Finding" to "Done." (secs),
// and its results, sorted; any other box is a failure.
inline std::vector<std::string> searchResults(const QString& root, double& secs) {
    BenchWindow w;
    w.form->ListView1->Add(root);
    const auto start = std::chrono::steady_clock::now();
    w.form->PushButton1_Click();
    secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (w.dialogs.boxes.size() != 1)
        throw std::runtime_error("unexpected box: " + w.dialogs.boxes[0].text.toStdString());
    std::vector<std::string> out;
    for (int i = 1; i <= w.form->ListView2->Count(); ++i)
        out.push_back(w.form->ListView2->Bytes(i).toStdString());
    std::sort(out.begin(), out.end());
    return out;
}

// Rounds of the search of `root` and of a peer, taken in turn so that both
// meet the same machine; each function runs once and gives its seconds.
template <typename Peer>
void searchBesidePeer(const QString& root, int rounds, Peer peerSecs, std::vector<double>& ours,
                      std::vector<double>& peer) {
    double s;
    for (int r = 0; r < rounds; ++r) {
        searchResults(root, s);
        ours.push_back(s);
        peer.push_back(peerSecs());
    }
}

}  // namespace tarnwell::bench
