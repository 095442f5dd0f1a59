#include "support/results_lists.h"

#include "platform/failure.h"

namespace tarnwell::test {

QString TableList::ColumnText(int column) const {
    if (column < 1 || column > ColumnCount())
        throw Failure(QStringLiteral("Index out of bounds"));
    return captions[column - 1];
}

QString TableList::Cell(int index, int column) const {
    if (index < 1 || index > Count())
        throw Failure(QStringLiteral("Index out of bounds"));
    const QStringList& cells = rows[size_t(index - 1)].cells;
    return column <= cells.size() ? cells[column - 1] : QString();
}

bool TableList::Checked(int index) const {
    if (index < 1 || index > Count())
        throw Failure(QStringLiteral("Index out of bounds"));
    return rows[size_t(index - 1)].checked;
}

}  // namespace tarnwell::test
