#include "ui/pathlistmodel.h"

#include <QFile>
#include <QMimeData>
#include <algorithm>

#include "platform/filemanager.h"

namespace tarnwell {

namespace {
// Telling the view of a few removed rows keeps its scroll position and
// selection; past this many, one reset is cheaper than a relayout per row.
constexpr size_t kRowByRowRemovalLimit = 16;
constexpr size_t kChunkBytes = size_t(1) << 20;
}  // namespace

PathListModel::PathListModel(bool checkable, QObject* parent)
    : QAbstractTableModel(parent), checkable_(checkable) {}

void PathListModel::setChecked(int row, bool on) {
    auto& f = entries_[size_t(row)].flags;
    const std::uint8_t updated = on ? (f | kChecked) : (f & ~kChecked);
    if (updated == f)
        return;
    f = updated;
    if (row < published_) {
        const QModelIndex i = index(row, 0);
        emit dataChanged(i, i, {Qt::CheckStateRole});
    }
}

// A results list rarely spans more than a few devices, and runs of entries
// share one, so the last one found is tried first.
std::uint16_t PathListModel::deviceIndex(dev_t dev) {
    if (dev == devices_[lastDevice_])
        return lastDevice_;
    for (size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i] == dev)
            return lastDevice_ = std::uint16_t(i);
    // Past 65,535 devices an entry's device is not known: an action on it is
    // then refused as changed, never taken on the wrong file.
    if (devices_.size() > 0xffff)
        return 0;
    devices_.push_back(dev);
    return lastDevice_ = std::uint16_t(devices_.size() - 1);
}

void PathListModel::append(QByteArrayView path, std::uint8_t tag, const FileIdentity& identity) {
    const size_t length = size_t(path.size());
    if (chunks_.empty() || chunks_.back().capacity() - chunks_.back().size() < length) {
        chunks_.emplace_back();
        chunks_.back().reserve(std::max(kChunkBytes, length));
    }
    std::vector<char>& chunk = chunks_.back();
    // A new results entry is checked, so the exports carry the whole list
    // until the user unchecks entries.
    entries_.push_back({std::uint32_t(chunks_.size() - 1), std::uint32_t(chunk.size()),
                        std::uint32_t(length),
                        std::uint8_t((tag << 1) | (checkable_ ? kChecked : 0)), identity.type,
                        identity.ino ? deviceIndex(identity.dev) : std::uint16_t(0), identity.ino});
    chunk.insert(chunk.end(), path.data(), path.data() + length);
    liveBytes_ += length;
    schedulePublish();
}

// Removed entries leave their bytes behind in the chunks; once they outweigh
// the live ones the live entries are packed into fresh chunks.
void PathListModel::releaseRemoved(std::uint64_t bytes) {
    liveBytes_ -= bytes;
    deadBytes_ += bytes;
    if (deadBytes_ < kChunkBytes || deadBytes_ < liveBytes_)
        return;
    std::vector<std::vector<char>> packed;
    for (Entry& e : entries_) {
        if (packed.empty() || packed.back().capacity() - packed.back().size() < e.length) {
            packed.emplace_back();
            packed.back().reserve(std::max(kChunkBytes, size_t(e.length)));
        }
        const char* from = chunks_[e.chunk].data() + e.offset;
        e.chunk = std::uint32_t(packed.size() - 1);
        e.offset = std::uint32_t(packed.back().size());
        packed.back().insert(packed.back().end(), from, from + e.length);
    }
    chunks_ = std::move(packed);
    deadBytes_ = 0;
}

void PathListModel::schedulePublish() {
    if (publishPending_)
        return;
    publishPending_ = true;
    QMetaObject::invokeMethod(this, &PathListModel::publish, Qt::QueuedConnection);
}

void PathListModel::publish() {
    publishPending_ = false;
    const int total = count();
    if (published_ < total) {
        beginInsertRows(QModelIndex(), published_, total - 1);
        published_ = total;
        endInsertRows();
    }
    emit published();
}

void PathListModel::removeAt(int row) {
    const bool shown = row < published_;
    if (shown)
        beginRemoveRows(QModelIndex(), row, row);
    const std::uint32_t length = entries_[size_t(row)].length;
    entries_.erase(entries_.begin() + row);
    releaseRemoved(length);
    if (shown) {
        --published_;
        endRemoveRows();
    }
}

void PathListModel::removeAscendingRows(std::span<const int> rows) {
    if (rows.empty())
        return;
    if (rows.size() <= kRowByRowRemovalLimit) {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) removeAt(*it);
        return;
    }
    beginResetModel();
    size_t out = size_t(rows.front());
    size_t next = 0;
    std::uint64_t removed = 0;
    for (size_t in = out; in < entries_.size(); ++in) {
        if (next < rows.size() && size_t(rows[next]) == in) {
            ++next;
            removed += entries_[in].length;
            continue;
        }
        entries_[out++] = entries_[in];
    }
    entries_.resize(out);
    releaseRemoved(removed);
    // The reset shows the view every remaining row anew.
    published_ = count();
    endResetModel();
}

void PathListModel::removeAll() {
    if (entries_.empty())
        return;
    beginResetModel();
    // Give the memory back: a cleared million-entry list should not keep it.
    std::deque<Entry>().swap(entries_);
    std::vector<std::vector<char>>().swap(chunks_);
    liveBytes_ = deadBytes_ = 0;
    published_ = 0;
    endResetModel();
}

void PathListModel::addColumn(const QString& header) {
    beginInsertColumns(QModelIndex(), columns(), columns());
    headers_.append(header);
    endInsertColumns();
}

int PathListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : published_;
}

int PathListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns();
}

QVariant PathListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= published_ || index.column() != 0)
        return {};
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromLocal8Bit(view(index.row()));
        case Qt::ToolTipRole:
            if (entryToolTip_)
                return entryToolTip_(tag(index.row()));
            return {};
        case Qt::CheckStateRole:
            if (checkable_)
                return checked(index.row()) ? Qt::Checked : Qt::Unchecked;
            return {};
        default:
            return {};
    }
}

bool PathListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!checkable_ || role != Qt::CheckStateRole || !index.isValid() || index.row() >= published_)
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags PathListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (checkable_ && index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    if (draggable_ && index.isValid())
        f |= Qt::ItemIsDragEnabled;
    return f;
}

QStringList PathListModel::mimeTypes() const {
    return {QStringLiteral("text/uri-list"), QStringLiteral("text/plain")};
}

QMimeData* PathListModel::mimeData(const QModelIndexList& indexes) const {
    std::vector<int> rows;
    rows.reserve(size_t(indexes.size()));
    for (const QModelIndex& i : indexes)
        if (i.isValid() && i.row() < published_)
            rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty())
        return nullptr;
    QByteArray uris, paths;
    for (int row : rows) {
        uris += fileUri(view(row).toByteArray()).toLatin1() + "\r\n";
        paths.append(view(row)).append('\n');
    }
    auto* data = new QMimeData;
    data->setData(QStringLiteral("text/uri-list"), uris);
    // The exact bytes: a name that is not UTF-8 still names its file when
    // pasted into a terminal.
    data->setData(QStringLiteral("text/plain"), paths);
    return data;
}

Qt::DropActions PathListModel::supportedDragActions() const {
    // A move is the receiver's to do; the entry stays until the list is
    // searched again.
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

QVariant PathListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columns())
        return headers_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

}  // namespace tarnwell
