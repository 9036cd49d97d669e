// The address scanner and the address clean-up. Every address found holds
// "@", has 5 to 254 characters with a full stop, is a piece of the page
// made of address characters and "@"; a second run over the same buffer
// finds nothing more; the clean-up keeps a tail of the local part and never
// cuts at a "%" after the "@", its domain is the address's own or that
// domain decoded, and cleaning again leaves the domain as it is; the scanner
// of corvina-cli, fed the page in blocks, finds the same addresses.
#include "AddressDomain.h"
#include "AddressScanner.h"
#include "FuzzCheck.h"
#include "StreamScan.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = FuzzBytes(data, size);
    TPageBuffer page;
    page.SetText(bytes);
    const std::string_view text = page.Text();
    FUZZ_CHECK(text == FuzzPageText(bytes));

    std::vector<std::string> addresses;
    const int found = ScanAddresses(page, [&](std::string_view address) {
        addresses.emplace_back(address);
        FUZZ_CHECK(address.find('@') != std::string_view::npos);
        FUZZ_CHECK(address.size() >= 5 && address.find('.') != std::string_view::npos);
        FUZZ_CHECK(address.size() <= kMaxAddressLength);
        FUZZ_CHECK(address.data() >= text.data() && address.data() + address.size() <= text.data() + text.size());
        for (char c : address)
            FUZZ_CHECK(c == '@' || IsAddressChar(static_cast<unsigned char>(c)));
        const std::string whole(address);
        const std::string cleaned = CleanAddressText(whole);
        FUZZ_CHECK(cleaned.size() <= whole.size());
        if (whole.find('%') == std::string::npos)
            FUZZ_CHECK(cleaned == whole);
        const size_t at = whole.find('@');
        const std::string domain = whole.substr(at + 1);
        const std::string decoded = DecodeDomainEscapes(domain);
        // What is left of the local part is a tail of it, then the sign and
        // the domain, decoded.
        FUZZ_CHECK(cleaned.size() >= decoded.size() + 1);
        const size_t cleanedAt = cleaned.size() - decoded.size() - 1;
        FUZZ_CHECK(cleanedAt <= at);
        FUZZ_CHECK(cleaned.compare(cleanedAt, std::string::npos, "@" + decoded) == 0);
        FUZZ_CHECK(whole.compare(at - cleanedAt, cleanedAt, cleaned, 0, cleanedAt) == 0);
        if (whole.find('%') > at)
            FUZZ_CHECK(cleanedAt == at);
        const std::string again = CleanAddressText(cleaned);
        FUZZ_CHECK(again.compare(again.size() - decoded.size(), std::string::npos, decoded) == 0);
    });
    FUZZ_CHECK(found >= 0);
    FUZZ_CHECK(ScanAddresses(page, [](std::string_view) {}) == 0);

    std::vector<std::string> streamed;
    const std::function<void(std::string_view)> collect = [&](std::string_view a) { streamed.emplace_back(a); };
    StretchScanner scanner(collect);
    const size_t step = size > 0 ? 1 + data[0] % 97 : 1;
    for (size_t pos = 0; pos < size; pos += step)
        if (!scanner.Add(bytes.data() + pos, std::min(step, size - pos)))
            break;
    scanner.End();
    FUZZ_CHECK(streamed == addresses);
    return 0;
}
