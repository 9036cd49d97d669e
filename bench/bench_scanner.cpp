// The address scanner over 100 MB of page text (one run per iteration, from
// the top of the page into an empty Results list).
#include "CheckList.h"
#include "PageBuffer.h"
#include "bench_common.h"
#include "AddressScanner.h"

#include <benchmark/benchmark.h>

namespace {

const std::string& pageText()
{
    static const std::string text = benchdata::webPages(100u << 20);
    return text;
}

void BM_ScanAddresses(benchmark::State& state)
{
    TPageBuffer page;
    page.SetText(pageText());
    TCheckListModel results;
    int found = 0;
    for (auto _ : state) {
        page.Select(0, 0);
        results.Clear();
        found = ScanAddresses(page, results, false);
        benchmark::DoNotOptimize(found);
    }
    state.counters["addresses"] = found;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.Length());
}
BENCHMARK(BM_ScanAddresses)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// A page that is nothing but addresses: the worst case for the candidate
// work around each sign.
void BM_ScanAddressesDense(benchmark::State& state)
{
    std::mt19937 rng(3);
    std::string text;
    while (text.size() < (10u << 20))
        text += benchdata::address(rng) + ", ";
    TPageBuffer page;
    page.SetText(std::move(text));
    TCheckListModel results;
    for (auto _ : state) {
        page.Select(0, 0);
        results.Clear();
        benchmark::DoNotOptimize(ScanAddresses(page, results, false));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.Length());
}
BENCHMARK(BM_ScanAddressesDense)->Unit(benchmark::kMillisecond);

} // namespace
