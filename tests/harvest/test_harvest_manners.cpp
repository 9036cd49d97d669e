// The harvest's manners: robots.txt read once per origin and obeyed, its
// answer deciding the host, the pause between requests to one host measured
// on a replaced clock, Crawl-delay and Retry-After with their caps, Stop
// ending a pause at once, and the skipped sites counted by reason.
#include "FakeSessionView.h"
#include "Psock.h"
#include "SiteGate.h"
#include "TestUtil.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <deque>
#include <map>

using namespace testnet;
using namespace enginetest;

namespace {

TPageReply reply(int status, const std::string& body = {}, const std::string& headerLines = {})
{
    TPageReply r;
    r.status = status;
    r.header = "HTTP/1.0 " + std::to_string(status) + " X\r\n" + headerLines + "\r\n";
    r.body = body;
    return r;
}

// Replies by URL, in order (the last one repeats); unknown URLs answer 404.
// Records every request with the time on the test's clock.
class FakePageFetcher : public IPageFetcher {
public:
    struct Call {
        std::string url;
        int64_t at;
        bool followRedirects;
    };
    std::function<int64_t()> now = [] { return int64_t(0); };
    std::vector<Call> calls;

    void on(const std::string& url, TPageReply r)
    {
        answers_[url].push_back([r] { return r; });
    }
    template <class E>
    void fails(const std::string& url, const char* message)
    {
        answers_[url].push_back([message]() -> TPageReply { throw E(message); });
    }

    std::string Get(const std::string& url) override { return Request(url).body; }
    TPageReply Request(const std::string& url, bool followRedirects = true, int64_t = 0) override
    {
        calls.push_back({url, now(), followRedirects});
        auto& queue = answers_[url];
        if (queue.empty())
            return reply(404);
        auto answer = queue.front();
        if (queue.size() > 1)
            queue.pop_front();
        return answer();
    }

    std::vector<std::string> urls() const
    {
        std::vector<std::string> u;
        for (const Call& c : calls)
            u.push_back(c.url);
        return u;
    }
    std::vector<int64_t> times() const
    {
        std::vector<int64_t> t;
        for (const Call& c : calls)
            t.push_back(c.at);
        return t;
    }

private:
    std::map<std::string, std::deque<std::function<TPageReply()>>> answers_;
};

// The harvest over the fake fetcher, on a clock that only the pauses move.
struct Harvest {
    FakeSessionView view;
    TCheckListModel sites, results;
    TPageBuffer page;
    FakePageFetcher fetcher;
    THarvestSession harvest{view, fetcher, sites, results, page};
    int64_t clock = 0;
    std::vector<int64_t> naps;

    Harvest(std::initializer_list<std::string> urls, double delaySeconds = 1, bool realClock = false)
    {
        view.settings.DelaySeconds = delaySeconds;
        for (const std::string& u : urls)
            sites.Add(u);
        for (int i = 0; i < sites.Count(); ++i)
            sites.SetChecked(i, true);
        if (!realClock) {
            harvest.Gate().Now = [this] { return clock; };
            harvest.Gate().Nap = [this](int64_t ms) {
                naps.push_back(ms);
                clock += ms;
            };
            fetcher.now = [this] { return clock; };
        }
    }
};

const std::string A1 = "http://a.example/1.html", A2 = "http://a.example/2.html", B1 = "http://b.example/1.html";
const std::string RA = "http://a.example/robots.txt", RB = "http://b.example/robots.txt";

} // namespace

