// URL decoding and encoding. Decoding either succeeds or gives the input
// back unchanged with one error report; a decoded text is never longer than
// its input; decode(encode(x)) = x, and the encoding holds only letters,
// digits, "+" and "%" with two lowercase hexadecimal digits.
#include "Nmurl.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = FuzzBytes(data, size);
    TNMURL url;
    int errors = 0;
    url.OnError = [&](QObject*, const std::string&, const std::string&) { ++errors; };

    const std::string decoded = url.URLDecode(bytes);
    FUZZ_CHECK(errors <= 1);
    if (errors == 1)
        FUZZ_CHECK(decoded == bytes);
    else
        FUZZ_CHECK(decoded.size() <= bytes.size());

    errors = 0;
    const std::string encoded = url.URLEncode(bytes);
    FUZZ_CHECK(errors == 0);
    for (size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '%') {
            FUZZ_CHECK(i + 2 < encoded.size());
            for (size_t k = i + 1; k <= i + 2; ++k)
                FUZZ_CHECK((encoded[k] >= '0' && encoded[k] <= '9') || (encoded[k] >= 'a' && encoded[k] <= 'f'));
            i += 2;
        } else {
            FUZZ_CHECK(c == '+' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
        }
    }
    FUZZ_CHECK(url.URLDecode(encoded) == bytes);
    FUZZ_CHECK(errors == 0);
    return 0;
}
