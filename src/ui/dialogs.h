#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "errors/messagebox.h"

class QWidget;

namespace tarnwell {

struct SaveFileRequest {
    QString title;
    QStringList filters;  // "Text Files (*.txt)", ...
    QString fileName;     // the name the dialog starts with
};

// A folder-browse dialog as seen by the routine that watches it while it is
// open.
class FolderBrowser {
public:
    virtual ~FolderBrowser() = default;
    // Shows the folder as the dialog's current choice, when it exists.
    virtual void setSelection(const QString& folder) = 0;
};

// What a folder-browse dialog tells its watcher. Qt's dialog shows the chosen
// folder's path in its own name field, so no selection-change notice (and no
// status line for it) is needed.
enum BrowseMessage : int {
    BFFM_INITIALIZED = 1,  // the dialog is built and about to show
};
using BrowseWatcher = std::function<int(FolderBrowser& dialog, int message)>;

// Every modal box the program shows goes through here, so that tests can
// script the answers instead of blocking on a real box.
class Dialogs : public MessageBoxes {
public:
    // Returns the typed text, or "" for Cancel.
    virtual QString inputBox(const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;
    // Returns the chosen path, or "" for Cancel.
    virtual QString saveFileName(const SaveFileRequest& request) = 0;
    // Returns the chosen folder's full path, or "" for Cancel. The watcher, if
    // any, hears of the dialog's creation and may choose its start folder.
    virtual QString browseForFolder(const QString& prompt, const BrowseWatcher& watcher) = 0;
};

// The real boxes, modal to the main window.
class QtDialogs : public Dialogs {
public:
    void setOwner(QWidget* owner) { owner_ = owner; }

    int msgBox(const QString& text, int style, const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    QString saveFileName(const SaveFileRequest& request) override;
    QString browseForFolder(const QString& prompt, const BrowseWatcher& watcher) override;

private:
    QWidget* owner_ = nullptr;
};

}  // namespace tarnwell
