// corvina-cli scan [-0] [FILE]: the address scanner over a page.
#include "PageInput.h"

#include "AddressScanner.h"

#include <cstring>

namespace {

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

int runScan(const std::vector<std::string>& args)
{
    bool nul = false;
    std::vector<std::string> positional;
    if (!CliArgs("scan").flag("-0", nul).parse(args, positional, 1))
        return 2;
    CliInput input(kCliMaxInput);
    if (!input.open(positional.empty() ? std::string() : positional[0])) {
        cliError(input.error());
        return 2;
    }
    const char end = nul ? '\0' : '\n';
    CliOutput out;
    const std::function<void(std::string_view)> accept = [&out, end](std::string_view address) {
        out.add(address.data(), address.size());
        out.add(&end, 1);
    };
    StretchScanner scanner(accept);
    char buf[65536];
    for (;;) {
        const int64_t n = input.read(buf, sizeof buf);
        if (n < 0) {
            out.flush();
            cliError(input.error());
            return input.status() == CliInput::TooLarge ? 1 : 2;
        }
        if (n == 0 || !scanner.Add(buf, static_cast<size_t>(n)))
            break;
    }
    scanner.End();
    return out.flush() ? 0 : 1;
}

const CliCommand scanCommand("scan", "scan [-0] [FILE]",
                             "print the e-mail addresses found in a page, in the order found (NUL-ended with -0)",
                             runScan);

} // namespace