TEST(HarvestManners, RobotsTxtIsReadOncePerOriginInARunAndObeyed)
{
    Harvest h({"http://a.example/private/p.html", "http://a.example/secret.html", "http://a.example:8080/secret.html"},
              0);
    // The named group replaces the * group.
    h.fetcher.on(RA, reply(200, "User-agent: *\nDisallow: /private/\n\nUser-agent: corvina\nDisallow: /secret\n"));
    h.fetcher.on("http://a.example/private/p.html", reply(200, "one@a.example.org"));
    h.fetcher.on("http://a.example:8080/secret.html", reply(200, "two@a.example.org"));
    h.harvest.SearchEmail();
    EXPECT_EQ(h.fetcher.urls(), (std::vector<std::string>{RA, "http://a.example/private/p.html",
                                                          "http://a.example:8080/robots.txt",
                                                          "http://a.example:8080/secret.html"}));
    EXPECT_FALSE(h.fetcher.calls[0].followRedirects) << "robots.txt redirects are followed by the gate";
    EXPECT_EQ(h.results.Texts(), (std::vector<std::string>{"one@a.example.org", "two@a.example.org"}));
    EXPECT_EQ(h.view.examined, "3/3") << "a refused site still counts as examined";
    EXPECT_EQ(h.view.skips.robots, 1);
    EXPECT_EQ(h.view.skips.Total(), 1);
    EXPECT_EQ(h.view.skips.Text(), "Skipped: 1 robots.txt");

    // The next run reads robots.txt again and counts afresh.
    h.fetcher.calls.clear();
    h.harvest.SearchEmail();
    EXPECT_EQ(h.fetcher.calls.size(), 4u);
    EXPECT_EQ(h.view.skips.robots, 1);
}

// The robots.txt answer decides for every site of its origin.
TEST(HarvestManners, RobotsAnswerDecidesTheHost)
{
    struct Row {
        const char* what;
        std::function<void(FakePageFetcher&)> script;
        int pages;            // site pages requested
        int robotsRequests;
        THarvestSkips skips;
    };
    const auto skips = [](int timeOut, int refused, int robots, int certificate) {
        THarvestSkips s;
        s.timeOut = timeOut, s.refused = refused, s.robots = robots, s.certificate = certificate;
        return s;
    };
    const Row rows[] = {
        {"404 allows all", [](FakePageFetcher&) {}, 2, 1, {}},
        {"401 allows all", [](FakePageFetcher& f) { f.on(RA, reply(401)); }, 2, 1, {}},
        {"500 leaves the host alone", [](FakePageFetcher& f) { f.on(RA, reply(500)); }, 0, 1, skips(0, 0, 2, 0)},
        {"503 leaves the host alone", [](FakePageFetcher& f) { f.on(RA, reply(503)); }, 0, 1, skips(0, 0, 2, 0)},
        {"refused connection", [](FakePageFetcher& f) { f.fails<ESockError>(RA, "Connection Failed"); }, 0, 1,
         skips(0, 2, 0, 0)},
        {"time-out", [](FakePageFetcher& f) { f.fails<ETimeOutError>(RA, "Socket readln aborted"); }, 0, 1,
         skips(2, 0, 0, 0)},
        {"certificate", [](FakePageFetcher& f) { f.fails<ECertificateError>(RA, "Certificate not trusted"); }, 0, 1,
         skips(0, 0, 0, 2)},
        {"Disallow: /", [](FakePageFetcher& f) { f.on(RA, reply(200, "User-agent: *\nDisallow: /\n")); }, 0, 1,
         skips(0, 0, 2, 0)},
        {"redirect followed",
         [](FakePageFetcher& f) {
             f.on(RA, reply(301, "", "Location: /moved.txt\r\n"));
             f.on("http://a.example/moved.txt", reply(200, "User-agent: *\nDisallow: /2\n"));
         },
         1, 2, skips(0, 0, 1, 0)},
        {"more than five redirects allow all",
         [](FakePageFetcher& f) { f.on(RA, reply(302, "", "Location: http://a.example/robots.txt\r\n")); }, 2, 6, {}},
    };
    for (const Row& r : rows) {
        Harvest h({A1, A2});
        r.script(h.fetcher);
        h.harvest.SearchEmail();
        int pages = 0;
        for (const auto& c : h.fetcher.calls)
            pages += c.url == A1 || c.url == A2;
        EXPECT_EQ(pages, r.pages) << r.what;
        EXPECT_EQ(h.harvest.Gate().RobotsRequests(), r.robotsRequests) << r.what;
        EXPECT_EQ(h.view.skips.Text(), r.skips.Text()) << r.what;
        EXPECT_EQ(h.view.examined, "2/2") << r.what;
    }
}

