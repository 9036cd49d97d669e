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
        size_t start = 0; // where the current stretch begins in this block
        for (size_t i = 0; i < n; ++i) {
            const auto c = static_cast<unsigned char>(data[i]);
            if (inStretch_[c]) {
                hasAt_ |= c == '@';
                continue;
            }
            if (hasAt_)
                stretch_.append(data + start, i - start);
            End();
            start = i + 1;
        }
        // The stretch may go on in the next block.
        stretch_.append(data + start, n - start);
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
    }

private:
    const std::function<void(std::string_view)>& accept_;
    TPageBuffer page_;
    std::string stretch_;
    bool hasAt_ = false;
    bool inStretch_[256];
};
