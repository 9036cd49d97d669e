// The harvest with several sites at once: each site on a host of its own
// (names that all lead to 127.0.0.1, each with its own scripted server and
// pace), the same Results as one at a time, progress by finished sites, and
// Stop and Resume with sites still under way.
#include "FakeSessionView.h"
#include "HarvestSession.h"
#include "Nmhttp.h"
#include "TestUtil.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <memory>

using namespace testnet;
using namespace enginetest;

namespace {

struct Site {
    std::string host;
    int pauseMs;
    std::unique_ptr<ScriptServer> server;
    std::string url() const { return "http://" + host + ":" + std::to_string(server->port()) + "/"; }
    std::string page() const
    {
        std::string p = "<p>info@" + host + ".example.org, vendite@" + host + ".example.org</p>";
        return p;
    }
};

// A site's pause that holds its page back until the test releases its
// server.
constexpr int kHeld = -2;

// robots.txt (not found), then the page after the site's pause; a site
// with the pause -1 never answers.
std::unique_ptr<ScriptServer> serve(const std::string& page, int pauseMs)
{
    Script robots{ReadUntil("\r\n\r\n"), Send("HTTP/1.0 404 Not Found\r\n\r\n"), Close()};
    Script answer = pauseMs == kHeld ? ServeHeld(page)
                    : pauseMs < 0    ? Script{ReadUntil("\r\n\r\n"), Hold()}
                                     : Serve(page, pauseMs);
    return std::make_unique<ScriptServer>(std::vector<Script>{robots, answer});
}

THostLookup loopback(const std::string&)
{
    THostLookup a;
    a.Addr = htonl(INADDR_LOOPBACK);
    return a;
}

struct Harvest {
    FakeSessionView view;
    TCheckListModel sites, results;
    TPageBuffer page;
    TNMHTTP http;
    THttpPageFetcher fetcher{http};
    THarvestSession harvest{view, fetcher, sites, results, page};
    std::vector<int> doneOrder; // examined counts as they were reported

    explicit Harvest(int atOnce)
    {
        view.settings.SitesAtOnce = atOnce;
        http.TimeOut = 10000;
        http.Resolver = loopback;
        harvest.MakeFetcher = [] {
            struct Owned : IPageFetcher {
                TNMHTTP http;
                THttpPageFetcher inner{http};
                Owned()
                {
                    http.TimeOut = 10000;
                    http.Resolver = loopback;
                }
                std::string Get(const std::string& url) override { return inner.Get(url); }
                TPageReply Request(const std::string& url, bool follow, int64_t maxBody) override
                {
                    return inner.Request(url, follow, maxBody);
                }
                void Cancel() override { inner.Cancel(); }
            };
            return std::unique_ptr<IPageFetcher>(std::make_unique<Owned>());
        };
    }
    void tickAll(const std::vector<Site>& list)
    {
        for (const auto& s : list)
            sites.Add(s.url());
        for (int i = 0; i < sites.Count(); ++i)
            sites.SetChecked(i, true);
    }
};

std::vector<Site> makeSites(const std::vector<int>& pauses)
{
    std::vector<Site> list;
    for (size_t k = 0; k < pauses.size(); ++k) {
        Site s{"sito" + std::to_string(k) + ".test", pauses[k], nullptr};
        s.server = serve(s.page(), s.pauseMs);
        list.push_back(std::move(s));
    }
    return list;
}

} // namespace

