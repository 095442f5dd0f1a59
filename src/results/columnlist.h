#pragma once

#include <QString>

namespace tarnwell {

class ListControl;

// A list as the clipboard and workbook exports read it: entries with a check
// mark and one text per column. The exports are written for any number of
// columns, since the column handling decides their exact output even for the
// results list's single one.
class ColumnList {
public:
    virtual ~ColumnList() = default;
    virtual int Count() const = 0;
    virtual int ColumnCount() const = 0;
    // The caption of column c (from 1).
    virtual QString ColumnText(int column) const = 0;
    // The text of entry r in column c (both from 1); fails for an entry that
    // is gone.
    virtual QString Cell(int index, int column) const = 0;
    virtual bool Checked(int index) const = 0;
};

// The columns of a list control: its text in column 1, its SubItems after.
class ListControlColumns : public ColumnList {
public:
    explicit ListControlColumns(ListControl& list) : list_(list) {}
    int Count() const override;
    int ColumnCount() const override;
    QString ColumnText(int column) const override;
    QString Cell(int index, int column) const override;
    bool Checked(int index) const override;

private:
    ListControl& list_;
};

}  // namespace tarnwell
