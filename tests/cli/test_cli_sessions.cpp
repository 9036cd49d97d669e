// corvina-cli search and harvest against the scripted engine as the proxy:
// the lists printed, the pages asked for, and the exit statuses.
#include "FakeSessionView.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace testnet;
using namespace enginetest;

namespace {

testutil::ProcessResult cli(const std::vector<std::string>& args, const std::string& input = {})
{
    return testutil::runProcess(CORVINA_CLI_PATH, args, input);
}

std::string proxy(const ScriptServer& srv) { return "127.0.0.1:" + std::to_string(srv.port()); }

} // namespace

TEST(CliSearch, PrintsTheFoundSitesAfterTheSearchAndItsNextPages)
{
    ScriptServer srv({Serve(ResultPage(TEngine::AltaVista, 0, 2, "40")), Serve(ResultPage(TEngine::AltaVista, 2, 1))});
    const auto r = cli({"search", "--engine", "altavista", "--proxy", proxy(srv), "--pages", "2", "corvi", "neri"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "http://site0.example/index.html\nhttp://site1.example/index.html\nhttp://site2.example/index.html\n");
    EXPECT_EQ(r.err, "") << "no meter when standard error is not a terminal";
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLine(srv, 0), "GET http://www.altavista.com/web/results?q=corvi+neri HTTP/1.0");
    EXPECT_EQ(RequestLine(srv, 1), "GET http://www.altavista.com/web/results?q=corvi+neri&stq=2 HTTP/1.0");
}

TEST(CliSearch, AutomaticModeHarvestsAndPrintsTheResults)
{
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 2, "2")), Serve("<p>a@one.example.org</p>"),
                      Serve("<p>b@two.example.org a@one.example.org</p>")});
    const auto r = cli({"search", "--mode", "0", "--domain", ".it", "--proxy", proxy(srv), "corvi"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "a@one.example.org\nb@two.example.org\n");
    EXPECT_EQ(RequestLine(srv, 0), "GET http://www.google.com/search?as_q=corvi&as_sitesearch=.it HTTP/1.0");
}

TEST(CliHarvest, ReadsSitesAndPrintsTheCleanedResults)
{
    ScriptServer srv({Serve("<p>%20x@s.example.org</p>"), Serve("<p>y@s.example.org</p>")});
    const auto r = cli({"harvest", "--proxy", proxy(srv), "-"}, "http://b.example/b.html\r\n\nhttp://a.example/a.html\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "x@s.example.org\ny@s.example.org\n");
    EXPECT_EQ(RequestLine(srv, 0), "GET http://a.example/a.html HTTP/1.0");
}

TEST(CliSessions, ExitStatuses)
{
    uint16_t refused = 0;
    const int fd = testutil::bindLoopback(-1, refused);
    ASSERT_GE(fd, 0);
    const std::string dead = "127.0.0.1:" + std::to_string(refused);
    struct Row {
        std::vector<std::string> args;
        std::string input;
        int status;
    };
    const std::vector<Row> rows = {
        {{"search", "--proxy", dead, "corvi"}, "", 1},
        {{"harvest", "--proxy", dead}, "http://a.example/\n", 1},
        {{"harvest", "--proxy", dead}, "", 1},
        {{"search"}, "", 2},
        {{"search", "--mode", "3", "corvi"}, "", 2},
        {{"search", "--pages", "0", "corvi"}, "", 2},
        {{"search", "--proxy", "nohost:port", "corvi"}, "", 2},
        {{"harvest", "--bogus"}, "", 2},
        {{"harvest", "/nonexistent/sites.txt"}, "", 2},
    };
    for (const Row& row : rows) {
        const auto r = cli(row.args, row.input);
        std::string line;
        for (const auto& a : row.args)
            line += a + " ";
        EXPECT_EQ(r.exitCode, row.status) << line << r.err;
    }
    ::close(fd);
}

TEST(CliHarvest, KeepAllAndAHarvestThatFailsMidway)
{
    // Finds under no public domain only with --keep-all.
    ScriptServer srv({Serve("<img src=\"logo@2x.png\"> info@example.org"),
                      Serve("<img src=\"logo@2x.png\"> info@example.org")});
    auto r = cli({"harvest", "--proxy", proxy(srv)}, "http://a.example.org/\n");
    EXPECT_EQ(r.out, "info@example.org\n");
    r = cli({"harvest", "--keep-all", "--proxy", proxy(srv)}, "http://a.example.org/\n");
    EXPECT_EQ(r.out, "info@example.org\nlogo@2x.png\n");

#if !defined(__SANITIZE_ADDRESS__)
    // A page of 32 MB of distinct candidates cannot be held in 200 MB of
    // address space: the harvest fails on it, and prints what the sites
    // before it gave.
    if (access("/usr/bin/prlimit", X_OK) != 0)
        GTEST_SKIP() << "prlimit missing";
    std::string big;
    for (int n = 0; big.size() < (32u << 20); ++n) {
        big += 'a';
        big += std::to_string(n);
        big += ".@";
    }
    ScriptServer sites({Serve("<p>first@example.org</p>"), Serve(big)});
    r = testutil::runProcess("/usr/bin/prlimit", {"--as=" + std::to_string(200u << 20), CORVINA_CLI_PATH, "harvest",
                                                  "--keep-all", "--proxy", proxy(sites)},
                             "http://a.example.org/\nhttp://b.example.org/\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "first@example.org\n");
    EXPECT_NE(r.err.find("corvina-cli: harvest: "), std::string::npos) << r.err;
#endif
}
