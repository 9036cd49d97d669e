// The search session against a scripted engine used as the HTTP client's
// proxy: the exact request line of every result page, the looping modes, the
// Resume skip-ahead, Stop Search from a timer during a fetch, and failures.
#include "FakeSessionView.h"

#include "SysUtils.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

using namespace testnet;
using namespace enginetest;

namespace {

const std::string G = "GET http://www.google.com";
const std::string A = "GET http://www.altavista.com";
const std::string V = " HTTP/1.0";

} // namespace

TEST(SearchQuery, UrlsAreBuiltByteForByte)
{
    struct Row {
        TEngine engine;
        std::string keyWords, domain;
        std::optional<int64_t> offset;
        std::string url;
    };
    const std::vector<Row> rows = {
        {TEngine::Google, "corvi  neri", "", std::nullopt, "http://www.google.com/search?q=corvi++neri"},
        {TEngine::Google, "a&b c", "", 9, "http://www.google.com/search?q=a&b+c&start=9"},
        {TEngine::Google, "corvi", ".it", std::nullopt, "http://www.google.com/search?as_q=corvi&as_sitesearch=.it"},
        {TEngine::Google, "corvi", ".it", 20, "http://www.google.com/search?as_q=corvi&as_sitesearch=.it&start=20"},
        {TEngine::AltaVista, "corvi neri", "", std::nullopt, "http://www.altavista.com/web/results?q=corvi+neri"},
        {TEngine::AltaVista, "corvi", "", 10, "http://www.altavista.com/web/results?q=corvi&stq=10"},
        {TEngine::AltaVista, "corvi", ".com", 0,
         "http://www.altavista.com/web/results?pg=aq&aqmode=s&aqa=corvi&rc=dmn&swd=.com&stq=0"},
        {TEngine::Google, "", "", std::nullopt, "http://www.google.com/search?q="},
    };
    for (const Row& r : rows)
        EXPECT_EQ(QueryUrl(r.engine, QueryWords(r.keyWords), r.domain, r.offset), r.url) << r.keyWords;
    EXPECT_EQ(QueryUrl(TEngine::None, "x", "", 10), std::nullopt);
}

TEST(SearchSession, OnePageEachTimeThenNextAsksForTheOffsetOfTheLinksGathered)
{
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 9, "1.230.000")), Serve(ResultPage(TEngine::Google, 9, 10)),
                      Serve(ResultPage(TEngine::Google, 19, 10))});
    Sessions s(srv);
    s.view.keyWords = "corvi  neri";
    s.search.Search();
    EXPECT_EQ(s.view.remembered, std::vector<std::string>{"corvi  neri"});
    EXPECT_EQ(s.view.found, 9);
    EXPECT_EQ(s.view.totalLabel, "1230000");
    EXPECT_EQ(s.search.ResultTotal(), 1230000);
    EXPECT_EQ(s.view.scanningMax, 1230000);
    EXPECT_EQ(s.view.scanningPos, 9);
    EXPECT_TRUE(s.view.nextEnabled);
    s.search.NextOrResume();
    s.search.NextOrResume();
    EXPECT_EQ(s.view.found, 29);
    EXPECT_EQ(s.view.scanningPos, 9) << "Next leaves the Scanning bar alone";
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLines(srv), (std::vector<std::string>{G + "/search?q=corvi++neri" + V,
                                                          G + "/search?q=corvi++neri&start=9" + V,
                                                          G + "/search?q=corvi++neri&start=19" + V}));
    EXPECT_EQ(s.search.SearchUrl(), "http://www.google.com/search?q=corvi++neri&start=19");
}

