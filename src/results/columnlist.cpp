#include "results/columnlist.h"

#include "ui/listcontrol.h"

namespace tarnwell {

int ListControlColumns::Count() const {
    return list_.Count();
}

int ListControlColumns::ColumnCount() const {
    return list_.ColumnCount();
}

QString ListControlColumns::ColumnText(int column) const {
    return list_.ColumnText(column);
}

QString ListControlColumns::Cell(int index, int column) const {
    return column == 1 ? list_.Text(index) : list_.SubItems(index, column - 1);
}

bool ListControlColumns::Checked(int index) const {
    return list_.Checked(index);
}

}  // namespace tarnwell