// Requests to one host are spaced by the setting or the site's Crawl-delay
// (at most 30 s), robots.txt included; another host does not wait.
TEST(HarvestManners, PauseBetweenRequestsToOneHost)
{
    struct Row {
        double setting;
        const char* robots;
        int64_t gap; // ms between requests to a.example
    };
    const Row rows[] = {
        {1, "", 1000},
        {0, "", 0},
        {1, "User-agent: *\nCrawl-delay: 5\n", 5000},
        {1, "User-agent: *\nCrawl-delay: 120\n", 30000},
        {2.5, "User-agent: *\nCrawl-delay: 0.5\n", 2500},
    };
    for (const Row& r : rows) {
        Harvest h({A1, A2, B1}, r.setting);
        h.fetcher.on(RA, reply(200, r.robots));
        h.harvest.SearchEmail();
        const int64_t g = r.gap, d = static_cast<int64_t>(r.setting * 1000);
        EXPECT_EQ(h.fetcher.urls(), (std::vector<std::string>{RA, A1, A2, RB, B1})) << r.robots;
        EXPECT_EQ(h.fetcher.times(), (std::vector<int64_t>{0, g, 2 * g, 2 * g, 2 * g + d})) << r.robots;
    }
}

// A 429 or 503 with Retry-After up to 60 s is waited out and retried once;
// a longer one skips the site.
TEST(HarvestManners, RetryAfterIsHonouredOnceWithinItsCap)
{
    struct Row {
        const char* what;
        std::vector<TPageReply> replies;
        std::vector<int64_t> pageTimes;
        std::vector<std::string> results;
        int busy;
    };
    const Row rows[] = {
        {"429, 3 s", {reply(429, "", "Retry-After: 3\r\n"), reply(200, "x@a.example.org")}, {1000, 4000},
         {"x@a.example.org"}, 0},
        {"503, 0 s: the host's pause still holds", {reply(503, "", "Retry-After: 0\r\n"), reply(200, "x@a.example.org")},
         {1000, 2000}, {"x@a.example.org"}, 0},
        {"60 s is the longest wait", {reply(503, "", "retry-after: 60\r\n"), reply(200, "x@a.example.org")},
         {1000, 61000}, {"x@a.example.org"}, 0},
        {"61 s skips the site", {reply(503, "", "Retry-After: 61\r\n")}, {1000}, {}, 1},
        {"without Retry-After the error page is scanned", {reply(503, "busy@a.example.org")}, {1000},
         {"busy@a.example.org"}, 0},
        {"one retry only", {reply(429, "", "Retry-After: 2\r\n"), reply(429, "late@a.example.org", "Retry-After: 2\r\n")},
         {1000, 3000}, {"late@a.example.org"}, 0},
    };
    for (const Row& r : rows) {
        Harvest h({A1});
        for (const TPageReply& p : r.replies)
            h.fetcher.on(A1, p);
        h.harvest.SearchEmail();
        std::vector<int64_t> pageTimes;
        for (const auto& c : h.fetcher.calls)
            if (c.url == A1)
                pageTimes.push_back(c.at);
        EXPECT_EQ(pageTimes, r.pageTimes) << r.what;
        EXPECT_EQ(h.results.Texts(), r.results) << r.what;
        EXPECT_EQ(h.view.skips.busy, r.busy) << r.what;
    }
}