TEST(SearchSession, DomainRestrictionAndAltaVistaQueries)
{
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 10)), Serve(ResultPage(TEngine::Google, 10, 10)),
                      Serve(ResultPage(TEngine::AltaVista, 20, 10, "12,345")),
                      Serve(ResultPage(TEngine::AltaVista, 30, 5))});
    Sessions s(srv);
    s.view.keyWords = "corvi";
    s.view.settings.Domain = ".it";
    s.search.Search();
    s.search.Next();
    s.view.settings.Domain.clear();
    s.view.engineText = kAltaVistaEntry;
    s.search.Search();
    EXPECT_EQ(s.view.totalLabel, "12345");
    s.search.Next();
    EXPECT_EQ(s.view.found, 35);
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLines(srv), (std::vector<std::string>{
                                     G + "/search?as_q=corvi&as_sitesearch=.it" + V,
                                     G + "/search?as_q=corvi&as_sitesearch=.it&start=10" + V,
                                     A + "/web/results?q=corvi" + V,
                                     A + "/web/results?q=corvi&stq=30" + V,
                                 }));
}

// The looping mode: which pages are asked for, for a given engine total, max
// pages setting and number of new links on each page.
TEST(SearchSession, LoopingSearchPagesUntilTotalMaxPagesOrFourBarrenCycles)
{
    struct Row {
        const char* what;
        std::string maxPages, total;
        std::vector<int> newLinks; // per page, the first page included
        std::vector<int> offsets;  // of the pages after the first
        int found;
    };
    const std::vector<Row> rows = {
        {"the total rules when max pages is above it", "50", "25", {10, 10, 5}, {10, 20}, 25},
        {"max pages lowers the total", "15", "1.000", {10, 10}, {10}, 20},
        {"0: until four barren cycles", "0", "1.000", {10, 0, 0, 0, 0, 0}, {10, 10, 10, 10, 10}, 10},
        {"the stall count is never reset", "0", "1.000", {10, 0, 0, 10, 0, 0, 0}, {10, 10, 10, 20, 20, 20}, 20},
        {"a total not above the count ends at once", "0", "5", {10}, {}, 10},
    };
    for (const Row& r : rows) {
        std::vector<Script> scripts;
        int first = 0;
        for (size_t p = 0; p < r.newLinks.size(); ++p) {
            // Every page also repeats the first page's first link.
            std::string page = ResultPage(TEngine::Google, first, r.newLinks[p], p == 0 ? r.total : "");
            if (p > 0)
                page += "<a href=http://site0.example/index.html>again</a>";
            scripts.push_back(Serve(page));
            first += r.newLinks[p];
        }
        ScriptServer srv(scripts);
        Sessions s(srv);
        s.view.keyWords = "k";
        s.view.settings.Mode = TSearchMode::AllPages;
        s.view.settings.MaxPages = r.maxPages;
        s.search.Search();
        ASSERT_TRUE(srv.waitDone(5000)) << r.what;
        std::vector<std::string> expected{G + "/search?q=k" + V};
        for (int o : r.offsets)
            expected.push_back(G + "/search?q=k&start=" + std::to_string(o) + V);
        EXPECT_EQ(RequestLines(srv), expected) << r.what;
        EXPECT_EQ(s.sites.Count(), r.found) << r.what;
        EXPECT_EQ(s.view.found, r.found) << r.what;
        EXPECT_FALSE(s.view.nextEnabled) << r.what;
        EXPECT_EQ(s.view.hangUps, 0) << r.what;
    }
}

TEST(SearchSession, LoopingSearchFetchesEveryPageOnceAndLeavesNoDuplicates)
{
    // Ten links a page and a total of 30: the pages at 0, 10 and 20, each
    // page's links once in the list.
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 10, "30")), Serve(ResultPage(TEngine::Google, 10, 10)),
                      Serve(ResultPage(TEngine::Google, 20, 10))});
    Sessions s(srv);
    s.view.keyWords = "k";
    s.view.settings.Mode = TSearchMode::AllPages;
    s.search.Search();
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLines(srv), (std::vector<std::string>{G + "/search?q=k" + V, G + "/search?q=k&start=10" + V,
                                                          G + "/search?q=k&start=20" + V}));
    const std::vector<std::string> texts = s.sites.Texts();
    EXPECT_EQ(texts.size(), 30u);
    EXPECT_EQ(std::adjacent_find(texts.begin(), texts.end()), texts.end());
    EXPECT_EQ(s.view.scanningMax, 30);
    EXPECT_EQ(s.view.scanningPos, 30);
}

