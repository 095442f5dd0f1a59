#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "fs/sambashares.h"

namespace tarnwell {

class Clipboard;
class Dialogs;
class SettingsStore;
class Shell;
class SpreadsheetHost;
class Yield;

// The platform as the commands reach it. The program fills it with the real
// thing; tests fill it with scripted stand-ins.
struct Services {
    Services(Dialogs& d, Yield& y, SettingsStore& s, Clipboard& c, Shell& sh)
        : dialogs(d), yield(y), settings(s), clipboard(c), shell(sh) {}

    Dialogs& dialogs;
    Yield& yield;
    SettingsStore& settings;
    Clipboard& clipboard;
    Shell& shell;
    SpreadsheetHost* spreadsheet = nullptr;
    // What this machine's Samba server shares, for the searches and for the
    // actions on what they found. Shared: a reader stuck on a share keeps it.
    std::shared_ptr<SambaShares> sambaShares = std::make_shared<SambaShares>();
    // Ends the program at once, whatever is running (End).
    std::function<void()> endProgram;
    // The folder that holds the program file (App.Path).
    QString programFolder;
    // Shown by every box that has no caption of its own (App.Title).
    QString appTitle;
};

}  // namespace tarnwell
