#pragma once

// Scripted stand-ins for the platform, so that every command runs headless:
// boxes are recorded and answered from a script, never shown.

#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/form1.h"
#include "platform/clipboard.h"
#include "platform/settings.h"
#include "platform/shell.h"
#include "platform/yield.h"
#include "ui/dialogs.h"
#include "ui/services.h"

namespace tarnwell::test {

struct Box {
    QString kind;  // "msgBox", "inputBox", "save", "browse"
    QString text;  // message, prompt, or title of a file dialog
    int style = 0;
    QString title;
};

class FakeDialogs : public Dialogs {
public:
    std::vector<Box> boxes;
    // Answers, taken in order; when a queue is empty: vbOK for OK boxes,
    // vbNo for questions, "" (Cancel) for the others.
    std::deque<int> answers;
    std::deque<QString> inputs;
    std::deque<QString> saveNames;
    std::deque<QString> folders;
    std::vector<SaveFileRequest> saveRequests;
    // The folder each browse dialog was told to start at ("" when none).
    std::vector<QString> browseStarts;
    // Runs while a box is "open", as a user acting during a modal box would.
    std::function<void(const Box&)> whileOpen;

    int msgBox(const QString& text, int style, const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    QString saveFileName(const SaveFileRequest& request) override;
    QString browseForFolder(const QString& prompt, const BrowseWatcher& watcher) override;

    std::vector<Box> messages() const;  // the msgBox calls only
    int countContaining(const QString& fragment) const;
    // ErrorReport boxes raised at `where` ("Form1.PushButton2_Click") whose
    // first line is `description`, when one is given. The report's whole text
    // is checked once, in test_conventions; elsewhere this is enough.
    int errorReports(const QString& where, const QString& description = {}) const;

private:
    void opened(const Box& box);
};

// DoEvents under a script: counts the yields and runs a callback at each,
// so a test can click Stop during the fifth file.
class ScriptedYield : public Yield {
public:
    int count = 0;
    std::function<void(int)> onYield;
    void doEvents() override {
        ++count;
        if (onYield)
            onYield(count);
    }
};

class FakeSettings : public SettingsStore {
public:
    std::map<QString, QString> values;  // "app/section/key" -> text
    QString GetSetting(const QString& appName, const QString& section, const QString& key,
                       const QString& defaultValue) override;
};

class FakeClipboard : public Clipboard {
public:
    QString text = QStringLiteral("(old clipboard content)");
    int busyAttempts = 0;  // how many calls fail before the clipboard is free
    int clears = 0, sets = 0;
    bool clear() override;
    bool setText(const QString& t) override;
};

class FakeShell : public Shell {
public:
    std::vector<QString> openedFolders, openedFiles;
    bool openFolder(const QString& folder) override {
        openedFolders.push_back(folder);
        return true;
    }
    bool openFile(const QString& file) override {
        openedFiles.push_back(file);
        return true;
    }
};

// A main window over scripted platform pieces, after its start-up ran.
struct Harness {
    explicit Harness(const QString& programFolder = QString(), bool load = true);
    ~Harness();

    QTemporaryDir programDir;
    FakeDialogs dialogs;
    ScriptedYield yield;
    FakeSettings settings;
    FakeClipboard clipboard;
    FakeShell shell;
    int endCalls = 0;
    Services services;
    std::unique_ptr<Form1> form;

    ListControl& searchList() { return *form->ListView1; }
    ListControl& results() { return *form->ListView2; }
};

}  // namespace tarnwell::test
