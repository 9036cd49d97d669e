#include "CheckList.h"

#include "SysUtils.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>

namespace {

// Below this many changes a view is told row by row; above, it is reset.
constexpr size_t kRowSignalLimit = 64;

bool entryLess(const std::string& a, const std::string& b) { return CompareListEntries(a, b) < 0; }

// Eight bytes of a text from position from, case-folded, as one number
// whose order is the list order of those bytes (texts padded with zero
// bytes). Two texts whose keys differ compare as their keys do; equal keys
// need the full comparison.
uint64_t orderKey(const std::string& t, size_t from)
{
    uint64_t k = 0;
    for (size_t i = from; i < from + 8; ++i)
        k = (k << 8) | (i < t.size() ? FoldByte(static_cast<unsigned char>(t[i])) : 0u);
    return k;
}

// The stable sorted order of n texts: positions into them, equal texts in
// their original order.
template <typename TextAt>
std::vector<uint32_t> sortedOrder(size_t n, TextAt textAt)
{
    // The first sixteen folded bytes decide most comparisons without
    // reaching into the texts themselves.
    struct Key {
        uint64_t head;
        uint64_t next;
        uint32_t pos;
    };
    std::vector<Key> keys(n);
    for (size_t i = 0; i < n; ++i) {
        const std::string& t = textAt(i);
        keys[i] = Key{orderKey(t, 0), orderKey(t, 8), static_cast<uint32_t>(i)};
    }
    std::sort(keys.begin(), keys.end(), [&textAt](const Key& a, const Key& b) {
        if (a.head != b.head)
            return a.head < b.head;
        if (a.next != b.next)
            return a.next < b.next;
        const int c = CompareListEntries(textAt(a.pos), textAt(b.pos));
        return c != 0 ? c < 0 : a.pos < b.pos;
    });
    std::vector<uint32_t> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = keys[i].pos;
    return order;
}

// Entries in list order, stably: equal entries keep their order.
std::vector<TCheckEntry> sortEntries(std::vector<TCheckEntry> entries)
{
    const auto order = sortedOrder(entries.size(), [&entries](size_t i) -> const std::string& { return entries[i].text; });
    std::vector<TCheckEntry> sorted;
    sorted.reserve(entries.size());
    for (uint32_t k : order)
        sorted.push_back(std::move(entries[k]));
    return sorted;
}

} // namespace

int CompareListEntries(const std::string& a, const std::string& b)
{
    // CompareText, then plain byte order; written to skip runs of identical
    // bytes eight at a time, as sorted neighbours share long beginnings.
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a.data());
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b.data());
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    for (;;) {
        while (i + 8 <= n) {
            uint64_t u, v;
            std::memcpy(&u, x + i, 8);
            std::memcpy(&v, y + i, 8);
            if (u != v)
                break;
            i += 8;
        }
        while (i < n && x[i] == y[i])
            ++i;
        if (i == n)
            break;
        const unsigned char fx = FoldByte(x[i]), fy = FoldByte(y[i]);
        if (fx != fy)
            return fx < fy ? -1 : 1;
        ++i;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int d = std::memcmp(x, y, n);
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

TCheckListModel::TCheckListModel(QObject* parent) : QAbstractListModel(parent) {}

void TCheckListModel::checkIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
}

void TCheckListModel::scheduleFlush()
{
    if (flushScheduled_ || !QCoreApplication::instance())
        return;
    flushScheduled_ = true;
    QMetaObject::invokeMethod(this, [this] { Flush(); }, Qt::QueuedConnection);
}

void TCheckListModel::setItemIndexQuiet(int index)
{
    if (itemIndex_ != index) {
        itemIndex_ = index;
        emit ItemIndexChanged(index);
    }
}

void TCheckListModel::endResetAt(int newCurrent)
{
    const int oldCurrent = itemIndex_;
    itemIndex_ = newCurrent;
    endResetModel();
    if (itemIndex_ != oldCurrent)
        emit ItemIndexChanged(itemIndex_);
}

