// tarnwell-workbook: writes one workbook in constant-memory mode from the
// cells the window streams to it (results/workbookstream.h says how). Each
// row goes to disk as soon as the next one begins, so a million rows cost no
// more memory than one; rows therefore arrive in order.

#include <unistd.h>
#include <xlsxwriter.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "results/workbookstream.h"

using namespace tarnwell::workbookstream;

namespace {

// Where the one line that says why goes: the library's own complaints are
// sent to /dev/null, so that the window reads ours alone.
FILE* report = stderr;

[[noreturn]] void fail(const char* why) {
    std::fprintf(report, "%s\n", why);
    std::fflush(report);
    std::_Exit(1);
}

// errno where the library left one, which says more than its own words.
void check(lxw_error error) {
    if (error != LXW_NO_ERROR)
        fail(errno != 0 ? std::strerror(errno) : lxw_strerror(error));
}

class Workbook {
public:
    Workbook(const char* path, const char* tmpdir, int rowsPerSheet)
        : rowsPerSheet_(std::max(2, rowsPerSheet)) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        // The rows waiting to be packed go beside the workbook, in the
        // private folder, rather than in a shared temporary folder.
        options.tmpdir = const_cast<char*>(tmpdir);
        book_ = workbook_new_opt(path, &options);
        if (!book_)
            fail("The workbook could not be created");
        sheet(0);
    }

    void setCell(uint32_t row, uint32_t column, const std::string& utf8, uint32_t width) {
        if (row == 1) {
            // Kept to head every further sheet too.
            if (header_.size() < column)
                header_.resize(column);
            header_[column - 1] = {utf8, width};
            write(0, 0, column, utf8, width);
            return;
        }
        // Row 1 of every sheet is the header, so each holds one row fewer
        // of entries than it has rows.
        const uint32_t dataRows = uint32_t(rowsPerSheet_ - 1);
        const uint32_t index = row - 2;
        write(index / dataRows, index % dataRows + 1, column, utf8, width);
    }

    void fitColumn(uint32_t column) {
        if (fitted_.size() < column)
            fitted_.resize(column);
        fitted_[column - 1] = true;
    }

    void fitAllColumns() { allFitted_ = true; }

    // There is no automatic fit: a column is as wide as its longest text.
    void finish() {
        for (Sheet& s : sheets_) {
            for (size_t c = 0; c < s.longest.size(); ++c) {
                const bool fit = allFitted_ || (c < fitted_.size() && fitted_[c]);
                if (!fit || s.longest[c] == 0)
                    continue;
                const double width = std::min(kMaxColumnWidth, double(s.longest[c]) + 1);
                errno = 0;
                check(worksheet_set_column(s.sheet, lxw_col_t(c), lxw_col_t(c), width, nullptr));
            }
        }
        errno = 0;
        check(workbook_close(book_));
    }

private:
    struct Sheet {
        lxw_worksheet* sheet;
        std::vector<uint32_t> longest;  // per column, in characters
    };
    struct Caption {
        std::string utf8;
        uint32_t width = 0;
    };

    Sheet& sheet(uint32_t index) {
        while (sheets_.size() <= index) {
            errno = 0;
            lxw_worksheet* ws = workbook_add_worksheet(book_, nullptr);
            if (!ws)
                fail(errno != 0 ? std::strerror(errno) : "The worksheet could not be created");
            sheets_.push_back({ws, {}});
            // A further sheet starts with the header row, like the first.
            if (sheets_.size() > 1)
                for (size_t c = 0; c < header_.size(); ++c)
                    write(uint32_t(sheets_.size() - 1), 0, uint32_t(c + 1), header_[c].utf8,
                          header_[c].width);
        }
        return sheets_[index];
    }

    void write(uint32_t sheetIndex, lxw_row_t row, uint32_t column, const std::string& utf8,
               uint32_t width) {
        Sheet& s = sheet(sheetIndex);
        if (utf8.empty())
            return;  // an empty cell is no cell
        errno = 0;
        check(worksheet_write_string(s.sheet, row, lxw_col_t(column - 1), utf8.c_str(), nullptr));
        if (s.longest.size() < column)
            s.longest.resize(column);
        s.longest[column - 1] = std::max(s.longest[column - 1], width);
    }

    int rowsPerSheet_;
    lxw_workbook* book_ = nullptr;
    std::vector<Sheet> sheets_;
    std::vector<Caption> header_;
    std::vector<bool> fitted_;
    bool allFitted_ = false;
};

// The window is gone, or dropped the workbook: nothing is to be kept, and
// ending lets go of what the library holds.
void readOrEnd(void* into, size_t size) {
    if (size != 0 && std::fread(into, size, 1, stdin) != 1)
        std::_Exit(1);
}

}  // namespace

int main(int argc, char* argv[]) {
    const int reportFd = ::dup(STDERR_FILENO);
    if (reportFd >= 0 && (report = ::fdopen(reportFd, "w")) != nullptr)
        std::freopen("/dev/null", "w", stderr);
    else
        report = stderr;
    if (argc != 4)
        fail("usage: tarnwell-workbook TMPDIR WORKBOOK ROWS_PER_SHEET");
    static char buffer[1 << 16];
    std::setvbuf(stdin, buffer, _IOFBF, sizeof buffer);
    Workbook book(argv[2], argv[1], std::atoi(argv[3]));
    std::string text;
    for (;;) {
        Record r;
        readOrEnd(&r, sizeof r);
        const bool inSheet = r.column >= 1 && r.column <= kMaxColumns;
        if (r.op == Cell && r.row >= 1 && inSheet) {
            text.resize(r.size);
            readOrEnd(text.data(), r.size);
            book.setCell(r.row, r.column, text, r.width);
        } else if (r.op == FitColumn && inSheet) {
            book.fitColumn(r.column);
        } else if (r.op == FitAll) {
            book.fitAllColumns();
        } else if (r.op == Finish) {
            book.finish();
            return 0;
        } else {
            fail("The workbook writer was sent something it does not know");
        }
    }
}
