// The result-count reader. The first byte picks the engine; the rest is the
// page. The digits text holds no "," or "." nor any byte that ends the
// figure; a total is read only from a decimal figure, always from digits
// alone, and the combined step agrees with the two steps.
#include "ResultCount.h"
#include "SysUtils.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const TEngine engines[] = {TEngine::Google, TEngine::AltaVista, TEngine::None};
    const TEngine engine = engines[data[0] % 3];
    TPageBuffer page;
    page.SetText(FuzzBytes(data + 1, size - 1));

    const std::optional<std::string> digits = ResultCountDigits(page, engine);
    std::string label = "unchanged";
    int32_t total = -7;
    bool converted = false;
    bool read = false;
    try {
        read = ReadResultCount(page, engine, label, total);
        converted = true;
    } catch (const EConvertError&) {
    }
    if (!digits) {
        FUZZ_CHECK(converted && !read && label == "unchanged" && total == -7);
        return 0;
    }
    FUZZ_CHECK(digits->find_first_of(",.< ") == std::string::npos);
    FUZZ_CHECK(label == *digits);
    // Only a decimal figure, with an optional sign, converts; digits alone
    // always do (a figure beyond 32 bits gives the largest total).
    const size_t first = !digits->empty() && ((*digits)[0] == '+' || (*digits)[0] == '-') ? 1 : 0;
    const bool decimal = first < digits->size() && digits->find_first_not_of("0123456789", first) == std::string::npos;
    if (!decimal)
        FUZZ_CHECK(!converted);
    if (decimal && first == 0)
        FUZZ_CHECK(converted && read && total >= 0);
    if (converted)
        FUZZ_CHECK(total == ResultTotal(*digits));
    return 0;
}