void TCheckListModel::Flush()
{
    flushScheduled_ = false;
    if (pending_.empty())
        return;
    const int oldCurrent = itemIndex_;
    {
        const auto order = sortedOrder(pending_.size(), [this](size_t i) -> const std::string& { return pending_[i]; });
        std::vector<std::string> sorted;
        sorted.reserve(pending_.size());
        for (uint32_t k : order)
            sorted.push_back(std::move(pending_[k]));
        pending_ = std::move(sorted);
    }

    if (pending_.size() <= kRowSignalLimit && !items_.empty()) {
        // Few additions: insert each at its place and tell views row by row.
        for (auto& text : pending_) {
            const int pos = static_cast<int>(items_.upperBound(text, entryLess));
            beginInsertRows(QModelIndex(), pos, pos);
            items_.insert(static_cast<size_t>(pos), TCheckEntry{std::move(text), false});
            endInsertRows();
            if (itemIndex_ >= pos)
                ++itemIndex_;
        }
        pending_.clear();
        if (itemIndex_ != oldCurrent)
            emit ItemIndexChanged(itemIndex_);
        return;
    }

    // Many additions: one stable merge (existing entries before equal new
    // ones), following the current entry to its new position.
    beginResetModel();
    std::vector<TCheckEntry> old = items_.take();
    std::vector<TCheckEntry> merged;
    merged.reserve(old.size() + pending_.size());
    size_t i = 0, j = 0;
    int newCurrent = -1;
    while (i < old.size() || j < pending_.size()) {
        const bool takeOld = j >= pending_.size() || (i < old.size() && !entryLess(pending_[j], old[i].text));
        if (takeOld) {
            if (static_cast<int>(i) == itemIndex_)
                newCurrent = static_cast<int>(merged.size());
            merged.push_back(std::move(old[i++]));
        } else {
            merged.push_back(TCheckEntry{std::move(pending_[j++]), false});
        }
    }
    items_.assign(std::move(merged));
    pending_.clear();
    pending_.shrink_to_fit();
    endResetAt(newCurrent);
}

const std::string& TCheckListModel::Text(int index)
{
    Flush();
    checkIndex(index);
    return items_[static_cast<size_t>(index)].text;
}

void TCheckListModel::SetText(int index, const std::string& text)
{
    Flush();
    checkIndex(index);
    items_[static_cast<size_t>(index)].text = text;
    noEqualNeighbours_ = false;
    const QModelIndex mi = createIndex(index, 0);
    emit dataChanged(mi, mi);
}

void TCheckListModel::Add(const std::string& text) { Add(std::string(text)); }

void TCheckListModel::Add(std::string&& text)
{
    noEqualNeighbours_ = false;
    if (!sorted_) {
        Flush();
        const int pos = static_cast<int>(items_.size());
        beginInsertRows(QModelIndex(), pos, pos);
        items_.push_back(TCheckEntry{std::move(text), false});
        endInsertRows();
        return;
    }
    pending_.push_back(std::move(text));
    scheduleFlush();
}

void TCheckListModel::Insert(int index, const std::string& text)
{
    Flush();
    if (index < 0 || index > static_cast<int>(items_.size()))
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    beginInsertRows(QModelIndex(), index, index);
    items_.insert(static_cast<size_t>(index), TCheckEntry{text, false});
    endInsertRows();
    noEqualNeighbours_ = false;
    if (itemIndex_ >= index)
        setItemIndexQuiet(itemIndex_ + 1);
}

void TCheckListModel::Delete(int index)
{
    Flush();
    checkIndex(index);
    beginRemoveRows(QModelIndex(), index, index);
    items_.erase(static_cast<size_t>(index));
    endRemoveRows();
    // Out of order, the entries either side may be equal.
    if (!sorted_)
        noEqualNeighbours_ = false;
    if (itemIndex_ == index)
        setItemIndexQuiet(-1);
    else if (itemIndex_ > index)
        setItemIndexQuiet(itemIndex_ - 1);
}

void TCheckListModel::Clear()
{
    beginResetModel();
    items_.clear();
    pending_.clear();
    noEqualNeighbours_ = true;
    pending_.shrink_to_fit();
    endResetModel();
    setItemIndexQuiet(-1);
}

