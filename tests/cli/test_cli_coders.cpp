#include "TestUtil.h"

#include <gtest/gtest.h>

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
