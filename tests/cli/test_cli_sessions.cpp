// corvina-cli search and harvest against the scripted engine as the proxy:
// the lists printed, the pages asked for, and the exit statuses.
#include "FakeSessionView.h"
#include "TestUtil.h"

#include <QElapsedTimer>

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
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 2, "2")), NoRobots(), Serve("<p>a@one.example</p>"),
                      NoRobots(), Serve("<p>b@two.example a@one.example</p>")});
    const auto r = cli({"search", "--mode", "0", "--domain", ".it", "--proxy", proxy(srv), "corvi"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "a@one.example\nb@two.example\n");
    EXPECT_EQ(RequestLine(srv, 0), "GET http://www.google.com/search?as_q=corvi&as_sitesearch=.it HTTP/1.0");
}

TEST(CliHarvest, ReadsSitesAndPrintsTheCleanedResults)
{
    ScriptServer srv({NoRobots(), Serve("<p>%20x@s.example</p>"), NoRobots(), Serve("<p>y@s.example</p>")});
    const auto r = cli({"harvest", "--proxy", proxy(srv), "--delay", "0", "-"},
                       "http://b.example/b.html\r\n\nhttp://a.example/a.html\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "x@s.example\ny@s.example\n");
    EXPECT_EQ(r.err, "") << "nothing skipped, nothing told";
    EXPECT_EQ(RequestLine(srv, 0), "GET http://a.example/robots.txt HTTP/1.0");
    EXPECT_EQ(RequestLine(srv, 1), "GET http://a.example/a.html HTTP/1.0");
    EXPECT_NE(srv.received(1).find("\r\nUser-Agent: Corvina/"), std::string::npos) << srv.received(1);
}

// Sites passed over are counted on standard error; the pause between two
// requests to one host is 1 s unless --delay says otherwise.
TEST(CliHarvest, CountsTheSkippedSitesAndPausesPerHost)
{
    ScriptServer srv({Robots("User-agent: corvina\nDisallow: /no\n"), Serve("<p>y@s.example</p>")});
    QElapsedTimer elapsed;
    elapsed.start();
    const auto r = cli({"harvest", "--proxy", proxy(srv), "-"}, "http://a.example/no.html\nhttp://a.example/yes.html\n");
    EXPECT_GE(elapsed.elapsed(), 1000) << "robots.txt and the page are a second apart";
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "y@s.example\n");
    EXPECT_EQ(r.err, "corvina-cli: Skipped: 1 robots.txt\n");
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(srv.accepted(), 2);
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
        {{"harvest", "--delay", "soon"}, "", 2},
        {{"harvest", "--delay", "-1"}, "", 2},
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
