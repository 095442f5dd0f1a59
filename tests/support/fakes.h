#pragma once

// Scripted stand-ins for the platform, so that every command runs headless:
// boxes are recorded and answered from a script, never shown.

#include <sys/mount.h>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "app/form1.h"
#include "desktop/clipboard.h"
#include "desktop/settings.h"
#include "desktop/shell.h"
#include "errors/failure.h"
#include "process/yield.h"
#include "results/columnlist.h"
#include "support/trees.h"
#include "ui/dialogs.h"
#include "ui/listcontrol.h"
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
        return ask({"inputBox", prompt, 0, title}, inputs);
    }
    QString saveFileName(const SaveFileRequest& r) override {
        return ask({"save", r.title, 0, r.title}, saveNames);
    }
    QString browseForFolder(const QString& prompt, const BrowseWatcher&) override {
        return ask({"browse", prompt, 0, prompt}, folders);
    }

    std::vector<Box> messages() const;  // the msgBox calls only
    int countContaining(const QString& fragment) const;
    // ErrorReport boxes raised at `where` ("Form1.PushButton2_Click") whose
    // first line is `description`, when one is given. The report's whole text
    // is checked once, in test_window; elsewhere this is enough.
    int errorReports(const QString& where, const QString& description = {}) const;

private:
    void show(const Box& box);
    QString ask(const Box& box, std::deque<QString>& script) {
        show(box);
        return script.empty() ? QString() : take(script);
    }
    template <typename T>
    static T take(std::deque<T>& script) {
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
        passBegins();
        onYield ? onYield(++count) : void(++count);
        passEnds();
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
    bool clear() override { return ++clears, setIfFree(QString()); }
    bool setText(const QString& t) override { return ++sets, setIfFree(t); }

private:
    bool setIfFree(const QString& t) {
        if (busyAttempts > 0 && busyAttempts--)
            return false;
        text = t;
        return true;
    }
};

class FakeShell : public Shell {
public:
    std::vector<QString> openedFolders, openedFiles;
    bool openFolder(const QString& f) override { return openedFolders.push_back(f), true; }
    bool openFile(const QString& file) override { return openedFiles.push_back(file), true; }
};

// A main window over scripted platform pieces, after its start-up ran.
struct Harness {
    // A clipboard given stands in for the fake one.
    explicit Harness(const QString& programFolder = QString(), Clipboard* realClipboard = nullptr);

    QTemporaryDir programDir;
    FakeDialogs dialogs;
    ScriptedYield yield;
    FakeSettings settings;
    FakeClipboard clipboard;
    FakeShell shell;
    Services services;
    std::unique_ptr<Form1> form;

    ListControl& searchList() { return *form->ListView1; }
    ListControl& results() { return *form->ListView2; }
    // Adds the folders to the search list and runs a search to its end; the
    // results' texts.
    QStringList search(const QStringList& folders);
    // The same for one folder: each result's path below it, with the reason
    // it is hidden.
    QMap<QString, int> reasonsBelow(const QString& folder);
};

// The lists as the user sees them.
inline void fillList(ListControl& list, const QStringList& texts) {
    for (const QString& t : texts) list.Add(t);
    list.entries().publish();  // the view shows them at once
}

inline QStringList textsOf(const ListControl& list) {
    QStringList out;
    for (int i = 1; i <= list.Count(); ++i) out << list.Text(i);
    return out;
}

// A click, or a double-click, on the row of the entry at a 1-based position.
inline void clickEntry(ListControl& list, int index, bool twice = false) {
    const QPoint at = list.visualRect(list.model()->index(index - 1, 0)).center();
    twice ? QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at)
          : QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
}

// For the result tools' tests: a list with any number of columns, a small
// real disk, the files a folder holds, and a look inside written workbooks.

// Rows of cells with a check mark each.
struct TableList : ColumnList {
    struct Row {
        QStringList cells;
        bool checked = true;
    };
    QStringList captions{QStringLiteral("Results")};
    std::vector<Row> rows;

    int Count() const override { return int(rows.size()); }
    int ColumnCount() const override { return int(captions.size()); }
    QString ColumnText(int c) const override { return captions.value(c - 1); }
    QString Cell(int r, int c) const override { return row(r).cells.value(c - 1); }
    bool Checked(int r) const override { return row(r).checked; }
    const Row& row(int r) const {
        if (r < 1 || r > Count())
            throw Failure(QStringLiteral("Index out of bounds"));
        return rows[size_t(r - 1)];
    }
};

// A tmpfs mounted with `options` over `folder` until the test ends; none
// when `options` is null. Mounting needs root: elsewhere the test is skipped.
#define SMALL_DISK_OR_SKIP(folder, options)                                                \
    const char* const diskOptions = (options);                                             \
    const QByteArray diskPoint = QFile::encodeName(folder);                                \
    if (diskOptions && ::mount("tarnwell-test", diskPoint, "tmpfs", 0, diskOptions) != 0)  \
        QSKIP(qPrintable(QString("cannot mount a tmpfs (%1)").arg(std::strerror(errno)))); \
    const auto unmountDisk = qScopeGuard([&] { diskOptions&& ::umount2(diskPoint, MNT_DETACH); })

// Sorted, as a listing's order says nothing.
inline QStringList filesUnder(const QString& folder) {
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) names << it.next().mid(folder.size() + 1);
    names.sort();
    return names;
}

// One member of a workbook's zip, as unzip gives it ("" when it is missing).
inline QString unzipped(const QString& workbook, const QString& member) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), workbook, member});
    unzip.waitForFinished(60000);
    return QString::fromUtf8(unzip.readAllStandardOutput());
}

}  // namespace tarnwell::test
