#include "Nmurl.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

TEST(PercentEncode, KeepsLettersDigitsAndTheGivenBytesAndEscapesTheRest)
{
    const struct {
        std::string text;
        const char* keep;
        std::string encoded;
    } rows[] = {
        {"", "", ""},
        {"AZaz09", "", "AZaz09"},
        {"a-b.c_d~e", "-._~", "a-b.c_d~e"},
        {"a-b.c", "", "a%2Db%2Ec"},
        // Upper-case hexadecimal digits, the "%" itself escaped.
        {"a b/c?d%e", "-._~", "a%20b%2Fc%3Fd%25e"},
        {"\n\r\t\x7f", "-._~", "%0A%0D%09%7F"},
        // A mailto: address keeps its sub-delimiters; a header value does not.
        {"x!$'()*+,=:@y", "-._~!$'()*+,=:@", "x!$'()*+,=:@y"},
        {"x!$'()*+,=:@y", "-._~", "x%21%24%27%28%29%2A%2B%2C%3D%3A%40y"},
        // NUL is never kept: the end of keep is no byte of it.
        {std::string("a\0b", 3), "-._~", "a%00b"},
        {std::string("\0", 1), "", "%00"},
        // Bytes beyond ASCII, as in UTF-8 text.
        {"\xc3\xa9\xff\x80", "-._~", "%C3%A9%FF%80"},
        {"\xe9t\xe9", "\xe9", "\xe9t\xe9"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PercentEncode(row.text, row.keep), row.encoded) << row.keep << " | " << row.text;
}

TEST(PercentEncode, EveryByteIsKeptOrEscapedAndDecodesBack)
{
    const char* const keep = "-._~";
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    const std::string encoded = PercentEncode(all, keep);
    size_t at = 0;
    for (int c = 0; c < 256; ++c) {
        const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (alnum || (c != 0 && std::strchr(keep, c))) {
            ASSERT_EQ(encoded[at], static_cast<char>(c)) << c;
            ++at;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            ASSERT_EQ(encoded.substr(at, 3), hex) << c;
            at += 3;
        }
    }
    EXPECT_EQ(at, encoded.size());
    TNMURL url;
    EXPECT_EQ(url.URLDecode(encoded), all);
}
