// The JSON engines: their answers read into links, total and errors; their
// query URLs; and the search session paging through them over a scripted
// server used as the HTTP client's proxy.
#include "FakeSessionView.h"

#include "JsonResults.h"
#include "TestUtil.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testnet;
using namespace enginetest;

namespace {

const TJsonShape& shapeOf(TEngine engine) { return EngineRow(engine)->json; }

std::string searxngPage(int first, int count, int total = 0)
{
    std::string results;
    for (int k = first; k < first + count; ++k)
        results += std::string(k > first ? "," : "") + "{\"url\":\"http://site" + std::to_string(k) +
                   ".example/index.html\",\"title\":\"Site\",\"engine\":\"x\"}";
    return "{\"query\":\"k\",\"number_of_results\":" + std::to_string(total) + ",\"results\":[" + results +
           "],\"answers\":[],\"unresponsive_engines\":[]}";
}

std::string mojeekPage(int first, int count, int total = 1000)
{
    std::string results;
    for (int k = first; k < first + count; ++k)
        results += std::string(k > first ? "," : "") + "{\"url\":\"http://site" + std::to_string(k) +
                   ".example/index.html\",\"title\":\"Site\",\"desc\":\"d\"}";
    return "{\"response\":{\"status\":\"OK\",\"head\":{\"query\":\"k\",\"results\":" + std::to_string(total) +
           ",\"return\":" + std::to_string(count) + "},\"results\":[" + results + "]}}";
}

std::string replyWith(const std::string& statusLine, const std::string& body)
{
    return statusLine + "\r\nContent-Type: application/json\r\n\r\n" + body;
}

Script serveStatus(const std::string& statusLine, const std::string& body)
{
    return {ReadUntil("\r\n\r\n"), Send(replyWith(statusLine, body)), Close()};
}

const std::string S = "GET http://127.0.0.1:8888/search?q=";
// The program's client speaks plain HTTP here: the tests give Mojeek a plain
// base address.
const std::string kMojeekPlain = "http://mojeek.test";
const std::string M = "GET http://mojeek.test/search?api_key=k%2By&q=";
const std::string V = " HTTP/1.0";

} // namespace

TEST(JsonAnswer, LinksTotalsAndErrorsOfBothEngines)
{
    struct Row {
        const char* what;
        TEngine engine;
        std::string body;
        int status;
        std::vector<std::string> links;
        std::optional<int32_t> total;
        std::string errorHolds; // "" for no error
    };
    const std::vector<Row> rows = {
        {"searxng page", TEngine::SearXNG, searxngPage(3, 2, 1200), 200,
         {"http://site3.example/index.html", "http://site4.example/index.html"}, 1200, ""},
        {"searxng without an estimate", TEngine::SearXNG, searxngPage(0, 1, 0), 200,
         {"http://site0.example/index.html"}, std::nullopt, ""},
        {"searxng empty page", TEngine::SearXNG, searxngPage(0, 0), 200, {}, std::nullopt, ""},
        {"a float total and results without a string url", TEngine::SearXNG,
         R"({"number_of_results": 12345.0, "results": [{"url": 7}, {"title": "t"}, "x", {"url": "https://a.example/é?q=1&b"}]})",
         200, {"https://a.example/\xc3\xa9?q=1&b"}, 12345, ""},
        {"fields missing", TEngine::SearXNG, R"({"query": "k"})", 200, {}, std::nullopt, ""},
        {"results not an array", TEngine::SearXNG, R"({"results": {"url": "http://a.example/"}})", 0, {},
         std::nullopt, ""},
        {"a total beyond 32 bits", TEngine::Mojeek, mojeekPage(0, 1, 0).replace(
             mojeekPage(0, 1, 0).find("\"results\":0"), 11, "\"results\":9000000000"), 200,
         {"http://site0.example/index.html"}, 2147483647, ""},
        {"mojeek page", TEngine::Mojeek, mojeekPage(10, 2, 77), 200,
         {"http://site10.example/index.html", "http://site11.example/index.html"}, 77, ""},
        {"mojeek status not OK", TEngine::Mojeek,
         R"({"response":{"status":"ERROR: Invalid API key","head":{},"results":[]}})", 403, {}, std::nullopt,
         "ERROR: Invalid API key"},
        {"mojeek without a status", TEngine::Mojeek, R"({"response":{"results":[{"url":"http://a.example/"}]}})",
         200, {}, std::nullopt, "no status"},
        {"searxng 403 names the setting", TEngine::SearXNG, "<html>Forbidden</html>", 403, {}, std::nullopt,
         "search: formats: [html, json]"},
        {"429 is rate limiting", TEngine::SearXNG, "Too Many Requests", 429, {}, std::nullopt, "rate"},
        {"mojeek 429 with an OK-less body", TEngine::Mojeek, "slow down", 429, {}, std::nullopt, "HTTP 429"},
        {"another error status", TEngine::SearXNG, searxngPage(0, 1), 502, {}, std::nullopt, "HTTP 502"},
        {"not JSON", TEngine::SearXNG, "<html><body>results</body></html>", 200, {}, std::nullopt, "not JSON"},
        {"a JSON array is not an answer", TEngine::SearXNG, "[1,2]", 200, {}, std::nullopt, "not JSON"},
        {"truncated JSON", TEngine::Mojeek, mojeekPage(0, 3).substr(0, 60), 200, {}, std::nullopt, "not JSON"},
    };
    for (const Row& r : rows) {
        const TJsonAnswer a = ReadJsonAnswer(shapeOf(r.engine), r.body, r.status);
        EXPECT_EQ(a.links, r.links) << r.what;
        EXPECT_EQ(a.total, r.total) << r.what;
        if (r.errorHolds.empty()) {
            EXPECT_EQ(a.error, "") << r.what;
        } else {
            EXPECT_NE(a.error.find(r.errorHolds), std::string::npos) << r.what << ": " << a.error;
        }
    }
}

