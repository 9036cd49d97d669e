#include "Cli.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <optional>
#include <unistd.h>

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

TEST(CliLogic, PageFromAFileAPipeOrRedirectedInputIsTheSame)
{
    // A file is mapped, a pipe is read; standard input redirected from a
    // file is mapped too. A page of many read blocks with a zero byte near
    // its end, where the page ends.
    std::string page;
    std::string expected;
    for (int i = 0; page.size() < 400000; ++i) {
        const std::string link = "http://site" + std::to_string(i) + ".it/p" + std::to_string(i % 7) + ".html";
        page += "<p><A href=" + link + ">x</a> <a href=http://www.google.com/s?q=" + std::to_string(i) + ">c</a>\n";
        expected += link + "\n";
    }
    page += "<a href=http://last.it/>";
    expected += "http://last.it/\n";
    page += std::string("\0<a href=http://after.zero/>", 28);
    TempDir dir;
    const std::string path = dir.file("page.html");
    writeFile(path, page);
    const std::string sh = "\"$0\" links --engine google ";
    for (const auto& [how, r] : std::vector<std::pair<std::string, testutil::ProcessResult>>{
             {"file", cli({"links", "--engine", "google", path})},
             {"pipe", cli({"links", "--engine", "google"}, page)},
             {"dash", runProcess("/bin/sh", {"-c", sh + "- < \"$1\"", CORVINA_CLI_PATH, path})},
             {"redirected", runProcess("/bin/sh", {"-c", sh + "< \"$1\"", CORVINA_CLI_PATH, path})},
             // Seven bytes already read: the page starts there, without the first link.
             {"after a read", runProcess("/bin/sh", {"-c", "{ dd bs=7 count=1 of=/dev/null 2>/dev/null; " + sh + "; } < \"$1\"",
                                                     CORVINA_CLI_PATH, path})}}) {
        const std::string want = how == "after a read" ? expected.substr(expected.find('\n') + 1) : expected;
        EXPECT_EQ(r.exitCode, 0) << how << r.err;
        EXPECT_EQ(r.out.size(), want.size()) << how;
        EXPECT_TRUE(r.out == want) << how;
    }
    // An empty file, and a file that is only a zero byte: an empty page.
    for (const std::string& bytes : {std::string(), std::string(1, '\0')}) {
        writeFile(path, bytes);
        const auto r = cli({"links", "--engine", "google", path});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, "");
    }
}

TEST(CliMappedFile, AFileThatShrinksWhileMappedEndsTheProgramWithAMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempDir dir;
    const std::string path = dir.file("page.html");
    writeFile(path, std::string(4 * 4096, 'x'));
    EXPECT_EXIT(
        {
            const std::optional<CliMappedFile> mapped = cliMapFile(path, kCliMaxInput);
            if (!mapped || mapped->bytes.size() != 4 * 4096)
                std::_Exit(3);
            if (::truncate(path.c_str(), 0) != 0)
                std::_Exit(4);
            const volatile char beyond = mapped->bytes[3 * 4096];
            (void)beyond;
            std::_Exit(0);
        },
        testing::ExitedWithCode(1), "corvina-cli: .*page.html: the file shrank while it was read");
    // What cannot be mapped is left to reading: a missing file, an empty
    // one, one past the limit, a pipe.
    writeFile(path, "12345");
    EXPECT_FALSE(cliMapFile(dir.file("missing"), kCliMaxInput));
    EXPECT_FALSE(cliMapFile(path, 4));
    EXPECT_TRUE(cliMapFile(path, 5));
    writeFile(path, "");
    EXPECT_FALSE(cliMapFile(path, kCliMaxInput));
    EXPECT_FALSE(cliMapFile("/proc/self/status", kCliMaxInput)); // size 0 until read
}
