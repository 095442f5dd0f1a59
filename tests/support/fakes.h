#pragma once

// Scripted stand-ins for the platform, so that every command runs headless:
// boxes are recorded and answered from a script, never shown.

#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <functional>
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
    bool operator==(const Box&) const = default;
};

class FakeDialogs : public Dialogs {
public:
    std::vector<Box> boxes;
    // Answers, taken in order; when a queue is empty: vbOK for OK boxes,
    // vbNo for questions, "" (Cancel) for the others.
    std::deque<int> answers;
    std::deque<QString> inputs, saveNames, folders;
    // Runs while a box is "open", as a user acting during a modal box would.
    std::function<void(const Box&)> whileOpen;

    int msgBox(const QString& text, int style, const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title, const QString&) override {
        show({"inputBox", prompt, 0, title});
        return next(inputs, QString());
    }
    QString saveFileName(const SaveFileRequest& request) override {
        show({"save", request.title, 0, request.title});
        return next(saveNames, QString());
    }
    QString browseForFolder(const QString& prompt, const BrowseWatcher&) override {
        show({"browse", prompt, 0, prompt});
        return next(folders, QString());
    }

    std::vector<Box> messages() const;  // the msgBox calls only
    int countContaining(const QString& fragment) const;
    // ErrorReport boxes raised at `where` ("Form1.PushButton2_Click") whose
    // first line is `description`, when one is given. The report's whole text
    // is checked once, in test_conventions; elsewhere this is enough.
    int errorReports(const QString& where, const QString& description = {}) const;

private:
    void show(const Box& box);
    template <typename T>
    static T next(std::deque<T>& script, T otherwise) {
        if (script.empty())
            return otherwise;
        T answer = script.front();
        script.pop_front();
        return answer;
    }
};

// DoEvents under a script: counts the yields and runs a callback at each,
// so a test can click Stop during the fifth file.
class ScriptedYield : public Yield {
public:
    int count = 0;
    std::function<void(int)> onYield;
    void doEvents() override {
        if (onYield)
            onYield(++count);
        else
            ++count;
    }
};

class FakeSettings : public SettingsStore {
public:
    QString GetSetting(const QString&, const QString&, const QString&,
                       const QString& defaultValue) override {
        return defaultValue;
    }
};

class FakeClipboard : public Clipboard {
public:
    QString text = QStringLiteral("(old clipboard content)");
    int busyAttempts = 0;  // how many calls fail before the clipboard is free
    int clears = 0, sets = 0;
    bool clear() override {
        ++clears;
        if (busy())
            return false;
        text.clear();
        return true;
    }
    bool setText(const QString& t) override {
        ++sets;
        if (busy())
            return false;
        text = t;
        return true;
    }

private:
    bool busy() { return busyAttempts > 0 && busyAttempts--; }
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
