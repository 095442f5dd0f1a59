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

// For any list: fills a new workbook and shows it. A failure is
// reported once. When the list changed under the export, the rows written so
// far are finished and shown; when the workbook itself failed, it is dropped.
void fillWorkbook(Window& window, ErrorTrap& trap, const ColumnList& list);

}  // namespace tarnwell