TEST(SearchSession, MaxPagesThatIsNotANumberEndsTheSearchAtItsFirstCycle)
{
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 10))});
    Sessions s(srv);
    s.view.settings.Mode = TSearchMode::AllPages;
    s.view.settings.MaxPages = "ten";
    EXPECT_THROW(s.search.Search(), EConvertError);
    EXPECT_EQ(s.sites.Count(), 0);
    EXPECT_EQ(srv.accepted(), 1);
}

TEST(SearchSession, ModesDecideTheHangUpAndModeZeroHarvestsEverySite)
{
    const std::string addressPage = "<p>write to info@corvina.example.org</p>";
    struct Row {
        TSearchMode mode;
        bool disconnect;
        int hangUps;
        int fetches;
    };
    for (const Row& r : std::vector<Row>{{TSearchMode::MaxPagesEachTime, true, 0, 1},
                                         {TSearchMode::AllPages, false, 0, 1},
                                         {TSearchMode::AllPages, true, 1, 1},
                                         {TSearchMode::Automatic, true, 1, 5}}) {
        ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 2, "2")), NoRobots(), Serve(addressPage), NoRobots(),
                          Serve(addressPage)});
        Sessions s(srv);
        s.view.settings.Mode = r.mode;
        s.view.settings.DisconnectOnEnd = r.disconnect;
        s.search.Search();
        EXPECT_EQ(s.view.hangUps, r.hangUps);
        EXPECT_EQ(srv.accepted(), r.fetches);
        if (r.mode == TSearchMode::Automatic) {
            EXPECT_EQ(s.sites.CheckedCount(), 2);
            EXPECT_EQ(s.results.Texts(), std::vector<std::string>{"info@corvina.example.org"});
            EXPECT_EQ(s.view.examined, "2/2");
            EXPECT_EQ(RequestLine(srv, 1), "GET http://site0.example/robots.txt HTTP/1.0");
            EXPECT_EQ(RequestLine(srv, 2), "GET http://site0.example/index.html HTTP/1.0");
        }
    }
}

TEST(SearchSession, StopSearchFromATimerEndsTheLoopAfterThePageInProgressAndModeZeroStillHarvests)
{
    const std::string addresses = "<p>a@one.example.org b@two.example.org</p>";
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 2, "1.000")), ServeHeld(ResultPage(TEngine::Google, 2, 2)),
                      NoRobots(), Serve(addresses), NoRobots(), Serve(addresses), NoRobots(), Serve(addresses),
                      NoRobots(), Serve(addresses)});
    Sessions s(srv);
    s.view.settings.Mode = TSearchMode::Automatic;
    // During the second page's fetch, whose answer waits for the Stop.
    testutil::WhenTrue stop([&] { return srv.accepted() == 2; },
                            [&] {
                                s.search.Stop();
                                srv.release();
                            });
    s.search.Search();
    EXPECT_TRUE(stop.fired());
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLine(srv, 1), G + "/search?q=&start=2" + V);
    EXPECT_EQ(s.sites.Count(), 4) << "the page in progress is finished and extracted";
    EXPECT_EQ(s.results.Count(), 2);
    EXPECT_EQ(s.view.examined, "4/4");
    EXPECT_EQ(s.view.nextCaption, "Resume...");
    EXPECT_EQ(s.view.nextHint, "Resume Searching pages");
    EXPECT_FALSE(s.view.searchEnabled);
    EXPECT_FALSE(s.view.nextEnabled);
}

