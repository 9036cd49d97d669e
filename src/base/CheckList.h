// The checkable, sorted list behind the Found Sites and Results lists.
//
// Entries are a byte-string text and a tick. The order is case-insensitive
// (Latin-1 letters folded) with plain byte order breaking ties, so entries that
// are exactly equal always stand side by side. Equal entries are allowed.
//
// Adding one entry at a time is cheap even for a million entries: additions
// wait in a pending batch that is sorted and merged in as soon as anybody
// reads the list through this interface (or the event loop runs), so every
// reader sees the sorted order. Views see the list through the Qt model
// interface, which shows the merged entries and is told of every change.
#pragma once

#include "EntryStore.h"

#include <QAbstractListModel>

#include <functional>
#include <string>
#include <vector>

class TCheckListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TCheckListModel(QObject* parent = nullptr);

    // ---- the list as the program uses it (positions count from 0) ----
    int Count() const { return static_cast<int>(items_.size() + pending_.size()); }
    const std::string& Text(int index);
    // Replaces the text in place: same position, same tick, no re-sorting.
    void SetText(int index, const std::string& text);
    // Adds an unticked entry at its sorted place (at the end while sorting is
    // suspended), without looking for an equal entry.
    void Add(const std::string& text);
    void Add(std::string&& text);
    // Inserts an unticked entry at a given position, whatever the order.
    void Insert(int index, const std::string& text);
    void Delete(int index);
    void Clear();
    bool Checked(int index);
    void SetChecked(int index, bool checked);
    // The current (highlighted) entry; -1 when there is none.
    int ItemIndex();
    void SetItemIndex(int index);
    bool IsCurrent(int index) { return index >= 0 && ItemIndex() == index; }

    bool Sorted() const { return sorted_; }
    // Suspends (false) or resumes (true) the sorting; resuming sorts again.
    void SetSorted(bool sorted);

    // Adds each text that no entry equals byte for byte, unticked, at its
    // sorted place; texts repeated among the given ones are added once. It
    // leaves what adding every text and then removing adjacent duplicates
    // would. The list remembers whether it may hold equal neighbours (after
    // Add, Insert, SetText, Assign or re-sorting); only then does this run
    // the whole duplicate pass first, so merging into a list that only
    // merges costs in proportion to the texts (times a log factor), not to
    // the list. While sorting is suspended it appends, then removes adjacent
    // duplicates. Returns the number of entries added.
    int MergeUnique(std::vector<std::string> texts);
    // Removes every entry that equals, byte for byte, the entry before it;
    // each run of equal neighbours keeps its first entry (and that entry's
    // tick). Returns the number removed.
    int RemoveAdjacentDuplicates();
    // Removes every ticked entry in one pass; the others keep their order
    // and the current entry stays current unless it is removed. Returns the
    // number removed.
    int DeleteChecked();
    // Removes the entries at the given positions (ascending, no repeats) in
    // one pass; the others keep their order. Returns the number removed.
    int DeleteRows(const std::vector<int>& rows);

    // Replaces all entries with the given texts, unticked, at their sorted
    // places; no entry is current afterwards.
    void Assign(std::vector<std::string> texts);
    // All texts in list order.
    std::vector<std::string> Texts();
    // Calls f(position, text) for every entry in list order, without copying;
    // f must not change the list.
    void ForEachText(const std::function<void(int, const std::string&)>& f);
    // The same for the entries from position from on, at most count.
    void ForEachText(int from, int count, const std::function<void(int, const std::string&)>& f);
    int CheckedCount();

    // ---- Qt model interface (views, accessibility) ----
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Merges pending additions now (emitting the model signals).
    void Flush();

signals:
    // The current entry changed (-1: none).
    void ItemIndexChanged(int index);

private:
    void checkIndex(int index) const;
    void scheduleFlush();
    void setItemIndexQuiet(int index);
    // Ends a model reset with newCurrent as the current entry, telling of a
    // change once views know the new rows.
    void endResetAt(int newCurrent);
    // Removes the rows at the given positions (ascending); returns how many.
    int removeRowsAt(const std::vector<int>& rows);

    TEntryStore items_;
    std::vector<std::string> pending_;
    bool sorted_ = true;
    // False when an equal pair may stand side by side.
    bool noEqualNeighbours_ = true;
    bool flushScheduled_ = false;
    int itemIndex_ = -1;
};

// The order of the lists: <0, 0, >0.
int CompareListEntries(const std::string& a, const std::string& b);
