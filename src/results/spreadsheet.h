#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace tarnwell {

class Shell;

// One session with the spreadsheet application: a new workbook whose active
// sheet is filled cell by cell. Every operation may fail (throws Failure).
class SpreadsheetApp {
public:
    virtual ~SpreadsheetApp() = default;
    virtual void addWorkbook() = 0;
    // The user is to see the workbook.
    virtual void makeVisible() = 0;
    // Row and column from 1. The text is always a string value, never a
    // formula, whatever it begins with.
    virtual void setCell(int row, int column, const QString& text) = 0;
    virtual void fitColumn(int column) = 0;
    virtual void fitAllColumns() = 0;
    // The workbook is complete. A session dropped before this leaves nothing
    // behind and shows the user nothing.
    virtual void finish() = 0;
};

// Where spreadsheet sessions come from.
class SpreadsheetHost {
public:
    virtual ~SpreadsheetHost() = default;
    // Fails when there is no spreadsheet application.
    virtual std::unique_ptr<SpreadsheetApp> createApplication() = 0;
};

// Writes each workbook as an .xlsx file of its own into a private folder and,
// once it is complete, opens it in the desktop's spreadsheet application,
// where the user looks at it and saves it wherever they like: as a new,
// untitled document where the application can make one from the file. The
// folder keeps a workbook for a week, for the application to read.
class XlsxSpreadsheetHost : public SpreadsheetHost {
public:
    struct Options {
        // Where workbooks are written; empty: the user's cache folder.
        QString folder;
        // Whether an application is there to open them; empty: ask the desktop.
        std::function<bool()> applicationPresent;
        // Rows per sheet, header row included; a longer list goes on over
        // further sheets, each starting with the header row again.
        int rowsPerSheet = 1048576;
        // The program that writes them; empty: tarnwell-workbook beside this
        // program's executable, where it is installed.
        QString writer;
    };

    explicit XlsxSpreadsheetHost(Shell& shell);
    XlsxSpreadsheetHost(Shell& shell, Options options);

    std::unique_ptr<SpreadsheetApp> createApplication() override;

    // $XDG_CACHE_HOME/tarnwell, or ~/.cache/tarnwell.
    static QString defaultFolder();
    // An application is registered for .xlsx files, or a known spreadsheet
    // program is on the PATH.
    static bool desktopHasSpreadsheetApplication();

private:
    Shell& shell_;
    Options options_;
};

}  // namespace tarnwell
