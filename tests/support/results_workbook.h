#pragma once

// The spreadsheet side of the workbook tests: a host that records what it is
// told, a reader for written workbooks, and a trace of the window's pointer.

#include <QObject>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <vector>

#include "platform/spreadsheet.h"

class QWidget;

namespace tarnwell {
class MousePointer;
}

namespace tarnwell::test {

// Records every call; can be told there is no application.
class FakeSpreadsheetHost : public SpreadsheetHost {
public:
    bool present = true;
    int applications = 0;
    std::vector<QString> calls;  // "add", "visible", "cell 2 1 text", "fit 1", "fit all", "finish"
    std::unique_ptr<SpreadsheetApp> createApplication() override;
};

// A written .xlsx, read back with unzip.
struct Workbook {
    struct Sheet {
        std::map<QString, QString> cells;  // "A1" -> text
        std::map<QString, QString> types;  // "A1" -> the cell's t attribute
        bool hasFormula = false;
        std::map<int, double> widths;  // column (from 1) -> width
    };
    std::vector<Sheet> sheets;
    QStringList entries;  // the zip's member names
};
Workbook readWorkbook(const QString& path);

// The pointer values the window went through, one per change.
class PointerTrace : public QObject {
public:
    PointerTrace(QWidget& form, const MousePointer& pointer);
    std::vector<int> values;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const MousePointer& pointer_;
};

}  // namespace tarnwell::test