TEST(JsonAnswer, QueryUrlsOfEveryEngine)
{
    struct Row {
        TEngine engine;
        std::string keyWords, domain, base, key;
        std::optional<int64_t> offset;
        int64_t page;
        std::string url;
    };
    const std::vector<Row> rows = {
        {TEngine::SearXNG, "corvi  neri", "", "", "", std::nullopt, 1,
         "http://127.0.0.1:8888/search?q=corvi++neri&format=json&pageno=1"},
        {TEngine::SearXNG, "a&b=c/é+", "", "http://10.0.0.5/searx", "", 17, 3,
         "http://10.0.0.5/searx/search?q=a%26b%3Dc%2F%C3%A9%2B&format=json&pageno=3"},
        {TEngine::SearXNG, "corvi", ".it", "", "", std::nullopt, 1,
         "http://127.0.0.1:8888/search?q=corvi+site%3A.it&format=json&pageno=1"},
        {TEngine::Mojeek, "corvi neri", "", "", "k+y", std::nullopt, 1,
         "https://api.mojeek.com/search?api_key=k%2By&q=corvi+neri&fmt=json&s=1&t=10"},
        {TEngine::Mojeek, "corvi", "a b.it", "", "k", 9, 2,
         "https://api.mojeek.com/search?api_key=k&q=corvi&fmt=json&s=10&t=10&site=a+b.it"},
        {TEngine::Mojeek, "{key}{page}", "", "http://127.0.0.1:1/", "K", std::nullopt, 1,
         "http://127.0.0.1:1/search?api_key=K&q=%7Bkey%7D%7Bpage%7D&fmt=json&s=1&t=10"},
        // The page engines keep their own rules, and take a base address too.
        {TEngine::Google, "a&b c", ".it", "http://127.0.0.1:5/", "ignored", 9, 2,
         "http://127.0.0.1:5/search?as_q=a&b+c&as_sitesearch=.it&start=9"},
        {TEngine::AltaVista, "corvi", "", "", "", 0, 1, "http://www.altavista.com/web/results?q=corvi&stq=0"},
    };
    for (const Row& r : rows) {
        TQueryParts p{r.keyWords, r.domain, r.base, r.key, r.offset, r.page};
        EXPECT_EQ(EngineQueryUrl(r.engine, p), r.url) << r.url;
    }
    EXPECT_EQ(EngineQueryUrl(TEngine::None, TQueryParts{}), std::nullopt);
    // Every row of the table is named by its selector entry and its name.
    for (const TEngineRow& row : EngineTable()) {
        EXPECT_EQ(EngineInUse(row.entry), row.engine);
        EXPECT_EQ(EngineNamed(row.name), row.engine);
    }
    EXPECT_EQ(EngineInUse("searxng"), TEngine::None) << "letter case counts";
}

