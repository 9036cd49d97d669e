#include "PageBuffer.h"

#include "ByteLanes.h"
#include "SysUtils.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

void TPageBuffer::SetText(const std::string& text)
{
    const size_t zero = text.find('\0');
    text_.assign(text, 0, zero == std::string::npos ? text.size() : zero);
    showOwnText();
}

void TPageBuffer::SetText(std::string&& text)
{
    const size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    text_ = std::move(text);
    showOwnText();
}

void TPageBuffer::SetZeroFreeText(std::string&& text)
{
    assert(text.find('\0') == std::string::npos);
    text_ = std::move(text);
    showOwnText();
}

void TPageBuffer::SetSharedText(std::string_view text, std::shared_ptr<const void> keeper)
{
    text = text.substr(0, text.find('\0'));
    if (!keeper) { // nothing keeps the bytes alive: they are copied after all
        text_.assign(text);
        showOwnText();
        return;
    }
    text_.clear();
    text_.shrink_to_fit();
    shared_ = text;
    keeper_ = std::move(keeper);
    selStart_ = 0;
    selLength_ = 0;
}

void TPageBuffer::Clear()
{
    text_.clear();
    showOwnText();
}

void TPageBuffer::showOwnText()
{
    keeper_.reset();
    shared_ = {};
    selStart_ = 0;
    selLength_ = 0;
}

void TPageBuffer::SetSelStart(int64_t start)
{
    // Like a text control: the caret stays inside the text and a new start
    // collapses the selection.
    selStart_ = std::clamp<int64_t>(start, 0, Length());
    selLength_ = 0;
}

void TPageBuffer::SetSelLength(int64_t length)
{
    selLength_ = std::clamp<int64_t>(length, 0, Length() - selStart_);
}

int64_t TPageBuffer::FindText(const std::string& what, int64_t start) const { return FindTextNoCase(Text(), what, start); }

namespace {

// The Latin-1 case fold as a table, and for every byte the other byte that
// folds to the same value (the byte itself when there is none).
struct FindTables {
    unsigned char fold[256];
    unsigned char other[256];
    FindTables()
    {
        for (int c = 0; c < 256; ++c) {
            fold[c] = FoldByte(static_cast<unsigned char>(c));
            other[c] = static_cast<unsigned char>(c);
        }
        for (int c = 0; c < 256; ++c)
            for (int d = 0; d < 256; ++d)
                if (d != c && fold[d] == fold[c])
                    other[c] = static_cast<unsigned char>(d);
    }
};
// Built on first use, after every global of the program is in place.
const FindTables& findTables()
{
    static const FindTables tables;
    return tables;
}

} // namespace

namespace {

// Whether the m bytes at t equal the pattern's, letter case aside.
bool sameFolded(const FindTables& tables, const unsigned char* t, const unsigned char* pat, int64_t m)
{
    for (int64_t k = 0; k < m; ++k)
        if (tables.fold[t[k]] != tables.fold[pat[k]])
            return false;
    return true;
}

// The starting positions p .. p + 15 whose byte matches the pattern's first
// byte (either case) and whose byte m - 1 further on matches its last.
struct CandidateFilter {
    TByteLanes first0, first1, last0, last1;
    int64_t lastOffset;
    uint32_t at(const unsigned char* p) const
    {
        const TByteLanes head = LoadLanes(p);
        const TByteLanes tail = LoadLanes(p + lastOffset);
        return LaneMask(((head == first0) | (head == first1)) & ((tail == last0) | (tail == last1)));
    }
};

} // namespace

int64_t FindTextNoCase(std::string_view text, std::string_view what, int64_t start)
{
    const int64_t n = static_cast<int64_t>(text.size());
    const int64_t m = static_cast<int64_t>(what.size());
    if (m == 0 || start < 0 || start > n || m > n - start)
        return -1;
    const unsigned char* const base = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const pat = reinterpret_cast<const unsigned char*>(what.data());
    const int64_t last = n - m; // last position where a match can start
    const FindTables& tables = findTables();

    // One byte without a case partner (the scanner's "@"): memchr.
    if (m == 1 && tables.other[pat[0]] == pat[0]) {
        const void* hit = std::memchr(base + start, pat[0], static_cast<size_t>(n - start));
        return hit ? static_cast<const unsigned char*>(hit) - base : -1;
    }

    // Thirty-two starting positions at a time, through a filter on the first
    // and the last byte of the pattern: two bytes so far apart seldom both
    // match, so candidates are few and each is then checked whole.
    const CandidateFilter filter{SplatLanes(pat[0]), SplatLanes(tables.other[pat[0]]), SplatLanes(pat[m - 1]),
                                 SplatLanes(tables.other[pat[m - 1]]), m - 1};
    int64_t p = start;
    for (; p + 2 * kByteLanes - 1 <= last; p += 2 * kByteLanes) {
        uint64_t candidates = filter.at(base + p) | (uint64_t(filter.at(base + p + kByteLanes)) << kByteLanes);
        while (candidates != 0) {
            const int64_t at = p + std::countr_zero(candidates);
            if (sameFolded(tables, base + at, pat, m))
                return at;
            candidates &= candidates - 1;
        }
    }
    for (; p <= last; ++p)
        if (sameFolded(tables, base + p, pat, m))
            return p;
    return -1;
}
