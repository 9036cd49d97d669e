#include "PageBuffer.h"

#include "SysUtils.h"

#include <algorithm>
#include <cstring>

void TPageBuffer::SetText(const std::string& text)
{
    const size_t zero = text.find('\0');
    text_.assign(text, 0, zero == std::string::npos ? text.size() : zero);
    selStart_ = 0;
    selLength_ = 0;
}

void TPageBuffer::SetText(std::string&& text)
{
    const size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    text_ = std::move(text);
    selStart_ = 0;
    selLength_ = 0;
}

void TPageBuffer::Clear()
{
    text_.clear();
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

int64_t TPageBuffer::FindText(const std::string& what, int64_t start) const { return FindTextNoCase(text_, what, start); }

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

// How good a byte is as the anchor that memchr looks for: a byte without a
// case partner that is seldom seen in page text is best.
int anchorRank(const FindTables& t, unsigned char c)
{
    if (t.other[c] != c)
        return 0; // a letter: two bytes to look for
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t')
        return 1;
    if (c >= '0' && c <= '9')
        return 2;
    if (c == '<' || c == '>' || c == '"' || c == '/' || c == '.')
        return 3;
    return 4;
}

} // namespace

int64_t FindTextNoCase(const std::string& text, const std::string& what, int64_t start)
{
    const int64_t n = static_cast<int64_t>(text.size());
    const int64_t m = static_cast<int64_t>(what.size());
    if (m == 0 || start < 0 || start > n || m > n - start)
        return -1;
    const unsigned char* base = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* pat = reinterpret_cast<const unsigned char*>(what.data());
    const int64_t last = n - m; // last position where a match can start
    const FindTables& kFind = findTables();

    // Pick the anchor: the first byte of the pattern with the best rank.
    int64_t a = 0;
    int bestRank = -1;
    for (int64_t k = 0; k < m; ++k) {
        const int r = anchorRank(kFind, pat[k]);
        if (r > bestRank) {
            bestRank = r;
            a = k;
        }
    }
    auto matchesAt = [&](int64_t p) {
        const unsigned char* t = base + p;
        for (int64_t k = 0; k < m; ++k)
            if (kFind.fold[t[k]] != kFind.fold[pat[k]])
                return false;
        return true;
    };

    if (bestRank > 0) {
        // One byte to look for: memchr over the anchor column.
        const unsigned char c = pat[a];
        int64_t p = start;
        while (p <= last) {
            const void* hit = std::memchr(base + p + a, c, static_cast<size_t>(last - p + 1));
            if (!hit)
                return -1;
            p = (static_cast<const unsigned char*>(hit) - base) - a;
            if (matchesAt(p))
                return p;
            ++p;
        }
        return -1;
    }

    // Every byte is a cased letter: keep the next occurrence of each case of
    // the first byte and take the nearer.
    const unsigned char v0 = pat[0];
    const unsigned char v1 = kFind.other[v0];
    auto nextOf = [&](unsigned char c, int64_t from) -> int64_t {
        if (from > last)
            return -1;
        const void* hit = std::memchr(base + from, c, static_cast<size_t>(last - from + 1));
        return hit ? static_cast<const unsigned char*>(hit) - base : -1;
    };
    int64_t x = nextOf(v0, start);
    int64_t y = nextOf(v1, start);
    while (x >= 0 || y >= 0) {
        int64_t p;
        if (y < 0 || (x >= 0 && x < y)) {
            p = x;
            x = nextOf(v0, x + 1);
        } else {
            p = y;
            y = nextOf(v1, y + 1);
        }
        if (matchesAt(p))
            return p;
    }
    return -1;
}
