#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

testutil::ProcessResult cli(const std::vector<std::string>& args, const std::string& input)
{
    return testutil::runProcess(CORVINA_CLI_PATH, args, input);
}

} // namespace

TEST(CliCoders, Base64AndUuEncodeDecodeRawBytes)
{
    auto r = cli({"base64", "encode"}, "foobar");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Zm9vYmFy\r\n");
    EXPECT_EQ(r.err, "");

    r = cli({"uu", "encode"}, "abc");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "#86)C\r\n`\r\n");

    std::string all;
    for (int i = 0; i < 1000; ++i)
        all += static_cast<char>(i * 13);
    for (const char* method : {"base64", "uu"}) {
        const auto enc = cli({method, "encode"}, all);
        ASSERT_EQ(enc.exitCode, 0) << method;
        const auto dec = cli({method, "decode"}, enc.out);
        EXPECT_EQ(dec.exitCode, 0) << method;
        EXPECT_EQ(dec.out, all) << method;
    }

    r = cli({"base64", "encode"}, "");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    r = cli({"base64"}, "x");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    r = cli({"uu", "sideways"}, "x");
    EXPECT_EQ(r.exitCode, 2);
}

TEST(CliCoders, UrlEncodeAndDecode)
{
    auto r = cli({"urlencode"}, "a b&c~\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "a+b%26c%7e%0a");

    r = cli({"urldecode"}, "a+b%26c%4A%4a");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "a b&cJJ");

    // Malformed input: unchanged on standard output, the error on standard
    // error, exit code 1.
    r = cli({"urldecode"}, "a+b%zz\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "a+b%zz\n");
    EXPECT_NE(r.err.find("Error during decode"), std::string::npos) << r.err;

    r = cli({"urlencode", "extra"}, "");
    EXPECT_EQ(r.exitCode, 2);
}

TEST(CliCoders, DecodingReadsLinesOfAnyLengthAndEitherLineEnd)
{
    std::string data;
    for (int i = 0; i < 5000; ++i)
        data += static_cast<char>((i * 7919) >> 3);
    const auto enc = cli({"base64", "encode"}, data);
    ASSERT_EQ(enc.exitCode, 0);
    std::string oneLine, bareLf;
    for (char c : enc.out)
        if (c != '\r' && c != '\n')
            oneLine += c;
    for (char c : enc.out)
        if (c != '\r')
            bareLf += c;
    // One line without line ends, unpadded or padded, as "base64 -w0"
    // writes it; lines ended by a bare LF; a last line without its end.
    for (const std::string& text : {oneLine, oneLine + "\n", bareLf, enc.out.substr(0, enc.out.size() - 2)}) {
        const auto dec = cli({"base64", "decode"}, text);
        EXPECT_EQ(dec.exitCode, 0);
        EXPECT_EQ(dec.out, data) << text.substr(0, 80);
    }
    EXPECT_EQ(cli({"base64", "decode"}, "Zm9vYmFy").out, "foobar");
    EXPECT_EQ(cli({"base64", "decode"}, "Zm9vYg").out, "foob");
    // The data ends at padding and at a boundary line.
    EXPECT_EQ(cli({"base64", "decode"}, "Zm8=\r\nYmFy\r\n").out, "fo");
    EXPECT_EQ(cli({"base64", "decode"}, "Zm9v\r\n--=_b\r\nYmFy\r\n").out, "foo");

    const auto uu = cli({"uu", "encode"}, data);
    std::string uuLf;
    for (char c : uu.out)
        if (c != '\r')
            uuLf += c;
    EXPECT_EQ(cli({"uu", "decode"}, uuLf).out, data);
}

TEST(CliCoders, LargeInputsStreamThroughInBlocks)
{
    // More than one read block, not a multiple of the 45-byte line, so
    // the lines cross block edges: the output equals one whole encoding.
    std::string data(3 * 65520 + 1234, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 31 + (i >> 9));
    for (const char* method : {"base64", "uu"}) {
        const auto enc = cli({method, "encode"}, data);
        ASSERT_EQ(enc.exitCode, 0) << method;
        const size_t lines = (data.size() + 44) / 45;
        EXPECT_EQ(std::count(enc.out.begin(), enc.out.end(), '\n'), static_cast<long>(lines + (method[0] == 'u')))
            << method;
        const auto dec = cli({method, "decode"}, enc.out);
        EXPECT_EQ(dec.exitCode, 0) << method;
        EXPECT_TRUE(dec.out == data) << method;
    }
}