// SearXNG pages by number: Next asks for the page after the last one
// whatever the links it added, a page without results ends a looping search,
// and the total comes from number_of_results when it is above 0.
TEST(EngineSession, SearxngPagesByNumberUntilTheFirstEmptyPage)
{
    struct Row {
        const char* what;
        std::string maxPages;
        int total;
        std::vector<int> pageLinks; // per page, the first included; 0 for an empty page
        int requests;
        int found;
    };
    const std::vector<Row> rows = {
        {"no estimate: until the empty page", "0", 0, {10, 7, 10, 0, 10}, 4, 27},
        {"the estimate rules", "0", 15, {10, 10, 10}, 2, 20},
        {"max pages lowers it", "12", 1000, {10, 10, 10}, 2, 20},
        {"an empty first page", "0", 0, {0, 10}, 1, 0},
    };
    for (const Row& r : rows) {
        std::vector<Script> scripts;
        int first = 0;
        for (size_t p = 0; p < r.pageLinks.size(); ++p) {
            scripts.push_back(Serve(searxngPage(first, r.pageLinks[p], p == 0 ? r.total : 0)));
            first += r.pageLinks[p];
        }
        ScriptServer srv(scripts);
        Sessions s(srv);
        s.view.engineText = kSearxngEntry;
        s.view.keyWords = "k";
        s.view.settings.Mode = TSearchMode::AllPages;
        s.view.settings.MaxPages = r.maxPages;
        s.search.Search();
        EXPECT_EQ(srv.accepted(), r.requests) << r.what;
        std::vector<std::string> expected;
        for (int p = 1; p <= r.requests; ++p)
            expected.push_back(S + "k&format=json&pageno=" + std::to_string(p) + V);
        EXPECT_EQ(RequestLines(srv), expected) << r.what;
        EXPECT_EQ(s.sites.Count(), r.found) << r.what;
        EXPECT_TRUE(s.view.errors.empty()) << r.what;
        if (r.total > 0) {
            EXPECT_EQ(s.view.totalLabel, std::to_string(r.total)) << r.what;
        }
    }
}

// Mojeek pages by offset: the links gathered plus one, with the key, the
// domain and the address from the settings as they are at each query.
TEST(EngineSession, MojeekOffsetsCountTheLinksGatheredAndNextAndResumeFollowThem)
{
    ScriptServer srv({Serve(mojeekPage(0, 9, 500)), Serve(mojeekPage(9, 10)),      // Search, Next
                      Serve(mojeekPage(0, 9)), Serve(mojeekPage(19, 4)),           // Resume: first page, skip-ahead
                      Serve(mojeekPage(0, 9)), Serve(mojeekPage(30, 10))});        // its Search, then Next
    Sessions s(srv);
    s.view.engineText = kMojeekEntry;
    s.view.settings.MojeekKey = "k+y";
    s.view.settings.EngineUrl = kMojeekPlain;
    s.view.keyWords = "corvi neri";
    s.search.Search();
    EXPECT_EQ(s.view.totalLabel, "500");
    EXPECT_EQ(s.search.ResultTotal(), 500);
    s.search.NextOrResume();
    EXPECT_EQ(s.sites.Count(), 19);
    s.search.Stop();
    s.search.NextOrResume();
    EXPECT_EQ(s.search.PageSkip(), 10);
    s.view.settings.Domain = ".it";
    s.search.NextOrResume();
    ASSERT_TRUE(srv.waitDone(5000));
    const std::string q = "corvi+neri&fmt=json&s=";
    EXPECT_EQ(RequestLines(srv), (std::vector<std::string>{
                                     M + q + "1&t=10" + V, M + q + "10&t=10" + V, M + q + "1&t=10" + V,
                                     M + q + "20&t=10" + V, M + q + "1&t=10" + V,
                                     M + q + "34&t=10&site=.it" + V}));
    EXPECT_EQ(s.sites.Count(), 33);
    EXPECT_TRUE(s.view.errors.empty());
}

