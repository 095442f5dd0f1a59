#pragma once

// What the window says to tarnwell-workbook, the program that writes a
// workbook with libxlsxwriter in a process of its own, so that whatever the
// library leaves open after a failure goes when that process ends. Plain
// C++: the writer links nothing of Qt.
//
//   tarnwell-workbook TMPDIR WORKBOOK ROWS_PER_SHEET
//
// The records come on stdin, each a header and then `size` bytes of UTF-8;
// the writer answers nothing until it ends. It exits 0 once the workbook is
// written after Finish; otherwise non-zero, with one line on stderr saying
// why. An end of stdin before Finish drops the workbook.

#include <cstdint>

namespace tarnwell::workbookstream {

enum Op : uint32_t {
    // A string cell at row and column (from 1), `width` characters wide.
    Cell = 1,
    // Column `column` is as wide as its longest text.
    FitColumn = 2,
    // Every column is.
    FitAll = 3,
    // The workbook is complete: write it out and end.
    Finish = 4,
};

struct Record {
    uint32_t op = 0;
    uint32_t row = 0;
    uint32_t column = 0;
    uint32_t width = 0;
    uint32_t size = 0;
};

// The widest column a sheet allows, in characters, and the most columns.
constexpr double kMaxColumnWidth = 255;
constexpr uint32_t kMaxColumns = 16384;

}  // namespace tarnwell::workbookstream
