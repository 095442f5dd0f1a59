#pragma once

#include <QByteArray>
#include <QHeaderView>
#include <QTableView>
#include <cstdint>
#include <span>
#include <vector>

#include "fs/fileidentity.h"
#include "ui/pathlistmodel.h"

namespace tarnwell {

// One list of the main window: a report view with headed columns over a
// PathListModel. Positions are 1-based, as every command counts them.
//
// A table view rather than a tree view: a tree view lays out every row again
// whenever rows are added, which made a search that finds a million files
// spend most of its time there.
class ListControl : public QTableView {
    Q_OBJECT
public:
    explicit ListControl(bool checkable, QWidget* parent = nullptr);

    // The column headers.
    QHeaderView* header() const { return horizontalHeader(); }

    int Count() const { return model_.count(); }
    // The entry's text as shown; fails for a position outside the list.
    QString Text(int index) const;
    // The entry's exact bytes; fails for a position outside the list.
    QByteArray Bytes(int index) const;
    // The text of column k + 1 of an entry; always empty in this program.
    QString SubItems(int index, int k) const;
    bool Checked(int index) const;
    void SetChecked(int index, bool on);
    std::uint8_t Tag(int index) const;
    // What the entry was when it was added; unset (inode 0) when not known.
    FileIdentity Identity(int index) const;

    // Appends an entry and returns its position.
    int Add(const QByteArray& path, std::uint8_t tag = 0, const FileIdentity& identity = {});
    int Add(const QString& path);
    // Scrolls the entry into view when the view is next painted.
    void EnsureVisible(int index);
    void Remove(int index);
    // Removes the entries at the given positions (ascending) in one pass; the
    // same as removing them one by one from the highest down.
    void RemoveAll(std::span<const int> ascendingIndexes);
    void Clear();
    // The selected entry's position, or 0 when none is selected; the first
    // of them when several are.
    int SelectedIndex() const;
    // Lets the user select several entries (Shift and Ctrl clicks, Ctrl+A)
    // and drag them out to other programs.
    void AllowSelectingSeveral();
    // The positions of the selected entries, ascending.
    std::vector<int> SelectedIndexes() const;

    void AddColumn(const QString& header);
    void SetColumnWidth(int column, int twips);
    int ColumnCount() const { return model_.columns(); }
    QString ColumnText(int column) const;

    PathListModel& entries() { return model_; }

private:
    void checkIndex(int index) const;
    void scrollToPending();

    PathListModel model_;
    int scrollTarget_ = 0;
};

}  // namespace tarnwell
