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

int64_t FindTextNoCase(const std::string& text, const std::string& what, int64_t start)
{
    const int64_t n = static_cast<int64_t>(text.size());
    const int64_t m = static_cast<int64_t>(what.size());
    if (m == 0 || start < 0 || start + m > n)
        return -1;
    const unsigned char first = FoldByte(static_cast<unsigned char>(what[0]));
    // The bytes that fold to the first byte of what (at most two in Latin-1).
    unsigned char variants[2] = {first, first};
    int nv = 1;
    for (int c = 0; c < 256; ++c)
        if (c != first && FoldByte(static_cast<unsigned char>(c)) == first) {
            variants[1] = static_cast<unsigned char>(c);
            nv = 2;
            break;
        }
    const char* base = text.data();
    const int64_t last = n - m; // last position where a match can start
    auto matchesAt = [&](int64_t p) {
        for (int64_t k = 1; k < m; ++k)
            if (FoldByte(static_cast<unsigned char>(base[p + k])) != FoldByte(static_cast<unsigned char>(what[static_cast<size_t>(k)])))
                return false;
        return true;
    };
    if (nv == 1) {
        int64_t p = start;
        while (p <= last) {
            const void* hit = std::memchr(base + p, variants[0], static_cast<size_t>(last - p + 1));
            if (!hit)
                return -1;
            p = static_cast<const char*>(hit) - base;
            if (matchesAt(p))
                return p;
            ++p;
        }
        return -1;
    }
    // Two variants: keep the next occurrence of each and take the nearer.
    auto nextOf = [&](unsigned char c, int64_t from) -> int64_t {
        if (from > last)
            return -1;
        const void* hit = std::memchr(base + from, c, static_cast<size_t>(last - from + 1));
        return hit ? static_cast<const char*>(hit) - base : -1;
    };
    int64_t a = nextOf(variants[0], start);
    int64_t b = nextOf(variants[1], start);
    while (a >= 0 || b >= 0) {
        int64_t p;
        if (b < 0 || (a >= 0 && a < b)) {
            p = a;
            a = nextOf(variants[0], a + 1);
        } else {
            p = b;
            b = nextOf(variants[1], b + 1);
        }
        if (matchesAt(p))
            return p;
    }
    return -1;
}
