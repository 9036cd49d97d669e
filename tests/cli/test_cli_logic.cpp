#include "TestUtil.h"

#include <gtest/gtest.h>

using testutil::runProcess;
using testutil::TempDir;
using testutil::writeFile;

namespace {

testutil::ProcessResult cli(const std::vector<std::string>& args, const std::string& input = {})
{
    return runProcess(CORVINA_CLI_PATH, args, input);
}

} // namespace

TEST(CliLogic, HelpListsTheSubcommands)
{
    const auto r = cli({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* usage : {"scan [-0] [--keep-all] [FILE]", "links --engine google|altavista [--plain-text] [-0] [FILE]",
                              "count --engine google|altavista [FILE]"})
        EXPECT_NE(r.out.find(usage), std::string::npos) << usage;
}

TEST(CliLogic, ScanPrintsAddressesInTheOrderFound)
{
    const std::string page =
        "<a href=\"mailto:Zed@x.it\">Zed</a> a@b. write to ab@cd.it. or ab@cd.it <img src=\"logo@2x.png\"> a@b.c\n";
    auto r = cli({"scan"}, page);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Zed@x.it\nab@cd.it.\nab@cd.it\n");
    EXPECT_EQ(r.err, "");
    // --keep-all keeps the finds under no public domain too.
    r = cli({"scan", "--keep-all"}, page);
    EXPECT_EQ(r.out, "Zed@x.it\nab@cd.it.\nab@cd.it\nlogo@2x.png\na@b.c\n");

    TempDir dir;
    writeFile(dir.file("page.html"), std::string("x pq@rs.it y\0 zz@yy.xx", 22));
    r = cli({"-0", dir.file("page.html")}, "");
    EXPECT_EQ(r.exitCode, 2); // not a command
    r = cli({"scan", "-0", dir.file("page.html")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("pq@rs.it\0", 9)); // the zero byte ends the page
    r = cli({"scan", "-"}, "none here");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");

    r = cli({"scan", dir.file("missing.html")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("missing.html"), std::string::npos);
    r = cli({"scan", dir.path()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(r.err.empty());
}

TEST(CliLogic, LinksCutsFiltersAndKeepsOrder)
{
    const std::string google = "<a href=http://www.google.com/x> <A HREF=http://z.it/a.html>Z</a> "
                               "<a href=http://a.it/f.pdf> <a href=http://z.it/a.html> <a href=http://m.it/\r\np q";
    auto r = cli({"links", "--engine", "google"}, google);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "http://z.it/a.html\nhttp://z.it/a.html\nhttp://m.it/\r\np\n");
    r = cli({"links", "--plain-text", "-0", "--engine=google"}, google);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("http://z.it/a.html\0http://z.it/a.html\0", 38));

    TempDir dir;
    writeFile(dir.file("av.html"), "status='http://av.it/p' status='http://www.altavista.com/'");
    r = cli({"links", "--engine", "altavista", dir.file("av.html")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "http://av.it/p\n");

    EXPECT_EQ(cli({"links"}, google).exitCode, 2);
    EXPECT_EQ(cli({"links", "--engine", "bing"}, google).exitCode, 2);
    EXPECT_EQ(cli({"links", "--engine"}, google).exitCode, 2);
    r = cli({"links", "--engine", "google", dir.file("missing")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(r.err.empty());
}

TEST(CliLogic, CountPrintsDigitsAndTotal)
{
    auto r = cli({"count", "--engine", "google"}, "<b>1</b> - <b>10</b> di circa <b>1.230.000</b>");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "1230000\n1230000\n");
    r = cli({"count", "--engine", "altavista"}, "<td>AltaVista ha trovato 12,345 risultati");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "12345\n12345\n");
    // No readable figure: nothing, success.
    r = cli({"count", "--engine", "google"}, "</b> di circa <b><");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    r = cli({"count", "--engine", "altavista"}, "</b> di circa <b>5<");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    // Beyond 32 bits: the digits and the largest total.
    r = cli({"count", "--engine", "google"}, "</b> di circa <b>3.000.000.000</b>");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "3000000000\n2147483647\n");
    // A figure that does not convert: the digits, then the error.
    r = cli({"count", "--engine", "google"}, "</b> di circa <b>12a3</b>");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "12a3\n");
    EXPECT_NE(r.err.find("'12a3' is not a valid integer value"), std::string::npos);

    EXPECT_EQ(cli({"count"}, "x").exitCode, 2);
    TempDir dir;
    EXPECT_EQ(cli({"count", "--engine", "google", dir.file("missing")}).exitCode, 2);
}

TEST(CliLogic, PageInputEndsAtAZeroByteAndIsBounded)
{
    // An endless page of zero bytes is an empty page.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"scan", "/dev/zero"}, {"links", "--engine", "google", "/dev/zero"}, {"count", "--engine", "google", "/dev/zero"}}) {
        const auto r = cli(args);
        EXPECT_EQ(r.exitCode, 0) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
    }
    // An endless page without zero bytes stops at 256 MiB with a message;
    // scan streams it, links holds it.
    for (const char* command : {"scan", "links --engine google"}) {
        const auto r = runProcess("/bin/sh", {"-c", std::string("yes | \"$0\" ") + command, CORVINA_CLI_PATH});
        EXPECT_EQ(r.exitCode, 1) << command;
        EXPECT_NE(r.err.find("corvina-cli: standard input: input larger than 256 MiB"), std::string::npos) << r.err;
    }
}

TEST(CliLogic, ScanFindsAddressesAcrossReadBlocks)
{
    // Addresses that straddle the 64 KiB read blocks, and one long stretch
    // of address bytes without a sign, give what a whole-page scan gives.
    std::string page;
    std::string expected;
    for (int i = 0; page.size() < 300000; ++i) {
        const std::string address = "user" + std::to_string(i) + "@host" + std::to_string(i % 97) + ".example.org";
        page += std::string(static_cast<size_t>(i % 13), 'x') + " <" + address + "> ";
        expected += address + "\n";
    }
    // A candidate over 254 bytes is no address; the one at the end of the
    // long stretch is.
    page += "w." + std::string(200000, 'w') + "@@pq@long-stretch.it " + std::string(70000, 'n') + " tail@end.it";
    expected += "pq@long-stretch.it\ntail@end.it\n";
    const auto r = cli({"scan"}, page);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out == expected);
    EXPECT_EQ(r.out.size(), expected.size());
}
