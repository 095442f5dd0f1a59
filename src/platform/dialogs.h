#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace tarnwell {

// Message box styles and answers, numbered as the message box has always
// numbered them, since callers compare answers with these values.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbExclamation = 48,
};
enum MsgBoxAnswer : int {
    vbOK = 1,
    vbYes = 6,
    vbNo = 7,
};

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
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Shows a message box; returns vbOK, vbYes or vbNo.
    virtual int msgBox(const QString& text, int style, const QString& title) = 0;
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
