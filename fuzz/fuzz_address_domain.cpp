// The domain check of found addresses and the decoding of a domain's
// escapes. Decoding never lengthens the text, gives valid UTF-8 whenever it
// changes anything, and a second decoding changes nothing; the ASCII form of
// a host is ASCII and in lower case; whether a domain is a public one does
// not depend on ASCII letter case nor on a trailing full stop.
#include "AddressDomain.h"
#include "FuzzCheck.h"
#include "Idn.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = FuzzBytes(data, size);

    const std::string decoded = DecodeDomainEscapes(bytes);
    FUZZ_CHECK(decoded.size() <= bytes.size());
    if (decoded != bytes) {
        const QByteArray utf8(decoded.data(), static_cast<qsizetype>(decoded.size()));
        FUZZ_CHECK(QString::fromUtf8(utf8).toUtf8() == utf8);
    }
    FUZZ_CHECK(DecodeDomainEscapes(decoded) == decoded);

    const std::string ace = HostToAce(bytes);
    for (char c : ace)
        FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80 && !(c >= 'A' && c <= 'Z'));

    const bool ok = IsPublicDomain(bytes);
    std::string upper = bytes;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    FUZZ_CHECK(IsPublicDomain(upper) == ok);
    FUZZ_CHECK(IsPublicDomain(bytes + ".") == ok);
    FUZZ_CHECK(HasPublicDomain("x@" + bytes) == ok);
    return 0;
}
