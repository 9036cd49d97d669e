#include "EntryStore.h"

#include <algorithm>
#include <tuple>

std::pair<size_t, size_t> TEntryStore::locate(size_t pos) const
{
    // The last chunk that starts at or before pos.
    const auto it = std::upper_bound(starts_.begin(), starts_.end(), pos);
    const size_t c = static_cast<size_t>(it - starts_.begin()) - 1;
    return {c, pos - starts_[c]};
}

void TEntryStore::restart(size_t c)
{
    starts_.resize(chunks_.size());
    size_t at = c == 0 ? 0 : starts_[c - 1] + chunks_[c - 1].size();
    for (; c < chunks_.size(); ++c) {
        starts_[c] = at;
        at += chunks_[c].size();
    }
}

TCheckEntry& TEntryStore::operator[](size_t pos)
{
    const auto [c, off] = locate(pos);
    return chunks_[c][off];
}

const TCheckEntry& TEntryStore::operator[](size_t pos) const
{
    const auto [c, off] = locate(pos);
    return chunks_[c][off];
}

void TEntryStore::insert(size_t pos, TCheckEntry entry)
{
    if (chunks_.empty()) {
        chunks_.emplace_back();
        starts_.assign(1, 0);
    }
    size_t c, off;
    if (pos == size_) {
        c = chunks_.size() - 1;
        off = chunks_[c].size();
    } else {
        std::tie(c, off) = locate(pos);
    }
    auto& chunk = chunks_[c];
    chunk.insert(chunk.begin() + static_cast<std::ptrdiff_t>(off), std::move(entry));
    ++size_;
    if (chunk.size() > kChunkMax) {
        // Split in halves, so that a run of insertions at one place splits
        // again only after another half chunk.
        std::vector<TCheckEntry> upper;
        const auto mid = chunk.begin() + static_cast<std::ptrdiff_t>(chunk.size() / 2);
        upper.insert(upper.end(), std::make_move_iterator(mid), std::make_move_iterator(chunk.end()));
        chunk.erase(mid, chunk.end());
        chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c) + 1, std::move(upper));
    }
    restart(c);
}

void TEntryStore::erase(size_t pos)
{
    const auto [c, off] = locate(pos);
    auto& chunk = chunks_[c];
    chunk.erase(chunk.begin() + static_cast<std::ptrdiff_t>(off));
    --size_;
    if (chunk.empty())
        chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c));
    if (chunks_.empty()) {
        starts_.clear();
        return;
    }
    restart(c == 0 ? 0 : c - 1);
}

void TEntryStore::clear()
{
    chunks_.clear();
    chunks_.shrink_to_fit();
    starts_.clear();
    starts_.shrink_to_fit();
    size_ = 0;
}

void TEntryStore::assign(std::vector<TCheckEntry>&& entries)
{
    // Half-full chunks leave room for insertions before the first split.
    constexpr size_t kFill = kChunkMax / 2;
    std::vector<std::vector<TCheckEntry>> chunks;
    chunks.reserve((entries.size() + kFill - 1) / kFill);
    for (size_t at = 0; at < entries.size(); at += kFill) {
        const size_t end = std::min(entries.size(), at + kFill);
        std::vector<TCheckEntry> chunk;
        chunk.insert(chunk.end(), std::make_move_iterator(entries.begin() + static_cast<std::ptrdiff_t>(at)),
                     std::make_move_iterator(entries.begin() + static_cast<std::ptrdiff_t>(end)));
        chunks.push_back(std::move(chunk));
    }
    size_ = entries.size();
    chunks_ = std::move(chunks);
    starts_.clear();
    restart(0);
    entries.clear();
}

std::vector<TCheckEntry> TEntryStore::take()
{
    std::vector<TCheckEntry> out;
    out.reserve(size_);
    for (auto& chunk : chunks_)
        out.insert(out.end(), std::make_move_iterator(chunk.begin()), std::make_move_iterator(chunk.end()));
    clear();
    return out;
}
