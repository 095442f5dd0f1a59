#pragma once

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

#include "fs/fileidentity.h"

namespace tarnwell {

// The entries of one list: paths kept as the exact bytes the file system gave
// (Linux names need not be UTF-8), decoded only for display.
//
// The logic sees every entry the moment it is added, but the view is told of
// new rows in one batch per event-loop pass: telling it row by row costs a
// relayout each, which a million-row search cannot afford.
class PathListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PathListModel(bool checkable, QObject* parent = nullptr);

    int count() const { return int(entries_.size()); }
    // The entry's path, its exact bytes.
    QByteArray bytes(int row) const;
    bool checked(int row) const { return entries_[size_t(row)].flags & kChecked; }
    void setChecked(int row, bool on);
    std::uint8_t tag(int row) const { return std::uint8_t(entries_[size_t(row)].flags >> 1); }

    FileIdentity identity(int row) const {
        const Entry& e = entries_[size_t(row)];
        return {devices_[e.device], e.ino, e.type};
    }

    void append(QByteArrayView path, std::uint8_t tag, const FileIdentity& identity = {});
    void removeAt(int row);
    // Removes the given rows (ascending, no repeats) in one pass.
    void removeAscendingRows(std::span<const int> ascendingRows);
    void removeAll();

    // The tool tip of an entry, from its tag; unset, entries show the list's own.
    void setEntryToolTip(std::function<QString(std::uint8_t)> toolTip) {
        entryToolTip_ = std::move(toolTip);
    }

    void addColumn(const QString& header);
    int columns() const { return int(headers_.size()); }
    const QString& header(int column) const { return headers_[column]; }

    // Tells the view of every row added since the last time.
    void publish();
    int publishedRows() const { return published_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Entries may be dragged out to other programs as files.
    void setDraggable(bool on) { draggable_ = on; }
    QStringList mimeTypes() const override;
    // A file manager gets "text/uri-list" (file URIs over the paths' exact
    // bytes); a terminal or an editor gets "text/plain", a path a line.
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void published();

private:
    static constexpr std::uint8_t kChecked = 1;
    void schedulePublish();
    void releaseRemoved(std::uint64_t bytes);
    std::uint16_t deviceIndex(dev_t dev);
    std::uint32_t folderIndex(QByteArrayView folder);

    // A path is kept in two parts: its folder, once for all the entries
    // found in it, and its name, packed with the others into large chunks
    // rather than one allocation each. A million results then cost little
    // more than their names' bytes and 24 each, not their whole paths.
    // Devices are few, so an entry names its own by an index into devices_.
    struct Entry {
        std::uint32_t folder;  // an index into folders_
        std::uint32_t name;    // the chunk (high bits) and offset in it of the name
        std::uint16_t length;  // of the name
        std::uint8_t flags;    // bit 0: checked; bits 1-7: a tag the caller keeps
        std::uint8_t type;
        std::uint16_t device;
        std::uint64_t ino;
    };
    static_assert(sizeof(Entry) == 24);
    std::vector<dev_t> devices_{0};  // index 0: not known
    std::uint16_t lastDevice_ = 0;
    std::vector<QByteArray> folders_;  // each with its trailing "/", if any
    std::vector<std::vector<char>> chunks_;
    std::deque<Entry> entries_;    // grows without copying a million entries at a time
    std::uint64_t liveBytes_ = 0;  // of the names
    std::uint64_t deadBytes_ = 0;
    QStringList headers_;
    std::function<QString(std::uint8_t)> entryToolTip_;
    int published_ = 0;
    bool publishPending_ = false;
    bool checkable_;
    bool draggable_ = false;
};

}  // namespace tarnwell
