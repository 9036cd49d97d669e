// The link extractor over a 10 MB result page of each engine.
#include "CheckList.h"
#include "PageBuffer.h"
#include "bench_common.h"
#include "LinkExtractor.h"

#include <benchmark/benchmark.h>

namespace {

// Result pages: a header with the engine's own links, then ten results per
// page, each a marked link, a title, a snippet and a cached-copy link to the
// engine, repeated to the size asked for.
std::string resultPages(TEngine engine, size_t bytes)
{
    std::mt19937 rng(5);
    std::string out;
    out.reserve(bytes + 4096);
    const bool g = engine == TEngine::Google;
    auto link = [g](const std::string& url) {
        return g ? "<a href=" + url + ">" : "<a href=\"" + url + "\" onmouseover=\"window.status='" + url + "'; return true\">";
    };
    while (out.size() < bytes) {
        out += "<html><head><title>Risultati</title><style>body{font-family:arial}</style></head><body>\n"
               "<table width=100%><tr><td>";
        out += link(g ? "http://www.google.com/preferences?hl=it" : "http://www.altavista.com/web/prefs");
        out += "Preferenze</a> " + link(g ? "http://images.google.it/images?q=x" : "http://it.altavista.com/image") +
               "Immagini</a></td></tr></table>\n";
        for (int r = 0; r < 10; ++r) {
            const std::string host = "www." + benchdata::word(rng) + std::to_string(rng() % 1000) + ".it";
            const char* ext[] = {".html", ".htm", ".php?id=12&p=3", "/", ".pdf", ".txt"};
            const std::string url = "http://" + host + "/" + benchdata::word(rng) + ext[rng() % 6];
            out += "<p class=g>" + link(url) + "<b>" + benchdata::word(rng) + "</b> " + benchdata::word(rng) +
                   "</a><br><font size=-1>";
            for (int w = 0; w < 30; ++w)
                out += benchdata::word(rng) + " ";
            out += "<br><font color=green>" + host + "/ - 12k</font> - " +
                   link(g ? "http://www.google.com/search?q=cache:" + host : "http://www.altavista.com/cache?u=" + host) +
                   "Copia cache</a></font></p>\n";
        }
        out += "</body></html>\n";
    }
    return out;
}

void extractBench(benchmark::State& state, TEngine engine, bool plain)
{
    TPageBuffer page;
    page.SetText(resultPages(engine, 10u << 20));
    TCheckListModel sites;
    int kept = 0;
    for (auto _ : state) {
        sites.Clear();
        kept = ExtractLinks(page, engine, plain, sites);
        benchmark::DoNotOptimize(kept);
    }
    state.counters["links"] = kept;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.Length());
}

// The extractor as corvina-cli links runs it: each link handed to a callback.
void BM_ExtractGoogleToCallback(benchmark::State& state)
{
    TPageBuffer page;
    page.SetText(resultPages(TEngine::Google, 10u << 20));
    size_t bytes = 0;
    for (auto _ : state) {
        ExtractLinks(page, TEngine::Google, false, [&bytes](std::string_view link) { bytes += link.size(); });
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.Length());
}

// The case-insensitive find over the whole page for a text it does not hold:
// the cost of the page itself, before any link.
void BM_FindTextAbsent(benchmark::State& state)
{
    const std::string page = resultPages(TEngine::Google, 10u << 20);
    const std::string what = state.range(0) == 1 ? "@" : "<a href=https://absent";
    for (auto _ : state)
        benchmark::DoNotOptimize(FindTextNoCase(page, what, 0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
}

void BM_ExtractGoogle(benchmark::State& state) { extractBench(state, TEngine::Google, false); }
void BM_ExtractGooglePlainText(benchmark::State& state) { extractBench(state, TEngine::Google, true); }
void BM_ExtractAltaVista(benchmark::State& state) { extractBench(state, TEngine::AltaVista, false); }
BENCHMARK(BM_ExtractGoogleToCallback)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FindTextAbsent)->Arg(1)->Arg(22)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExtractGoogle)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExtractGooglePlainText)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExtractAltaVista)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
