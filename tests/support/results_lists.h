#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "results/columnlist.h"

namespace tarnwell::test {

// Rows of cells with a check mark each; rows can be removed mid-export.
class TableList : public ColumnList {
public:
    struct Row {
        QStringList cells;
        bool checked = true;
    };
    QStringList captions{QStringLiteral("Results")};
    std::vector<Row> rows;

    int Count() const override { return int(rows.size()); }
    int ColumnCount() const override { return int(captions.size()); }
    QString ColumnText(int column) const override;
    QString Cell(int index, int column) const override;
    bool Checked(int index) const override;
};

}  // namespace tarnwell::test