bool TCheckListModel::Checked(int index)
{
    Flush();
    checkIndex(index);
    return items_[static_cast<size_t>(index)].checked;
}

void TCheckListModel::SetChecked(int index, bool checked)
{
    Flush();
    checkIndex(index);
    auto& e = items_[static_cast<size_t>(index)];
    if (e.checked == checked)
        return;
    e.checked = checked;
    const QModelIndex mi = createIndex(index, 0);
    emit dataChanged(mi, mi, {Qt::CheckStateRole});
}

int TCheckListModel::ItemIndex()
{
    Flush();
    return itemIndex_;
}

void TCheckListModel::SetItemIndex(int index)
{
    Flush();
    if (index < -1 || index >= static_cast<int>(items_.size()))
        index = -1;
    setItemIndexQuiet(index);
}

void TCheckListModel::SetSorted(bool sorted)
{
    Flush();
    if (sorted == sorted_)
        return;
    sorted_ = sorted;
    if (!sorted)
        return;
    // Resuming: sort again, following the current entry.
    std::vector<TCheckEntry> all = items_.take();
    const auto order = sortedOrder(all.size(), [&all](size_t i) -> const std::string& { return all[i].text; });
    beginResetModel();
    std::vector<TCheckEntry> sortedItems;
    sortedItems.reserve(all.size());
    int newCurrent = -1;
    for (size_t k = 0; k < order.size(); ++k) {
        if (static_cast<int>(order[k]) == itemIndex_)
            newCurrent = static_cast<int>(k);
        sortedItems.push_back(std::move(all[order[k]]));
    }
    items_.assign(std::move(sortedItems));
    noEqualNeighbours_ = false;
    endResetAt(newCurrent);
}

int TCheckListModel::RemoveAdjacentDuplicates()
{
    Flush();
    std::vector<int> removed;
    int k = 0;
    const std::string* previous = nullptr;
    items_.forEach([&](const TCheckEntry& e) {
        if (previous && e.text == *previous)
            removed.push_back(k);
        previous = &e.text;
        ++k;
    });
    const int n = removeRowsAt(removed);
    noEqualNeighbours_ = true;
    return n;
}

int TCheckListModel::MergeUnique(std::vector<std::string> texts)
{
    Flush();
    if (!sorted_) {
        const int start = Count();
        for (auto& t : texts)
            Add(std::move(t));
        RemoveAdjacentDuplicates();
        return Count() - start;
    }
    if (!noEqualNeighbours_)
        RemoveAdjacentDuplicates();
    // The new texts in list order, each once, and only those no entry has.
    const auto order = sortedOrder(texts.size(), [&texts](size_t i) -> const std::string& { return texts[i]; });
    std::vector<std::string> fresh;
    for (uint32_t k : order) {
        std::string& t = texts[k];
        if (!fresh.empty() && fresh.back() == t)
            continue;
        const size_t pos = items_.upperBound(t, entryLess);
        if (pos > 0 && items_[pos - 1].text == t)
            continue;
        fresh.push_back(std::move(t));
    }
    if (fresh.empty())
        return 0;

    // Few: a view is told row by row. Many: once, by a reset.
    const bool rowByRow = fresh.size() <= kRowSignalLimit;
    const int oldCurrent = itemIndex_;
    if (!rowByRow)
        beginResetModel();
    for (auto& t : fresh) {
        const int pos = static_cast<int>(items_.upperBound(t, entryLess));
        if (rowByRow)
            beginInsertRows(QModelIndex(), pos, pos);
        items_.insert(static_cast<size_t>(pos), TCheckEntry{std::move(t), false});
        if (rowByRow)
            endInsertRows();
        if (itemIndex_ >= pos)
            ++itemIndex_;
    }
    if (!rowByRow)
        endResetModel();
    if (itemIndex_ != oldCurrent)
        emit ItemIndexChanged(itemIndex_);
    return static_cast<int>(fresh.size());
}

int TCheckListModel::DeleteChecked()
{
    Flush();
    std::vector<int> removed;
    int k = 0;
    items_.forEach([&](const TCheckEntry& e) {
        if (e.checked)
            removed.push_back(k);
        ++k;
    });
    return removeRowsAt(removed);
}

