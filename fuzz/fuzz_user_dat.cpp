// user.dat loading. Four values at most, none holding a line feed; the
// values written and read again are the same values. The same bytes as a
// saved search time-out: accepted only as digits (after an optional "+")
// whose value fits, and then never negative, and written back as a number
// they give the same value.
#include "UserDat.h"
#include "FuzzCheck.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TUserDatValues values = ParseUserDat(FuzzBytes(data, size));
    size_t total = 0;
    for (const std::string& v : values) {
        FUZZ_CHECK(v.find('\n') == std::string::npos);
        total += v.size();
    }
    FUZZ_CHECK(total <= size);
    FUZZ_CHECK(ParseUserDat(FormatUserDat(values)) == values);

    const std::string text = FuzzBytes(data, size);
    int32_t ms = -1;
    if (ParseTimeOutText(text, ms)) {
        FUZZ_CHECK(ms >= 0);
        FUZZ_CHECK(text.find_first_not_of("+0123456789") == std::string::npos);
        FUZZ_CHECK(text.find('+', 1) == std::string::npos);
        int32_t again = -1;
        FUZZ_CHECK(ParseTimeOutText(std::to_string(ms), again) && again == ms);
    } else {
        FUZZ_CHECK(ms == -1);
    }
    return 0;
}