// A page's redirects are followed by the harvest: the page redirected to must
// be allowed by its own site's robots.txt, and the pause holds between hops.
TEST(HarvestManners, RedirectsAreFollowedUnderTheTargetsRobotsTxt)
{
    struct Row {
        const char* what;
        std::function<void(FakePageFetcher&)> script;
        std::vector<std::string> urls;
        std::vector<int64_t> times;
        std::string skipped;
        std::vector<std::string> results;
    };
    const Row rows[] = {
        {"to a refused page elsewhere",
         [](FakePageFetcher& f) {
             f.on(A1, reply(301, "", "Location: http://b.example/x.html\r\n"));
             f.on(RB, reply(200, "User-agent: *\nDisallow: /x\n"));
         },
         {RA, A1, RB},
         {0, 1000, 1000},
         "Skipped: 1 robots.txt",
         {}},
        {"on the same site",
         [](FakePageFetcher& f) {
             f.on(A1, reply(302, "", "Location: 2.html\r\n"));
             f.on(A2, reply(200, "two@a.example.org"));
         },
         {RA, A1, A2},
         {0, 1000, 2000},
         "",
         {"two@a.example.org"}},
        {"without a Location", [](FakePageFetcher& f) { f.on(A1, reply(302)); }, {RA, A1}, {0, 1000},
         "Skipped: 1 other", {}},
    };
    for (const Row& r : rows) {
        Harvest h({A1});
        r.script(h.fetcher);
        h.harvest.SearchEmail();
        EXPECT_EQ(h.fetcher.urls(), r.urls) << r.what;
        EXPECT_EQ(h.fetcher.times(), r.times) << r.what;
        EXPECT_EQ(h.view.skips.Text(), r.skipped) << r.what;
        EXPECT_EQ(h.results.Texts(), r.results) << r.what;
    }

    Harvest endless({A1}, 0);
    endless.fetcher.on(A1, reply(302, "", "Location: /1.html\r\n"));
    endless.harvest.SearchEmail();
    EXPECT_EQ(endless.fetcher.calls.size(), 1u + 1u + kPageRedirects);
    EXPECT_EQ(endless.view.skips.other, 1);
}

// Stop during a pause ends it at once; the site waited for is where the next
// press starts.
TEST(HarvestManners, StopDuringAPauseEndsItAtOnce)
{
    Harvest h({A1, A2}, 30, true);
    h.fetcher.on(A1, reply(200, "one@a.example.org"));
    // Once robots.txt is served the next thing is the pause before the page
    // of the same host: the queue is serviced there and nowhere before. A
    // press during the pause starts no second harvest inside the first; the
    // Stop comes after the press has begun, so it would also end a wrongly
    // started inner harvest instead of leaving it to wait its pause out.
    bool pressed = false;
    testutil::WhenTrue press([&] { return h.fetcher.calls.size() == 1; },
                             [&] {
                                 pressed = true;
                                 h.harvest.SearchEmail();
                             });
    testutil::WhenTrue stop([&] { return pressed; }, [&] { h.harvest.Stop(); });
    QElapsedTimer elapsed;
    elapsed.start();
    h.harvest.SearchEmail();
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_TRUE(stop.fired());
    EXPECT_EQ(h.fetcher.urls(), std::vector<std::string>{RA});
    EXPECT_EQ(h.view.examined, "0/2");
    EXPECT_EQ(h.harvest.ResumeIndex(), 0);
    EXPECT_EQ(h.view.harvestCaption, "Resume Search");

    h.view.settings.DelaySeconds = 0;
    h.harvest.SearchEmail();
    EXPECT_EQ(h.view.examined, "2/2");
    EXPECT_EQ(h.results.Texts(), std::vector<std::string>{"one@a.example.org"});
}

TEST(HarvestManners, SkipCountsReadAsOneLine)
{
    THarvestSkips s;
    EXPECT_EQ(s.Text(), "");
    s.robots = 2, s.timeOut = 1;
    EXPECT_EQ(s.Text(), "Skipped: 2 robots.txt, 1 time-out");
    s = {};
    s.refused = 1, s.certificate = 3, s.busy = 1, s.other = 2;
    EXPECT_EQ(s.Text(), "Skipped: 1 connection error, 3 certificate, 1 busy, 2 other");
}