TEST(ParallelHarvest, SitesAnsweringAtDifferentSpeedsGiveTheSameResultsAsOneAtATime)
{
    const std::vector<int> pauses{900, 0, 500, 0, 300, 100};
    std::vector<std::string> expected;
    {
        auto list = makeSites(pauses);
        Harvest one(1);
        one.tickAll(list);
        one.harvest.SearchEmail();
        expected = one.results.Texts();
        ASSERT_EQ(expected.size(), 12u);
    }
    // The slowest site answers only once the others are done.
    std::vector<int> parallelPauses = pauses;
    parallelPauses[0] = kHeld;
    auto list = makeSites(parallelPauses);
    Harvest h(6);
    h.tickAll(list);
    h.harvest.OnSiteDone = [&](int examined, int ticked, int) {
        EXPECT_EQ(ticked, 6);
        h.doneOrder.push_back(examined);
    };
    testutil::WhenTrue slowest([&] { return h.doneOrder.size() == 5; }, [&] { list[0].server->release(); });
    h.harvest.SearchEmail();
    EXPECT_TRUE(slowest.fired());
    EXPECT_EQ(h.results.Texts(), expected);
    EXPECT_EQ(h.doneOrder, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(h.view.examined, "6/6");
    EXPECT_EQ(h.view.harvestPos, 6);
    for (const auto& s : list) {
        ASSERT_TRUE(s.server->waitDone(5000)) << s.host;
        EXPECT_EQ(RequestLine(*s.server, 0), "GET /robots.txt HTTP/1.0") << s.host;
        EXPECT_EQ(RequestLine(*s.server, 1), "GET / HTTP/1.0") << s.host;
    }
    // The slowest site, first in the list, finished last: the others did
    // not wait for it (one at a time, the last page would be the last site's).
    EXPECT_NE(h.page.Text().find("sito0.test"), std::string::npos) << h.page.Text();
}

TEST(ParallelHarvest, StopEndsTheRunWithSitesUnderWayAndResumeFetchesOnlyWhatIsLeft)
{
    // Site 0 never answers; sites 1 and 2 answer at once; site 3 reads the
    // request and holds its page back (never released): both are under way
    // when the second site is done.
    auto list = makeSites({-1, 0, 0, kHeld});
    Harvest h(4);
    h.tickAll(list);
    h.harvest.OnSiteDone = [&](int examined, int, int) {
        if (examined == 2)
            h.harvest.Stop();
    };
    h.harvest.SearchEmail();
    EXPECT_TRUE(h.harvest.StopRequested());
    EXPECT_EQ(h.view.examined, "2/4");
    EXPECT_EQ(h.view.harvestCaption, "Resume Search");
    EXPECT_EQ(h.harvest.ResumeIndex(), 0) << "the first site not finished is where a resume starts";
    EXPECT_EQ(h.results.Count(), 4);

    // The resume asks again for sites 0 and 3 only (new servers this time:
    // the old ones were each played once), and counts on from 2.
    auto again = makeSites({0, 0, 0, 0});
    for (int i : {0, 3})
        h.sites.SetText(i, again[static_cast<size_t>(i)].url());
    h.harvest.SearchEmail();
    EXPECT_FALSE(h.harvest.StopRequested());
    EXPECT_EQ(h.view.examined, "4/4");
    EXPECT_EQ(again[0].server->accepted(), 2);
    EXPECT_EQ(again[3].server->accepted(), 2);
    EXPECT_EQ(again[1].server->accepted(), 0);
    EXPECT_EQ(again[2].server->accepted(), 0);
}

// Pages of one host go one at a time while the other workers idle; a site
// ticked during that wait starts as soon as a page comes back, not after the
// host's last page (the harvest skips looking through the list again only
// while the list is unchanged).
TEST(ParallelHarvest, PagesOfOneHostGoOneAtATimeAndASiteTickedMeanwhileIsHarvested)
{
    Script robots{ReadUntil("\r\n\r\n"), Send("HTTP/1.0 404 Not Found\r\n\r\n"), Close()};
    ScriptServer one({robots, ServeHeld("<p>uno@sitoa.example.org</p>"), ServeHeld("<p>due@sitoa.example.org</p>"),
                      Serve("<p>tre@sitoa.example.org</p>")});
    ScriptServer other({robots, Serve("<p>info@sitob.example.org</p>")});
    // A site of a third host, ticked from the start, makes the run one of
    // several hosts (sites of a single host are fetched on the window's
    // thread, without workers).
    ScriptServer third({robots, Serve("<p>ciao@sitoc.example.org</p>")});
    Harvest h(4);
    h.view.settings.DelaySeconds = 0;
    const std::string a = "http://sitoa.test:" + std::to_string(one.port());
    for (const char* path : {"/1", "/2", "/3"}) {
        h.sites.Add(a + path);
        h.sites.SetChecked(h.sites.Count() - 1, true);
    }
    h.sites.Add("http://sitob.test:" + std::to_string(other.port()) + "/");
    h.sites.Add("http://sitoc.test:" + std::to_string(third.port()) + "/");
    h.sites.SetChecked(4, true);
    std::vector<std::string> pages; // each finished page's first address, in order
    h.harvest.OnSiteDone = [&](int, int, int) {
        const std::string text(h.page.Text());
        pages.push_back(text.substr(3, text.find('@') - 3));
    };
    // The first page of sitoa is held back until the third host's site is
    // done and the site is ticked (the other workers idle meanwhile); the
    // second until the site ticked has been harvested, which it can only be
    // if it started as soon as the first page came back.
    testutil::WhenTrue tick([&] { return one.accepted() == 2 && pages.size() == 1; },
                            [&] {
                                h.sites.SetChecked(3, true);
                                one.release();
                            });
    testutil::WhenTrue second([&] { return pages.size() == 3; }, [&] { one.release(); });
    h.harvest.SearchEmail();
    EXPECT_TRUE(tick.fired());
    EXPECT_EQ(pages, (std::vector<std::string>{"ciao", "uno", "info", "due", "tre"}));
    EXPECT_EQ(h.results.Texts(),
              (std::vector<std::string>{"ciao@sitoc.example.org", "due@sitoa.example.org", "info@sitob.example.org",
                                        "tre@sitoa.example.org", "uno@sitoa.example.org"}));
    ASSERT_TRUE(one.waitDone(5000));
    EXPECT_EQ(one.accepted(), 4) << "robots.txt once, then each page";
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(RequestLine(one, k), "GET /" + std::to_string(k) + " HTTP/1.0");
    ASSERT_TRUE(other.waitDone(5000));
    EXPECT_EQ(RequestLine(other, 1), "GET / HTTP/1.0");
}