// Resume after a Stop: the first page again, then pages ten results apart
// from the current count until one adds a link; the skip stays in every
// later offset.
TEST(SearchSession, ResumeSkipsAheadTenResultsAtATimeWithinItsBound)
{
    struct Row {
        const char* what;
        int barrenPages;  // skip-ahead pages that add nothing before one that does
        bool lastAdds;    // whether a page adds links at all
        int pageSkip;
    };
    const std::vector<Row> rows = {
        {"the first page adds links", 0, true, 10},
        {"two barren pages first", 2, true, 30},
        {"no page adds any link", kMaxSkipAheadPages, false, 10 * kMaxSkipAheadPages},
    };
    for (const Row& r : rows) {
        std::vector<Script> scripts{Serve(ResultPage(TEngine::Google, 0, 10)),   // Search
                                    Serve(ResultPage(TEngine::Google, 0, 10))};  // Resume's first page
        for (int p = 0; p < r.barrenPages; ++p)
            scripts.push_back(Serve(ResultPage(TEngine::Google, 0, 3)));  // links already there
        if (r.lastAdds)
            scripts.push_back(Serve(ResultPage(TEngine::Google, 100, 10)));
        scripts.push_back(Serve(ResultPage(TEngine::Google, 0, 10)));     // Resume's Search
        scripts.push_back(Serve(ResultPage(TEngine::Google, 200, 10)));   // Next
        ScriptServer srv(scripts);
        Sessions s(srv);
        s.view.keyWords = "k";
        s.search.Search();
        s.search.Stop();
        EXPECT_EQ(s.view.nextCaption, "Resume...");
        s.search.NextOrResume();
        EXPECT_EQ(s.search.PageSkip(), r.pageSkip) << r.what;
        EXPECT_EQ(s.view.nextCaption, "&Next...") << r.what;
        EXPECT_TRUE(s.view.searchEnabled) << r.what;
        const int count = s.sites.Count();
        s.search.NextOrResume();
        ASSERT_TRUE(srv.waitDone(5000)) << r.what;

        std::vector<std::string> expected{G + "/search?q=k" + V, G + "/search?q=k" + V};
        const int pages = r.barrenPages + (r.lastAdds ? 1 : 0);
        for (int p = 0; p < pages; ++p)
            expected.push_back(G + "/search?q=k&start=" + std::to_string(10 + 10 * p) + V);
        expected.push_back(G + "/search?q=k" + V);
        expected.push_back(G + "/search?q=k&start=" + std::to_string(count + r.pageSkip) + V);
        EXPECT_EQ(RequestLines(srv), expected) << r.what;
    }
}

TEST(SearchSession, ResumeWithoutKeyWordsAsksForThemAndFetchesNothing)
{
    ScriptServer srv({});
    Sessions s(srv);
    s.search.Stop();
    s.search.NextOrResume();
    EXPECT_EQ(s.view.errors, std::vector<std::string>{"Type Key Words!"});
    EXPECT_EQ(srv.accepted(), 0);
    EXPECT_EQ(s.view.nextCaption, "Resume...");
}

TEST(SearchSession, NewSearchPutsEverythingBack)
{
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 10, "77"))});
    Sessions s(srv);
    s.view.keyWords = "k";
    s.search.Search();
    s.results.Add("x@y.example");
    s.search.Stop();
    s.harvest.Stop();
    s.view.HarvestOffersResume();
    s.search.NewSearch();
    EXPECT_EQ(s.view.keyWords, "");
    EXPECT_EQ(s.view.remembered.size(), 1u) << "the drop-down list stays";
    EXPECT_EQ(s.sites.Count(), 0);
    EXPECT_EQ(s.results.Count(), 0);
    EXPECT_EQ(s.page.Length(), 0);
    EXPECT_EQ(s.view.found, 0);
    EXPECT_EQ(s.view.totalLabel, "0");
    EXPECT_EQ(s.view.resultCount, 0);
    EXPECT_EQ(s.view.examined, "0");
    EXPECT_EQ(s.view.scanningPos, 0);
    EXPECT_EQ(s.view.harvestPos, 0);
    EXPECT_TRUE(s.view.searchEnabled);
    EXPECT_TRUE(s.view.nextEnabled);
    EXPECT_EQ(s.view.nextCaption, "&Next...");
    EXPECT_EQ(s.view.harvestCaption, "Search &Email");
    EXPECT_EQ(s.view.harvestHint, "Search for Email in Founded Sites");
    EXPECT_EQ(s.search.ResultTotal(), 0);
    EXPECT_EQ(s.search.SearchUrl(), "");
    EXPECT_EQ(s.search.QueryWordsValue(), "");
    EXPECT_FALSE(s.search.StopRequested());
    EXPECT_FALSE(s.harvest.StopRequested());
    EXPECT_EQ(s.search.PageSkip(), 0);
    EXPECT_EQ(s.harvest.ResumeIndex(), 0);
}