int TCheckListModel::DeleteRows(const std::vector<int>& rows)
{
    Flush();
    for (int row : rows)
        checkIndex(row);
    return removeRowsAt(rows);
}

int TCheckListModel::removeRowsAt(const std::vector<int>& rows)
{
    if (rows.empty())
        return 0;
    // Few rows: remove them one by one from the end, so a view is told
    // precisely. Many: one compacting pass and a reset.
    if (rows.size() <= kRowSignalLimit) {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            Delete(*it);
        return static_cast<int>(rows.size());
    }
    beginResetModel();
    std::vector<TCheckEntry> all = items_.take();
    size_t out = 0;
    size_t next = 0; // next entry of rows to skip
    int newCurrent = -1;
    for (size_t k = 0; k < all.size(); ++k) {
        if (next < rows.size() && static_cast<size_t>(rows[next]) == k) {
            ++next;
            continue;
        }
        if (static_cast<int>(k) == itemIndex_)
            newCurrent = static_cast<int>(out);
        if (out != k)
            all[out] = std::move(all[k]);
        ++out;
    }
    all.resize(out);
    items_.assign(std::move(all));
    if (!sorted_)
        noEqualNeighbours_ = false;
    endResetAt(newCurrent);
    return static_cast<int>(rows.size());
}

void TCheckListModel::Assign(std::vector<std::string> texts)
{
    // The new entries are made and sorted before the list is touched, so a
    // list too large for memory leaves the old one (and its views) intact.
    std::vector<TCheckEntry> fresh;
    fresh.reserve(texts.size());
    for (auto& t : texts)
        fresh.push_back(TCheckEntry{std::move(t), false});
    const auto less = [](const TCheckEntry& a, const TCheckEntry& b) { return entryLess(a.text, b.text); };
    // Lists read back from a file are mostly in order already.
    if (sorted_ && !std::is_sorted(fresh.begin(), fresh.end(), less))
        fresh = sortEntries(std::move(fresh));
    beginResetModel();
    items_.assign(std::move(fresh));
    pending_.clear();
    noEqualNeighbours_ = false;
    endResetAt(-1);
}

std::vector<std::string> TCheckListModel::Texts()
{
    Flush();
    std::vector<std::string> out;
    out.reserve(items_.size());
    items_.forEach([&out](const TCheckEntry& e) { out.push_back(e.text); });
    return out;
}

void TCheckListModel::ForEachText(const std::function<void(int, const std::string&)>& f)
{
    Flush();
    int k = 0;
    items_.forEach([&](const TCheckEntry& e) { f(k++, e.text); });
}

void TCheckListModel::ForEachText(int from, int count, const std::function<void(int, const std::string&)>& f)
{
    Flush();
    if (from < 0 || count <= 0)
        return;
    int k = from;
    items_.forEachFrom(static_cast<size_t>(from), static_cast<size_t>(count),
                       [&](const TCheckEntry& e) { f(k++, e.text); });
}

int TCheckListModel::CheckedCount()
{
    Flush();
    int n = 0;
    items_.forEach([&n](const TCheckEntry& e) { n += e.checked ? 1 : 0; });
    return n;
}

int TCheckListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant TCheckListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= static_cast<int>(items_.size()))
        return {};
    const auto& e = items_[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        return toQt(e.text);
    case Qt::CheckStateRole:
        return e.checked ? Qt::Checked : Qt::Unchecked;
    default:
        return {};
    }
}

bool TCheckListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() < 0 || index.row() >= static_cast<int>(items_.size()))
        return false;
    // The row is the one the view shows: merged entries only. Merging pending
    // additions first would move the entries under it, so the tick is set on
    // the merged entry directly.
    auto& e = items_[static_cast<size_t>(index.row())];
    const bool checked = value.toInt() == Qt::Checked;
    if (e.checked != checked) {
        e.checked = checked;
        emit dataChanged(index, index, {Qt::CheckStateRole});
    }
    return true;
}

Qt::ItemFlags TCheckListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}
