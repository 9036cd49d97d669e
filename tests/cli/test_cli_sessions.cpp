// corvina-cli search and harvest against the scripted engine as the proxy:
// the lists printed and the pages asked for (the exit statuses of search and
// harvest are in test_cli_usage.cpp, with those of the other commands).
#include "FakeSessionView.h"
#include "TestUtil.h"

#include <QProcess>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>

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
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 2, "2")), NoRobots(), Serve("<p>a@one.example.org</p>"),
                      NoRobots(), Serve("<p>b@two.example.org a@one.example.org</p>")});
    const auto r = cli({"search", "--mode", "0", "--domain", ".it", "--proxy", proxy(srv), "corvi"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "a@one.example.org\nb@two.example.org\n");
    EXPECT_EQ(RequestLine(srv, 0), "GET http://www.google.com/search?as_q=corvi&as_sitesearch=.it HTTP/1.0");
}

TEST(CliSearch, JsonEnginesTakeTheirBaseAddressAndKeyFromTheCommandLine)
{
    const std::string sx = R"({"number_of_results":0,"results":[{"url":"http://a.example/"},{"url":"http://b.example/"}]})";
    const std::string mj = R"({"response":{"status":"OK","head":{"results":1},"results":[{"url":"http://c.example/"}]}})";
    ScriptServer srv({Serve(sx), Serve(R"({"results":[]})"), Serve(mj),
                      {ReadUntil("\r\n\r\n"), Send("HTTP/1.0 429 Too Many Requests\r\n\r\n"), Close()}});
    auto r = cli({"search", "--engine", "searxng", "--engine-url", "http://sx.test:8080/searx", "--domain", ".it",
                  "--pages", "2", "--proxy", proxy(srv), "corvi", "neri"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "http://a.example/\nhttp://b.example/\n");
    r = cli({"search", "--engine", "mojeek", "--engine-url", "http://mj.test", "--api-key", "k&y", "--proxy",
             proxy(srv), "corvi"});
    EXPECT_EQ(r.out, "http://c.example/\n");
    r = cli({"search", "--engine", "mojeek", "--engine-url", "http://mj.test", "--api-key", "k", "--proxy",
             proxy(srv), "corvi"});
    EXPECT_EQ(r.exitCode, 0) << "the page arrived";
    EXPECT_EQ(r.err, "corvina-cli: The search engine is limiting the rate of queries (HTTP 429): wait a while, then "
                     "search again.\n") << "told once";
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLines(srv),
              (std::vector<std::string>{
                  "GET http://sx.test:8080/searx/search?q=corvi+neri+site%3A.it&format=json&pageno=1 HTTP/1.0",
                  "GET http://sx.test:8080/searx/search?q=corvi+neri+site%3A.it&format=json&pageno=2 HTTP/1.0",
                  "GET http://mj.test/search?api_key=k%26y&q=corvi&fmt=json&s=1&t=10 HTTP/1.0",
                  "GET http://mj.test/search?api_key=k&q=corvi&fmt=json&s=1&t=10 HTTP/1.0"}));
}

namespace {

// The demo's stand-in engine (scripts/standin-engine.py) with the given
// options, on a free port that it prints first; stopped at the end.
class StandIn {
public:
    explicit StandIn(const QStringList& options)
    {
        proc_.start(QStringLiteral("/usr/bin/python3"),
                    QStringList{QStringLiteral(CORVINA_SOURCE_DIR "/scripts/standin-engine.py")} + options);
        if (proc_.waitForStarted(5000) && proc_.waitForReadyRead(10000))
            port_ = proc_.readLine().trimmed().toStdString();
    }
    ~StandIn()
    {
        proc_.terminate();
        if (!proc_.waitForFinished(5000)) {
            proc_.kill();
            proc_.waitForFinished(5000);
        }
    }
    std::string proxy() const { return "127.0.0.1:" + port_; }
    bool ok() const { return !port_.empty(); }

private:
    QProcess proc_;
    std::string port_;
};

} // namespace

// The stand-in's JSON shapes as the program reads them: every result of a
// total of 23 over three pages, and its refusals told in the user's words.
TEST(CliSearch, TheStandInEngineServesBothJsonShapes)
{
    StandIn engine({"--total", "23", "--mojeek-key", "good"});
    ASSERT_TRUE(engine.ok());
    struct Row {
        std::vector<std::string> args;
        int lines;
        std::string errorHolds;
    };
    const std::vector<Row> rows = {
        {{"--engine", "searxng"}, 23, ""},
        {{"--engine", "mojeek", "--engine-url", "http://mj.test/", "--api-key", "good"}, 23, ""},
        {{"--engine", "mojeek", "--engine-url", "http://mj.test/", "--api-key", "bad"}, 0, "Invalid API key"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args{"search", "--mode", "1", "--max-pages", "0", "--proxy", engine.proxy()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.push_back("corvi");
        const auto r = cli(args);
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), row.lines) << row.args[1] << r.err;
        if (row.errorHolds.empty()) {
            EXPECT_EQ(r.err, "") << row.args[1];
        } else {
            EXPECT_NE(r.err.find(row.errorHolds), std::string::npos) << r.err;
        }
    }
    StandIn refusing({"--refuse-json"});
    ASSERT_TRUE(refusing.ok());
    const auto r = cli({"search", "--engine", "searxng", "--proxy", refusing.proxy(), "corvi"});
    EXPECT_NE(r.err.find("search: formats: [html, json]"), std::string::npos) << r.err;
}

