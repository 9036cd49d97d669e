// The storage behind the checkable list: entries in list order, kept in
// chunks of a few hundred, so that inserting or erasing one entry costs a
// chunk's worth of moves plus one pass over the chunk starts, instead of
// moving every entry after it. Reaching an entry by position is a binary
// search over the chunk starts.
//
// With a million entries in chunks of 512 to 1024, an insertion moves at
// most a thousand entries and updates about two thousand chunk starts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct TCheckEntry {
    std::string text;
    bool checked = false;
};

class TEntryStore {
public:
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    TCheckEntry& operator[](size_t pos);
    const TCheckEntry& operator[](size_t pos) const;

    // pos may be size(): the entry goes last.
    void insert(size_t pos, TCheckEntry entry);
    void erase(size_t pos);
    void push_back(TCheckEntry entry) { insert(size_, std::move(entry)); }
    void clear();

    // Replaces every entry with these, in this order.
    void assign(std::vector<TCheckEntry>&& entries);
    // Moves every entry out, in order, and leaves the store empty.
    std::vector<TCheckEntry> take();

    // The first position whose entry is not before text in the order less
    // gives (less(text, entry.text) is true there), size() when none is:
    // where an entry equal to text goes after its equals.
    template <typename Less>
    size_t upperBound(const std::string& text, Less less) const;

    // Calls f(entry) for every entry in order.
    template <typename F>
    void forEach(F f) const
    {
        for (const auto& chunk : chunks_)
            for (const auto& e : chunk)
                f(e);
    }
    // Calls f(entry) for the entries from position from on, at most count.
    template <typename F>
    void forEachFrom(size_t from, size_t count, F f) const
    {
        if (from >= size_)
            return;
        auto [c, off] = locate(from);
        for (; c < chunks_.size() && count > 0; ++c, off = 0)
            for (size_t k = off; k < chunks_[c].size() && count > 0; ++k, --count)
                f(chunks_[c][k]);
    }

private:
    static constexpr size_t kChunkMax = 1024;

    // The chunk holding pos and pos's offset in it (pos < size()).
    std::pair<size_t, size_t> locate(size_t pos) const;
    // Recomputes the chunk starts from chunk c on.
    void restart(size_t c);

    std::vector<std::vector<TCheckEntry>> chunks_;
    std::vector<size_t> starts_; // starts_[c]: the position of chunk c's first entry
    size_t size_ = 0;
};

template <typename Less>
size_t TEntryStore::upperBound(const std::string& text, Less less) const
{
    // The first chunk whose last entry is after text holds the place; every
    // chunk before it ends with an entry not after text.
    size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (less(text, chunks_[mid].back().text))
            hi = mid;
        else
            lo = mid + 1;
    }
    if (lo == chunks_.size())
        return size_;
    const auto& chunk = chunks_[lo];
    size_t a = 0, b = chunk.size();
    while (a < b) {
        const size_t mid = (a + b) / 2;
        if (less(text, chunk[mid].text))
            b = mid;
        else
            a = mid + 1;
    }
    return starts_[lo] + a;
}