TEST(HarvestManners, OriginsAndHeaderFields)
{
    struct Row {
        const char* url;
        const char* key;
        const char* robots;
        const char* path;
    };
    const Row rows[] = {
        {"http://Host.Example/a/b.htm?x=1#top", "http://host.example:80", "http://host.example/robots.txt", "/a/b.htm?x=1"},
        {"sitehost/a", "http://sitehost:80", "http://sitehost/robots.txt", "/a"},
        {"http://host:8080", "http://host:8080", "http://host:8080/robots.txt", "/"},
        {"https://host/x", "https://host:443", "https://host/robots.txt", "/x"},
        {"http://host?q", "http://host:80", "http://host/robots.txt", "/?q"},
    };
    for (const Row& r : rows) {
        const TSiteOrigin o = TSiteOrigin::Of(r.url);
        EXPECT_EQ(o.Key(), r.key) << r.url;
        EXPECT_EQ(o.RobotsUrl(), r.robots) << r.url;
        EXPECT_EQ(o.path, r.path) << r.url;
    }
    const std::string header = "HTTP/1.0 503 Busy\r\nretry-after:  7 \r\nLocation: /x\r\n\r\n";
    EXPECT_EQ(HeaderField(header, "Location"), "/x");
    EXPECT_EQ(RetryAfterSeconds(header), 7);
    EXPECT_EQ(RetryAfterSeconds("HTTP/1.0 503 Busy\r\n\r\n"), -1);
    EXPECT_EQ(RetryAfterSeconds("HTTP/1.0 503 Busy\r\nRetry-After: soon\r\n\r\n"), -1);
    // A date already past means now; one to come, the time until then.
    EXPECT_EQ(RetryAfterSeconds("HTTP/1.0 503 Busy\r\nRetry-After: Wed, 21 Oct 2015 07:28:00 GMT\r\n\r\n"), 0);
    const std::string soon = QDateTime::currentDateTimeUtc()
                                 .addSecs(120)
                                 .toString(QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
                                 .toStdString();
    const double wait = RetryAfterSeconds("HTTP/1.0 503 Busy\r\nRetry-After: " + soon + "\r\n\r\n");
    EXPECT_GE(wait, 115);
    EXPECT_LE(wait, 120);
}

// Through the HTTP client: robots.txt is asked for before the first page of
// each origin, a refused page is never requested and a redirect comes back
// to the harvest, which follows it.
TEST(HarvestManners, RobotsTxtGoesOverTheWireBeforeThePages)
{
    ScriptServer srv({Robots("User-agent: Corvina\nDisallow: /b"),
                      {ReadUntil("\r\n\r\n"), Send("HTTP/1.0 302 Found\r\nLocation: /d.html\r\n\r\n"), Close()},
                      Serve("<p>a@s.example.org</p>"), NoRobots(), Serve("<p>c@t.example.org</p>")});
    Sessions s(srv);
    for (const char* url : {"http://s.example/a.html", "http://s.example/b.html", "http://t.example/c.html"})
        s.sites.Add(url);
    for (int i = 0; i < 3; ++i)
        s.sites.SetChecked(i, true);
    s.harvest.SearchEmail();
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLines(srv), (std::vector<std::string>{"GET http://s.example/robots.txt HTTP/1.0",
                                                          "GET http://s.example/a.html HTTP/1.0",
                                                          "GET http://s.example/d.html HTTP/1.0",
                                                          "GET http://t.example/robots.txt HTTP/1.0",
                                                          "GET http://t.example/c.html HTTP/1.0"}));
    EXPECT_EQ(s.results.Texts(), (std::vector<std::string>{"a@s.example.org", "c@t.example.org"}));
    EXPECT_EQ(s.view.skips.Text(), "Skipped: 1 robots.txt");
}

// A robots.txt longer than the client keeps is cut, and its start obeyed.
TEST(HarvestManners, AnOversizedRobotsTxtIsReadUpToTheLimit)
{
    std::string text = "User-agent: *\nDisallow: /early\n";
    text += "# " + std::string(kRobotsParseLimit + 100 * 1024, 'x') + "\nDisallow: /late\n";
    ScriptServer srv({Robots(text), Serve("<p>late@s.example.org</p>")});
    Sessions s(srv);
    for (const char* url : {"http://s.example/early.html", "http://s.example/late.html"})
        s.sites.Add(url);
    for (int i = 0; i < 2; ++i)
        s.sites.SetChecked(i, true);
    s.harvest.SearchEmail();
    EXPECT_EQ(s.results.Texts(), std::vector<std::string>{"late@s.example.org"});
    EXPECT_EQ(s.view.skips.Text(), "Skipped: 1 robots.txt");
}