TEST(EngineSession, RefusalsAreShownAndEndTheAction)
{
    struct Row {
        const char* what;
        TEngine engine;
        std::string key;
        Script answer; // empty: no request is made
        std::string errorHolds;
    };
    const std::vector<Row> rows = {
        {"searxng without JSON", TEngine::SearXNG, "", serveStatus("HTTP/1.0 403 Forbidden", "Forbidden"),
         "search: formats: [html, json]"},
        {"searxng rate limiting", TEngine::SearXNG, "", serveStatus("HTTP/1.0 429 Too Many Requests", ""),
         "rate"},
        {"mojeek's status", TEngine::Mojeek, "s3cr3t-key",
         serveStatus("HTTP/1.0 200 OK", R"({"response":{"status":"ERROR: Key expired"}})"), "ERROR: Key expired"},
        {"mojeek without a key", TEngine::Mojeek, "", {}, "API key"},
    };
    static std::string logged;
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { logged += text.toStdString() + "\n"; });
    QLoggingCategory::setFilterRules(QStringLiteral("corvina.search.info=true"));
    for (const Row& r : rows) {
        std::vector<Script> scripts{Serve(searxngPage(0, 10, 100))};
        if (!r.answer.empty())
            scripts.push_back(r.answer);
        ScriptServer srv(scripts);
        Sessions s(srv);
        s.view.keyWords = "k";
        s.view.engineText = kSearxngEntry;
        s.search.Search(); // ten links from a page that was good
        s.view.engineText = EngineRow(r.engine)->entry;
        s.view.settings.MojeekKey = r.key;
        s.view.settings.EngineUrl = kMojeekPlain;
        s.view.settings.Mode = TSearchMode::AllPages;
        EXPECT_THROW(s.search.Search(), ESearchEngineError) << r.what;
        ASSERT_EQ(s.view.errors.size(), 1u) << r.what;
        EXPECT_NE(s.view.errors[0].find(r.errorHolds), std::string::npos) << r.what << ": " << s.view.errors[0];
        EXPECT_EQ(s.sites.Count(), 10) << r.what << ": the list keeps what it had";
        EXPECT_EQ(srv.accepted(), r.answer.empty() ? 1 : 2) << r.what;
    }
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    EXPECT_NE(logged.find("Key expired"), std::string::npos) << "the refusal is logged";
    EXPECT_EQ(logged.find("s3cr3t"), std::string::npos) << "the key is not: " << logged;
}

// Stop Search during a looping SearXNG search ends it after the page in
// progress; Resume then asks for the first page again and goes on from the
// page after the last one fetched.
TEST(EngineSession, SearxngStopAndResume)
{
    ScriptServer srv({Serve(searxngPage(0, 10)), ServeHeld(searxngPage(10, 10)),   // Search; Stop during page 2
                      Serve(searxngPage(0, 10)), Serve(searxngPage(20, 10)),       // Resume: page 1, page 3
                      Serve(searxngPage(0, 10)), Serve(searxngPage(30, 0))});      // its Search, Next: the end
    Sessions s(srv);
    s.view.engineText = kSearxngEntry;
    s.view.keyWords = "k";
    s.view.settings.Mode = TSearchMode::AllPages;
    s.view.settings.MaxPages = "0";
    testutil::WhenTrue stop([&] { return srv.accepted() == 2; },
                            [&] {
                                s.search.Stop();
                                srv.release();
                            });
    s.search.Search();
    EXPECT_TRUE(stop.fired());
    EXPECT_EQ(s.sites.Count(), 20);
    EXPECT_EQ(s.view.nextCaption, "Resume...");
    s.search.NextOrResume();
    ASSERT_TRUE(srv.waitDone(5000));
    std::vector<std::string> expected;
    for (int p : {1, 2, 1, 3, 1, 4})
        expected.push_back(S + "k&format=json&pageno=" + std::to_string(p) + V);
    EXPECT_EQ(RequestLines(srv), expected);
    EXPECT_EQ(s.sites.Count(), 30);
    EXPECT_EQ(s.view.nextCaption, "&Next...");
    s.search.NewSearch();
    EXPECT_EQ(s.search.NextPageNumber(), 2);
}

