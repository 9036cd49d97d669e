// The uuencode coder. Decoding any text ends; decode(encode(x)) = x; the
// encoding is lines of a length character and at most 60 characters of the
// uuencode alphabet, ended by CR LF, closed by the line of length zero.
#include "Nmuue.h"
#include "FuzzCheck.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = FuzzBytes(data, size);
    DecodeBuffer(bytes, uuCode);

    const std::string encoded = EncodeBuffer(bytes, uuCode);
    FUZZ_CHECK(encoded.size() >= 3 && encoded.compare(encoded.size() - 3, 3, "`\r\n") == 0);
    size_t lineStart = 0;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\r') {
            FUZZ_CHECK(i + 1 < encoded.size() && encoded[i + 1] == '\n');
            FUZZ_CHECK(i - lineStart <= 61 && i > lineStart);
            lineStart = i + 2;
            ++i;
        } else {
            FUZZ_CHECK(std::memchr(UUTABLE, encoded[i], 64) != nullptr);
        }
    }
    FUZZ_CHECK(DecodeBuffer(encoded, uuCode) == bytes);
    return 0;
}
