// The Base64 (MIME) coder. Decoding any text ends; decode(encode(x)) = x; the
// encoding is lines of at most 60 alphabet characters ended by CR LF; the
// line decoder gives the same bytes whatever pieces a line is fed in.
#include "Nmuue.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = FuzzBytes(data, size);
    DecodeBuffer(bytes, uuMime);

    const std::string encoded = EncodeBuffer(bytes, uuMime);
    FUZZ_CHECK(encoded.size() == (size + 2) / 3 * 4 + (size + 44) / 45 * 2);
    size_t lineStart = 0;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\r') {
            FUZZ_CHECK(i + 1 < encoded.size() && encoded[i + 1] == '\n');
            FUZZ_CHECK(i - lineStart <= 60);
            lineStart = i + 2;
            ++i;
        } else {
            FUZZ_CHECK(std::string(MimeTable).find(encoded[i]) != std::string::npos || encoded[i] == '=');
        }
    }
    FUZZ_CHECK(DecodeBuffer(encoded, uuMime) == bytes);

    // One line fed whole and fed in pieces of the lengths the data itself
    // gives: the same bytes, the same end of the data.
    if (size > 1) {
        const std::string line = bytes.substr(1);
        TBase64LineDecoder whole, pieces;
        std::string a, b;
        whole.Feed(line.data(), line.size(), a);
        whole.EndLine(a);
        size_t pos = 0;
        for (size_t step = 1 + data[0] % 7; pos < line.size(); pos += step)
            pieces.Feed(line.data() + pos, std::min(step, line.size() - pos), b);
        pieces.EndLine(b);
        FUZZ_CHECK(a == b);
        FUZZ_CHECK(whole.Stopped() == pieces.Stopped());
    }
    return 0;
}