TEST(CliHarvest, ReadsSitesAndPrintsTheCleanedResults)
{
    ScriptServer srv({NoRobots(), Serve("<p>%20x@s.example.org</p>"), NoRobots(), Serve("<p>y@s.example.org</p>")});
    const auto r = cli({"harvest", "--parallel", "1", "--proxy", proxy(srv), "--delay", "0", "-"},
                       "http://b.example/b.html\r\n\nhttp://a.example/a.html\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "x@s.example.org\ny@s.example.org\n");
    EXPECT_EQ(r.err, "") << "nothing skipped, nothing told";
    EXPECT_EQ(RequestLine(srv, 0), "GET http://a.example/robots.txt HTTP/1.0");
    EXPECT_EQ(RequestLine(srv, 1), "GET http://a.example/a.html HTTP/1.0");
    EXPECT_NE(srv.received(1).find("\r\nUser-Agent: Corvina/"), std::string::npos) << srv.received(1);
}

// Sites passed over are counted on standard error; the pause between two
// requests to one host is 1 s unless --delay says otherwise.
TEST(CliHarvest, CountsTheSkippedSitesAndPausesPerHost)
{
    ScriptServer srv({Robots("User-agent: corvina\nDisallow: /no\n"), Serve("<p>y@s.example.org</p>")});
    QElapsedTimer elapsed;
    elapsed.start();
    const auto r = cli({"harvest", "--parallel", "1", "--proxy", proxy(srv), "-"}, "http://a.example/no.html\nhttp://a.example/yes.html\n");
    EXPECT_GE(elapsed.elapsed(), 1000) << "robots.txt and the page are a second apart";
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "y@s.example.org\n");
    EXPECT_EQ(r.err, "corvina-cli: Skipped: 1 robots.txt\n");
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(srv.accepted(), 2);
}

// A page that fails is told with its URL and counted with the sites passed
// over; the others are harvested and the harvest succeeds.
TEST(CliHarvest, AFailedPageIsToldAndCountedAndTheHarvestGoesOn)
{
    ScriptServer srv({NoRobots(), {ReadUntil("\r\n\r\n"), Close()}, NoRobots(), Serve("<p>y@s.example.org</p>")});
    const auto r = cli({"harvest", "--parallel", "1", "--proxy", proxy(srv), "--delay", "0", "-"},
                       "http://a.example/a.html\nhttp://b.example/b.html\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "y@s.example.org\n");
    const std::string told = "corvina-cli: http://a.example/a.html (through proxy " + proxy(srv) + "): ";
    EXPECT_EQ(r.err.rfind(told, 0), 0u) << r.err;
    const size_t skipped = r.err.find("\ncorvina-cli: Skipped: 1 ");
    EXPECT_NE(skipped, std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
}

TEST(CliHarvest, KeepAllAndAHarvestThatFailsMidway)
{
    // Finds under no public domain only with --keep-all.
    ScriptServer srv({NoRobots(), Serve("<img src=\"logo@2x.png\"> info@example.org"), NoRobots(),
                      Serve("<img src=\"logo@2x.png\"> info@example.org")});
    auto r = cli({"harvest", "--parallel", "1", "--delay", "0", "--proxy", proxy(srv)}, "http://a.example.org/\n");
    EXPECT_EQ(r.out, "info@example.org\n");
    r = cli({"harvest", "--parallel", "1", "--delay", "0", "--keep-all", "--proxy", proxy(srv)}, "http://a.example.org/\n");
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
    ScriptServer sites({NoRobots(), Serve("<p>first@example.org</p>"), NoRobots(), Serve(big)});
    r = testutil::runProcess("/usr/bin/prlimit", {"--as=" + std::to_string(200u << 20), CORVINA_CLI_PATH, "harvest",
                                                  "--parallel", "1", "--delay", "0", "--keep-all", "--proxy", proxy(sites)},
                             "http://a.example.org/\nhttp://b.example.org/\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "first@example.org\n");
    EXPECT_NE(r.err.find("corvina-cli: harvest: "), std::string::npos) << r.err;
#endif
}

// With -v each site passed over is told as it is skipped, with its reason,
// by harvest and by the harvest of search's mode 0; without, only the count.
TEST(CliSessions, VerboseTellsEachSiteSkippedAndWhy)
{
    const std::string disallowed = "User-agent: *\nDisallow: /no\n";
    const std::string sites = "http://a.example/no.html\nhttp://a.example/yes.html\n";
    for (bool verbose : {true, false}) {
        ScriptServer srv({Robots(disallowed), Serve("<p>y@s.example.org</p>")});
        std::vector<std::string> args = {"harvest", "--parallel", "1", "--delay", "0", "--proxy", proxy(srv), "-"};
        if (verbose)
            args.insert(args.begin() + 1, "-v");
        const auto r = cli(args, sites);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "y@s.example.org\n");
        EXPECT_EQ(r.err, std::string(verbose ? "corvina-cli: site http://a.example/no.html skipped (robots.txt): "
                                               "refused by robots.txt\n"
                                             : "") +
                             "corvina-cli: Skipped: 1 robots.txt\n");
    }

    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 2, "2")), Robots("User-agent: *\nDisallow: /\n"),
                      NoRobots(), Serve("<p>b@two.example.org</p>")});
    const auto r = cli({"search", "-v", "--mode", "0", "--parallel", "1", "--proxy", proxy(srv), "corvi"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "b@two.example.org\n");
    EXPECT_NE(r.err.find("corvina-cli: site http://"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" skipped (robots.txt): "), std::string::npos) << r.err;
}
