// user.dat loading. Four values at most, none holding a line feed; the
// values written and read again are the same values.
#include "UserDat.h"
#include "FuzzCheck.h"

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
    return 0;
}
