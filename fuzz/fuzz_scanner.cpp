// The address scanner and the address clean-up. Every address found holds
// "@", has at least 5 characters with a full stop, is a piece of the page
// made of address characters and "@"; a second run over the same buffer
// finds nothing more; the clean-up gives a tail of the address; the scanner
// of corvina-cli, fed the page in blocks, finds the same addresses.
#include "AddressScanner.h"
#include "FuzzCheck.h"
#include "StreamScan.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = FuzzBytes(data, size);
    TPageBuffer page;
    page.SetText(bytes);
    const std::string& text = page.Text();
    FUZZ_CHECK(text == FuzzPageText(bytes));

    std::vector<std::string> addresses;
    const int found = ScanAddresses(page, [&](std::string_view address) {
        addresses.emplace_back(address);
        FUZZ_CHECK(address.find('@') != std::string_view::npos);
        FUZZ_CHECK(address.size() >= 5 && address.find('.') != std::string_view::npos);
        FUZZ_CHECK(address.data() >= text.data() && address.data() + address.size() <= text.data() + text.size());
        for (char c : address)
            FUZZ_CHECK(c == '@' || IsAddressChar(static_cast<unsigned char>(c)));
        const std::string whole(address);
        const std::string cleaned = CleanAddressText(whole);
        FUZZ_CHECK(cleaned.size() <= whole.size());
        FUZZ_CHECK(whole.compare(whole.size() - cleaned.size(), cleaned.size(), cleaned) == 0);
        if (whole.find('%') == std::string::npos)
            FUZZ_CHECK(cleaned == whole);
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
