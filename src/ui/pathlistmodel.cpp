#include "ui/pathlistmodel.h"

#include <QFile>
#include <QMimeData>
#include <algorithm>
#include <limits>
#include <new>

#include "desktop/filemanager.h"

namespace tarnwell {

namespace {
// Telling the view of a few removed rows keeps its scroll position and
// selection; past this many, one reset is cheaper than a relayout per row.
constexpr size_t kRowByRowRemovalLimit = 16;
// A name's place is its chunk and its offset in one 32-bit word: 4096
// chunks of 1 MiB, 4 GiB of names.
constexpr int kChunkBits = 20;
constexpr size_t kChunkBytes = size_t(1) << kChunkBits;
constexpr size_t kMaxChunks = size_t(1) << (32 - kChunkBits);
// A file system's names are at most 255 bytes; a longer "name" (a typed
// path without slashes) keeps its head with the folder part.
constexpr qsizetype kMaxName = 0xffff;

// Where a path is cut into its folder and its name.
qsizetype nameStart(QByteArrayView path) {
    return std::max(path.lastIndexOf('/') + 1, path.size() - kMaxName);
}

using Chunks = std::vector<std::vector<char>>;

// Packs a name into the last chunk, or a new one, and says where it went.
std::uint32_t placeName(Chunks& chunks, QByteArrayView name) {
    const size_t length = size_t(name.size());
    if (chunks.empty() || kChunkBytes - chunks.back().size() < length) {
        if (chunks.size() == kMaxChunks)
            throw std::bad_alloc();
        chunks.emplace_back();
        chunks.back().reserve(kChunkBytes);
    }
    std::vector<char>& chunk = chunks.back();
    const auto place = std::uint32_t(((chunks.size() - 1) << kChunkBits) | chunk.size());
    chunk.insert(chunk.end(), name.data(), name.data() + length);
    return place;
}

QByteArrayView nameAt(const Chunks& chunks, std::uint32_t place, std::uint16_t length) {
    return QByteArrayView(chunks[place >> kChunkBits].data() + (place & (kChunkBytes - 1)), length);
}
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

// Entries come in runs from one folder, so only the last folder is tried.
// There are never more folders than entries, whose count is an int, so an
// index always fits.
std::uint32_t PathListModel::folderIndex(QByteArrayView folder) {
    if (folders_.empty() || folders_.back() != folder)
        folders_.emplace_back(folder.toByteArray());
    return std::uint32_t(folders_.size() - 1);
}

QByteArray PathListModel::bytes(int row) const {
    const Entry& e = entries_[size_t(row)];
    const QByteArray& folder = folders_[e.folder];
    QByteArray path;
    path.reserve(folder.size() + e.length);
    path.append(QByteArrayView(folder)).append(nameAt(chunks_, e.name, e.length));
    return path;
}

void PathListModel::append(QByteArrayView path, std::uint8_t tag, const FileIdentity& identity) {
    const qsizetype cut = nameStart(path);
    const QByteArrayView name = path.sliced(cut);
    const std::uint32_t folder = folderIndex(path.first(cut));
    // A new results entry is checked, so the exports carry the whole list
    // until the user unchecks entries.
    entries_.push_back({folder, placeName(chunks_, name), std::uint16_t(name.size()),
                        std::uint8_t((tag << 1) | (checkable_ ? kChecked : 0)), identity.type,
                        identity.ino ? deviceIndex(identity.dev) : std::uint16_t(0), identity.ino});
    liveBytes_ += std::uint64_t(name.size());
    schedulePublish();
}

// Removed entries leave their names behind in the chunks, and maybe their
// folders; once the names outweigh the live ones the live entries are packed
// anew, with only the folders they still use.
void PathListModel::releaseRemoved(std::uint64_t bytes) {
    liveBytes_ -= bytes;
    deadBytes_ += bytes;
    if (deadBytes_ < kChunkBytes || deadBytes_ < liveBytes_)
        return;
    constexpr auto kGone = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::vector<char>> packed;
    std::vector<QByteArray> folders;
    std::vector<std::uint32_t> movedTo(folders_.size(), kGone);
    for (Entry& e : entries_) {
        e.name = placeName(packed, nameAt(chunks_, e.name, e.length));
        std::uint32_t& to = movedTo[e.folder];
        if (to == kGone) {
            to = std::uint32_t(folders.size());
            folders.push_back(std::move(folders_[e.folder]));
        }
        e.folder = to;
    }
    chunks_ = std::move(packed);
    folders_ = std::move(folders);
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
    std::vector<QByteArray>().swap(folders_);
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
            return QString::fromLocal8Bit(bytes(index.row()));
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
        const QByteArray path = bytes(row);
        uris += fileUri(path).toLatin1() + "\r\n";
        paths.append(path).append('\n');
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
