// The search and harvest sessions over loopback, against servers that
// bench/sessions.sh starts (run that script; alone these benchmarks skip):
//   CORVINA_BENCH_SITES   a file of site URLs, one per line (nginx, ~20 KB pages)
//   CORVINA_BENCH_ENGINE  HOST:PORT of the stand-in engine (scripts/standin-engine.py --total 10000)
// BM_HarvestMillionAddresses needs no server: its sites are answered in
// process, on the harvest's worker threads.
#include "HarvestSession.h"
#include "Nmhttp.h"
#include "SearchSession.h"

#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

class NullView : public TPlainSessionView {
public:
    NullView()
    {
        engineText = kGoogleEntry;
        keyWords = "corvi neri";
        // The loopback sites share one host: no pause, to measure the work.
        settings.DelaySeconds = 0;
    }
};

long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// A 10 ms timer on the session's thread; records how late it ever fired.
struct LatenessProbe {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worstLateMs = 0;
    LatenessProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            worstLateMs = std::max(worstLateMs, now - last - 10);
            last = now;
        });
        clock.start();
        timer.start();
    }
};

void BM_HarvestLoopbackSites(benchmark::State& state)
{
    const char* file = std::getenv("CORVINA_BENCH_SITES");
    if (!file) {
        state.SkipWithError("run bench/sessions.sh (CORVINA_BENCH_SITES unset)");
        return;
    }
    std::vector<std::string> urls;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            urls.push_back(line);
    qint64 worst = 0;
    int results = 0;
    for (auto _ : state) {
        NullView view;
        TCheckListModel sites, found;
        TPageBuffer page;
        TNMHTTP http;
        http.TimeOut = 10000;
        THttpPageFetcher fetcher(http);
        THarvestSession harvest(view, fetcher, sites, found, page);
        sites.Assign(urls);
        for (int i = 0; i < sites.Count(); ++i)
            sites.SetChecked(i, true);
        LatenessProbe probe;
        harvest.SearchEmail();
        worst = std::max(worst, probe.worstLateMs);
        results = found.Count();
    }
    state.counters["sites_per_s"] =
        benchmark::Counter(static_cast<double>(urls.size()) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["timer_worst_late_ms"] = static_cast<double>(worst);
    state.counters["addresses"] = results;
}
BENCHMARK(BM_HarvestLoopbackSites)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Sites answered at once and in process, each on a host of its own: the
// page of http://siteK.example/ holds 50 distinct addresses, robots.txt is
// 404. What is left to measure is the harvest's own work on the window's
// thread (taking the pages, scanning them, merging the addresses) and the
// workers' traffic with it.
class TInstantSites : public IPageFetcher {
public:
    std::string Get(const std::string& url) override { return Request(url).body; }
    int LastStatus() override { return status_; }
    TPageReply Request(const std::string& url, bool = true, int64_t = 0) override
    {
        TPageReply reply;
        if (url.size() >= 11 && url.compare(url.size() - 11, 11, "/robots.txt") == 0) {
            reply.status = status_ = 404;
            return reply;
        }
        const size_t from = url.find("site") + 4;
        const std::string k = url.substr(from, url.find('.', from) - from);
        const std::string domain = "azienda" + std::to_string(std::stoi(k) % 97) + ".example.org";
        reply.body = "<html><body>\n";
        for (int a = 0; a < 50; ++a)
            reply.body += "<p>Ufficio " + std::to_string(a) + ": <a href=\"mailto:ufficio" + std::to_string(a) +
                          ".sito" + k + "@" + domain + "\">scrivete</a></p>\n";
        reply.body += "</body></html>\n";
        reply.status = status_ = 200;
        return reply;
    }

private:
    int status_ = 0;
};

// 20,000 sites of 50 addresses, 8 at once (the default), with a 10 ms timer
// on the window's thread: the longest it was ever late while the sites were
// fetched, and also counting the clean-up of the million addresses after
// the last one.
void BM_HarvestMillionAddresses(benchmark::State& state)
{
    constexpr int kSites = 20000;
    std::vector<std::string> urls;
    urls.reserve(kSites);
    for (int k = 0; k < kSites; ++k)
        urls.push_back("http://site" + std::to_string(k) + ".example/");
    qint64 worstFetching = 0, worstAll = 0;
    int results = 0;
    for (auto _ : state) {
        NullView view;
        view.settings.SitesAtOnce = 8;
        TCheckListModel sites, found;
        TPageBuffer page;
        TInstantSites own;
        THarvestSession harvest(view, own, sites, found, page);
        harvest.MakeFetcher = [] { return std::make_unique<TInstantSites>(); };
        sites.Assign(urls);
        for (int i = 0; i < sites.Count(); ++i)
            sites.SetChecked(i, true);
        LatenessProbe probe;
        // A stall still under way when the last site is in counts too.
        auto lateNow = [&probe] {
            return std::max(probe.worstLateMs, probe.clock.elapsed() - probe.last - 10);
        };
        harvest.OnSiteDone = [&](int examined, int ticked, int) {
            if (examined == ticked)
                worstFetching = std::max(worstFetching, lateNow());
        };
        harvest.SearchEmail();
        worstAll = std::max(worstAll, lateNow());
        results = found.Count();
    }
    if (results != kSites * 50)
        state.SkipWithError("the harvest did not find every address");
    state.counters["addresses"] = results;
    state.counters["timer_worst_late_ms"] = static_cast<double>(worstFetching);
    state.counters["timer_worst_late_ms_with_cleanup"] = static_cast<double>(worstAll);
}
BENCHMARK(BM_HarvestMillionAddresses)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_SearchAllPagesThousandPages(benchmark::State& state)
{
    const char* engine = std::getenv("CORVINA_BENCH_ENGINE");
    if (!engine) {
        state.SkipWithError("run bench/sessions.sh (CORVINA_BENCH_ENGINE unset)");
        return;
    }
    const std::string hostPort = engine;
    const size_t colon = hostPort.find(':');
    if (colon == std::string::npos) {
        state.SkipWithError("CORVINA_BENCH_ENGINE is HOST:PORT");
        return;
    }
    const std::string host(hostPort, 0, colon);
    const int port = std::atoi(hostPort.c_str() + colon + 1);
    for (auto _ : state) {
        NullView view;
        view.settings.Mode = TSearchMode::AllPages;
        view.settings.MaxPages.assign(1, '0'); // "0": no limit
        TCheckListModel sites, results;
        TPageBuffer page;
        TNMHTTP http;
        http.TimeOut = 10000;
        http.Proxy = host;
        http.ProxyPort = port;
        THttpPageFetcher fetcher(http);
        THarvestSession harvest(view, fetcher, sites, results, page);
        TSearchSession search(view, fetcher, sites, results, page, harvest);
        std::vector<qint64> pageNs;
        QElapsedTimer clock;
        clock.start();
        const long rssBefore = residentBytes();
        search.OnPageDone = [&](int) { pageNs.push_back(clock.nsecsElapsed()); };
        search.Search();
        const long rssAfter = residentBytes();
        const size_t n = pageNs.size();
        if (n < 200) {
            state.SkipWithError("fewer than 200 pages: start the stand-in with --total 10000");
            return;
        }
        auto perPageMs = [&](size_t from, size_t to) {
            return static_cast<double>(pageNs[to - 1] - pageNs[from - 1]) / static_cast<double>(to - from) / 1e6;
        };
        state.counters["pages"] = static_cast<double>(n);
        state.counters["sites"] = sites.Count();
        state.counters["ms_per_page_first100"] = perPageMs(1, 101);
        state.counters["ms_per_page_last100"] = perPageMs(n - 100, n);
        state.counters["rss_growth_bytes_per_site"] =
            static_cast<double>(rssAfter - rssBefore) / std::max(1, sites.Count());
    }
}
BENCHMARK(BM_SearchAllPagesThousandPages)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace
