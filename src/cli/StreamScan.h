// The address scanner over a page read block by block (corvina-cli scan).
#pragma once

#include "AddressScanner.h"
#include "PageBuffer.h"

#include <cstring>
#include <functional>
#include <string>
#include <string_view>

// An address never crosses a byte that is neither an address byte nor "@",
// so the page is read block by block and scanned stretch by stretch: a
// stretch of address bytes and "@" signs goes through the scanner when it
// holds an "@", and memory stays at the longest stretch, not the page. A zero
// byte ends the page.
//
// Only the "@" signs are looked for (memchr); from each sign the stretch is
// found by walking out to the bytes that end it, so text without signs is
// crossed at memchr's speed and nothing is copied but the stretches scanned.
class StretchScanner {
public:
    explicit StretchScanner(const std::function<void(std::string_view)>& accept) : accept_(accept)
    {
        for (int c = 0; c < 256; ++c)
            inStretch_[c] = c == '@' || IsAddressChar(static_cast<unsigned char>(c));
    }

    // Scans a block; false once the page has ended at a zero byte.
    bool Add(const char* data, size_t count)
    {
        const char* zero = static_cast<const char*>(std::memchr(data, 0, count));
        const size_t n = zero ? static_cast<size_t>(zero - data) : count;
        size_t pos = 0; // the bytes before pos are done with
        if (open_) {
            // The stretch left open by the last block goes on to the first
            // byte outside it.
            while (pos < n && inStretch_[static_cast<unsigned char>(data[pos])])
                ++pos;
            hasAt_ |= std::memchr(data, '@', pos) != nullptr;
            stretch_.append(data, pos);
            if (pos == n) {
                if (zero)
                    End();
                return zero == nullptr;
            }
            End();
            ++pos;
        }
        while (pos < n) {
            const char* at = static_cast<const char*>(std::memchr(data + pos, '@', n - pos));
            if (!at) {
                // No sign left: only the last stretch may go on with one.
                size_t start = n;
                while (start > pos && inStretch_[static_cast<unsigned char>(data[start - 1])])
                    --start;
                stretch_.assign(data + start, n - start);
                open_ = start < n;
                break;
            }
            size_t start = static_cast<size_t>(at - data);
            while (start > pos && inStretch_[static_cast<unsigned char>(data[start - 1])])
                --start;
            size_t end = static_cast<size_t>(at - data) + 1;
            while (end < n && inStretch_[static_cast<unsigned char>(data[end])])
                ++end;
            stretch_.assign(data + start, end - start);
            hasAt_ = true;
            open_ = true;
            if (end == n)
                break; // the stretch may go on in the next block
            End();
            pos = end + 1;
        }
        if (zero)
            End();
        return zero == nullptr;
    }

    void End()
    {
        if (hasAt_) {
            page_.SetText(stretch_);
            ScanAddresses(page_, accept_);
        }
        stretch_.clear();
        hasAt_ = false;
        open_ = false;
    }

private:
    const std::function<void(std::string_view)>& accept_;
    TPageBuffer page_;
    std::string stretch_;
    bool hasAt_ = false;
    bool open_ = false; // stretch_ reaches the end of the last block
    bool inStretch_[256];
};