TEST(SearchSession, AFailedFetchEndsTheActionAndKeepsWhatItHadChanged)
{
    // The second page's connection is reset.
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 10)), {ReadUntil("\r\n\r\n"), Reset()}});
    Sessions s(srv);
    s.search.Search();
    EXPECT_ANY_THROW(s.search.Next());
    EXPECT_EQ(s.sites.Count(), 10);
    EXPECT_EQ(s.page.Length(), 0) << "a failed Next leaves the page buffer empty";
    EXPECT_TRUE(s.view.nextEnabled);
    EXPECT_EQ(s.view.nextCaption, "&Next...");
}

TEST(SearchSession, NoEngineInUseAsksForThePreviousSearchUrlAgain)
{
    ScriptServer srv({Serve(ResultPage(TEngine::Google, 0, 10)), Serve(ResultPage(TEngine::Google, 10, 10))});
    Sessions s(srv);
    s.search.Search();
    s.view.engineText = "http://www.example.com";
    s.search.Next();
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLine(srv, 1), G + "/search?q=" + V);
    EXPECT_EQ(s.sites.Count(), 10) << "nothing is extracted without an engine";
    s.search.EngineChanged();
    EXPECT_EQ(s.view.focusMoves, 1);
}

// Stop Search pressed while a looping Search waits for its first page: the
// cycle's Next then finds the button offering Resume and runs it, with a
// whole Search of its own, before the outer cycle goes on.
TEST(SearchSession, StopDuringTheFirstPageOfALoopingSearchMakesItsNextAResume)
{
    ScriptServer srv({ServeHeld(ResultPage(TEngine::Google, 0, 10, "15")),
                      Serve(ResultPage(TEngine::Google, 0, 10, "15")),
                      Serve(ResultPage(TEngine::Google, 10, 5)),
                      Serve(ResultPage(TEngine::Google, 0, 10, "15"))});
    Sessions s(srv);
    s.view.keyWords = "k";
    s.view.settings.Mode = TSearchMode::AllPages;
    s.view.settings.MaxPages = "0";
    s.view.settings.DisconnectOnEnd = true;
    testutil::WhenTrue stop([&] { return srv.accepted() == 1; },
                            [&] {
                                s.search.Stop();
                                srv.release();
                            });
    s.search.Search();
    EXPECT_TRUE(stop.fired());
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(RequestLines(srv), (std::vector<std::string>{G + "/search?q=k" + V, G + "/search?q=k" + V,
                                                          G + "/search?q=k&start=10" + V, G + "/search?q=k" + V}));
    EXPECT_EQ(s.sites.Count(), 15);
    EXPECT_EQ(s.search.PageSkip(), 10);
    EXPECT_EQ(s.view.nextCaption, "&Next...");
    EXPECT_TRUE(s.view.searchEnabled);
    EXPECT_EQ(s.view.hangUps, 2) << "the nested Search and the outer one each end with the hang-up";
    EXPECT_EQ(s.view.scanningPos, 25);
}
