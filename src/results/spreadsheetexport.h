#pragma once

namespace tarnwell {

class ColumnList;
class ErrorTrap;
struct Window;

// "Save Results As Excel File".
void saveResultsAsWorkbook(Window& window, ErrorTrap& trap);

// Whether a spreadsheet application is there; tells the user when it is not.
// Never fails.
bool ExcelInstalled(Window& window);

// Steps 3 to 11 for any list: fills a new workbook and shows it. Stops at the
// first failure, which is reported once; the workbook is then dropped.
void fillWorkbook(Window& window, ErrorTrap& trap, const ColumnList& list);

}  // namespace tarnwell
