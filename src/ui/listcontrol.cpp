#include "ui/listcontrol.h"

#include <QFile>
#include <QHeaderView>
#include <algorithm>

#include "errors/failure.h"

namespace tarnwell {

namespace {
constexpr int kTwipsPerPixel = 15;
}  // namespace

ListControl::ListControl(bool checkable, QWidget* parent) : QTableView(parent), model_(checkable) {
    setModel(&model_);
    // One fixed height for every row, so a million rows cost the view nothing.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setStretchLastSection(false);
    connect(&model_, &PathListModel::published, this, &ListControl::scrollToPending);
}

void ListControl::checkIndex(int index) const {
    if (index < 1 || index > Count())
        throw Failure(QStringLiteral("Index out of bounds"));
}

QString ListControl::Text(int index) const {
    checkIndex(index);
    return QString::fromLocal8Bit(model_.bytes(index - 1));
}

QByteArray ListControl::Bytes(int index) const {
    checkIndex(index);
    return model_.bytes(index - 1);
}

QString ListControl::SubItems(int index, int /*k*/) const {
    checkIndex(index);
    return QString();
}

bool ListControl::Checked(int index) const {
    checkIndex(index);
    return model_.checked(index - 1);
}

void ListControl::SetChecked(int index, bool on) {
    checkIndex(index);
    model_.setChecked(index - 1, on);
}

std::uint8_t ListControl::Tag(int index) const {
    checkIndex(index);
    return model_.tag(index - 1);
}

FileIdentity ListControl::Identity(int index) const {
    checkIndex(index);
    return model_.identity(index - 1);
}

int ListControl::Add(const QByteArray& path, std::uint8_t tag, const FileIdentity& identity) {
    model_.append(path, tag, identity);
    return Count();
}

int ListControl::Add(const QString& path) {
    return Add(QFile::encodeName(path));
}

void ListControl::EnsureVisible(int index) {
    checkIndex(index);
    scrollTarget_ = index;
    if (model_.publishedRows() >= index)
        scrollToPending();
}

void ListControl::scrollToPending() {
    if (scrollTarget_ == 0)
        return;
    const int row = std::min(scrollTarget_, model_.publishedRows()) - 1;
    scrollTarget_ = 0;
    if (row >= 0)
        scrollTo(model_.index(row, 0));
}

void ListControl::Remove(int index) {
    checkIndex(index);
    model_.removeAt(index - 1);
}

void ListControl::RemoveAll(std::span<const int> ascendingIndexes) {
    std::vector<int> rows;
    rows.reserve(ascendingIndexes.size());
    for (int index : ascendingIndexes) {
        checkIndex(index);
        rows.push_back(index - 1);
    }
    model_.removeAscendingRows(rows);
}

void ListControl::Clear() {
    scrollTarget_ = 0;
    model_.removeAll();
}

int ListControl::SelectedIndex() const {
    int first = 0;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        if (first == 0 || range.top() + 1 < first)
            first = range.top() + 1;
    return first;
}

void ListControl::AllowSelectingSeveral() {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    model_.setDraggable(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
}

std::vector<int> ListControl::SelectedIndexes() const {
    // Read range by range: Ctrl+A over a million entries is one range, and
    // asking for every selected index would build a million of them.
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(row + 1);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void ListControl::AddColumn(const QString& header) {
    model_.addColumn(header);
    if (ColumnCount() == 1)
        setAccessibleName(header);
}

void ListControl::SetColumnWidth(int column, int twips) {
    if (column < 1 || column > ColumnCount())
        throw Failure(QStringLiteral("Index out of bounds"));
    setColumnWidth(column - 1, twips / kTwipsPerPixel);
}

QString ListControl::ColumnText(int column) const {
    if (column < 1 || column > ColumnCount())
        throw Failure(QStringLiteral("Index out of bounds"));
    return model_.header(column - 1);
}

}  // namespace tarnwell