namespace {

// Debian's searx as a real peer: started with a settings file of the test's
// own (JSON answers, no engines, so it never goes out), on a free loopback
// port that it reports on standard error, and stopped at the end.
class SearxPeer {
public:
    SearxPeer()
    {
        if (!QFileInfo::exists(QStringLiteral("/usr/lib/python3/dist-packages/searx/webapp.py")))
            return;
        const QString settings = dir_.filePath(QStringLiteral("settings.yml"));
        QFile file(settings);
        if (!dir_.isValid() || !file.open(QIODevice::WriteOnly))
            return;
        file.write("use_default_settings: false\n"
                   "general: {debug: false, instance_name: corvina-test}\n"
                   "search: {safe_search: 0, autocomplete: '', formats: [html, json]}\n"
                   "server: {port: 0, bind_address: 127.0.0.1, secret_key: corvina-test-peer, base_url: false,\n"
                   "         image_proxy: false, http_protocol_version: '1.0', method: GET}\n"
                   "ui: {static_path: /usr/share/python3-searx/static,\n"
                   "     templates_path: /usr/share/python3-searx/templates, default_theme: oscar, default_locale: ''}\n"
                   "outgoing: {request_timeout: 1.0}\n"
                   "engines: []\n"
                   "locales: {en: English}\n"
                   "doi_resolvers: {doi.org: 'https://doi.org/'}\n"
                   "default_doi_resolver: doi.org\n");
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SEARX_SETTINGS_PATH"), settings);
        proc_.setProcessEnvironment(env);
        proc_.setProcessChannelMode(QProcess::MergedChannels);
        proc_.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-m"), QStringLiteral("searx.webapp")});
        const QRegularExpression running(QStringLiteral("Running on http://127\\.0\\.0\\.1:(\\d+)"));
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && proc_.state() != QProcess::NotRunning) {
            proc_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
            output_ += proc_.readAll();
            const QRegularExpressionMatch m = running.match(QString::fromUtf8(output_));
            if (m.hasMatch()) {
                port_ = m.captured(1).toInt();
                return;
            }
        }
    }
    ~SearxPeer()
    {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.terminate();
            if (!proc_.waitForFinished(5000)) {
                proc_.kill();
                proc_.waitForFinished(5000);
            }
        }
    }
    int port() const { return port_; }
    std::string output() const { return output_.toStdString(); }

private:
    QTemporaryDir dir_;
    QProcess proc_;
    QByteArray output_;
    int port_ = 0;
};

} // namespace

TEST(SearxngPeer, ARealInstanceAnswersInTheShapeReadAndPagingEndsAtItsEmptyPage)
{
    SearxPeer peer;
    if (peer.port() == 0)
        GTEST_SKIP() << "searx is not installed or did not start: " << peer.output();
    FakeSessionView view;
    TCheckListModel sites, results;
    TPageBuffer page;
    TNMHTTP http;
    http.TimeOut = 10000;
    THttpPageFetcher fetcher(http);
    THarvestSession harvest(view, fetcher, sites, results, page);
    TSearchSession search(view, fetcher, sites, results, page, harvest);
    view.engineText = kSearxngEntry;
    view.keyWords = "corvi neri";
    view.settings.Domain = ".it";
    view.settings.SearxngAddress = "http://127.0.0.1:" + std::to_string(peer.port());
    view.settings.Mode = TSearchMode::AllPages;
    view.settings.MaxPages = "0";
    search.Search();
    EXPECT_EQ(http.ReplyCode, 200);
    EXPECT_TRUE(view.errors.empty()) << view.errors.front();
    EXPECT_EQ(search.SearchUrl(), view.settings.SearxngAddress +
                                      "/search?q=corvi+neri+site%3A.it&format=json&pageno=1");
    const TJsonAnswer answer = ReadJsonAnswer(EngineRow(TEngine::SearXNG)->json, page.Text(), http.ReplyCode);
    EXPECT_EQ(answer.error, "") << page.Text();
    EXPECT_EQ(search.ResultTotal(), 0) << "no engines, no results: the first page is the last";
}
